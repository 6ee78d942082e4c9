#pragma once
// The series a trend shows: one shared x column (seconds since the epoch for
// time stamps, or record numbers) and one value column per series, NaN where
// a value is missing. At most Capacity() rows are kept; the oldest go first.

#include <cmath>
#include <cstddef>
#include <deque>
#include <limits>
#include <string>
#include <vector>

namespace pelkor::trend {

inline constexpr std::size_t DefaultCapacity = 100000;
inline constexpr double Missing = std::numeric_limits<double>::quiet_NaN();

enum class AxisKind { Time, RecordNumber };

struct Point {
    double X = 0;
    double Y = 0; // NaN: a gap
};

// Running minimum and maximum over a window that grows at the back and
// shrinks at the front (monotonic queues: amortised constant time).
class SlidingExtremes {
public:
    void Push(std::size_t index, double value);
    void DropBefore(std::size_t index);
    double Min() const { return mins_.empty() ? Missing : mins_.front().second; }
    double Max() const { return maxs_.empty() ? Missing : maxs_.front().second; }
    void Clear();

private:
    std::deque<std::pair<std::size_t, double>> mins_, maxs_;
};

struct Series {
    std::string Name;
    bool Visible = true;
    bool SecondAxis = false;
    // Only the drawing is scaled; the values, tool tip and export stay real.
    double Scale = 1;
    double Offset = 0;
    std::deque<double> Values;
    SlidingExtremes Extremes;
    double Last = Missing; // the last value that was not missing

    double Drawn(double y) const { return y * Scale + Offset; }
};

class TrendModel {
public:
    explicit TrendModel(std::size_t capacity = DefaultCapacity) : capacity_(capacity) {}

    // Empties the model and names its series.
    void Reset(AxisKind axis, const std::vector<std::string>& names);
    // One row: a value per series (NaN for missing; fewer values are missing).
    void AddRow(double x, const std::vector<double>& values);

    AxisKind Axis() const { return axis_; }
    std::size_t Capacity() const { return capacity_; }
    std::size_t Rows() const { return x_.size(); }
    std::size_t SeriesCount() const { return series_.size(); }
    Series& At(std::size_t s) { return series_.at(s); }
    const Series& At(std::size_t s) const { return series_.at(s); }
    double X(std::size_t row) const { return x_.at(row); }
    bool Empty() const { return x_.empty(); }
    double FirstX() const { return x_.empty() ? 0 : x_.front(); }
    double LastX() const { return x_.empty() ? 0 : x_.back(); }
    // Rows with from <= x <= to: [first, last).
    std::pair<std::size_t, std::size_t> RowsIn(double from, double to) const;

    // The points of series s between from and to, reduced to about two per
    // bucket (the minimum and maximum of each, in order) when there are more,
    // so a chart draws a million rows as fast as a few thousand. A NaN point
    // stands for a gap.
    std::vector<Point> Reduced(std::size_t s, double from, double to, int buckets) const;

    // The row nearest x, or Rows() when the model is empty.
    std::size_t NearestRow(double x) const;

private:
    std::size_t capacity_;
    AxisKind axis_ = AxisKind::Time;
    std::size_t dropped_ = 0; // rows dropped so far: absolute row = dropped_ + index
    std::deque<double> x_;
    std::vector<Series> series_;
};

// The text of an x value: local date and time, or the record number.
std::string XText(AxisKind axis, double x);

// Writes the rows between from and to of the visible series as a ";" text
// file with a head line (CR LF, real values, empty fields where missing).
bool ExportShown(const TrendModel& model, double from, double to, const std::string& path,
                 std::string& error);

} // namespace pelkor::trend
