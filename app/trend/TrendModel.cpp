#include "trend/TrendModel.h"

#include <algorithm>

#include "util/AtomicFile.h"
#include "util/DateTime.h"
#include "util/Number.h"

namespace pelkor::trend {

void SlidingExtremes::Push(std::size_t index, double value) {
    while (!mins_.empty() && mins_.back().second >= value)
        mins_.pop_back();
    mins_.emplace_back(index, value);
    while (!maxs_.empty() && maxs_.back().second <= value)
        maxs_.pop_back();
    maxs_.emplace_back(index, value);
}

void SlidingExtremes::DropBefore(std::size_t index) {
    while (!mins_.empty() && mins_.front().first < index)
        mins_.pop_front();
    while (!maxs_.empty() && maxs_.front().first < index)
        maxs_.pop_front();
}

void SlidingExtremes::Clear() {
    mins_.clear();
    maxs_.clear();
}

void TrendModel::Reset(AxisKind axis, const std::vector<std::string>& names) {
    axis_ = axis;
    dropped_ = 0;
    x_.clear();
    series_.assign(names.size(), Series{});
    for (std::size_t i = 0; i < names.size(); ++i)
        series_[i].Name = names[i];
}

void TrendModel::AddRow(double x, const std::vector<double>& values) {
    if (capacity_ == 0) return;
    if (x_.size() == capacity_) {
        x_.pop_front();
        ++dropped_;
        for (Series& s : series_) {
            s.Values.pop_front();
            s.Extremes.DropBefore(dropped_);
        }
    }
    const std::size_t row = dropped_ + x_.size();
    x_.push_back(x);
    for (std::size_t i = 0; i < series_.size(); ++i) {
        Series& s = series_[i];
        const double v = i < values.size() ? values[i] : Missing;
        s.Values.push_back(v);
        if (std::isnan(v)) continue;
        s.Extremes.Push(row, v);
        s.Last = v;
    }
}

std::pair<std::size_t, std::size_t> TrendModel::RowsIn(double from, double to) const {
    const auto first = std::lower_bound(x_.begin(), x_.end(), from);
    const auto last = std::upper_bound(first, x_.end(), to);
    return {static_cast<std::size_t>(first - x_.begin()),
            static_cast<std::size_t>(last - x_.begin())};
}

std::vector<Point> TrendModel::Reduced(std::size_t s, double from, double to, int buckets) const {
    const Series& series = series_.at(s);
    // Plain variables, not a structured binding: the lambdas below use them.
    const std::pair<std::size_t, std::size_t> rows = RowsIn(from, to);
    const std::size_t first = rows.first, last = rows.second;
    std::vector<Point> out;
    const std::size_t n = last - first;
    if (n <= static_cast<std::size_t>(std::max(buckets, 1)) * 2) {
        out.reserve(n);
        for (std::size_t r = first; r < last; ++r)
            out.push_back({x_[r], series.Values[r]});
        return out;
    }
    out.reserve(static_cast<std::size_t>(buckets) * 3);
    const double width = (x_[last - 1] - x_[first]) / buckets;
    std::size_t r = first;
    while (r < last) {
        const double end = width > 0 ? x_[r] + width : x_[r];
        std::size_t lo = last, hi = last;
        bool gap = false;
        auto flush = [&] {
            if (lo == last) return;
            const std::size_t a = std::min(lo, hi), b = std::max(lo, hi);
            out.push_back({x_[a], series.Values[a]});
            if (b != a) out.push_back({x_[b], series.Values[b]});
            lo = hi = last;
        };
        for (; r < last && x_[r] <= end; ++r) {
            const double v = series.Values[r];
            if (std::isnan(v)) {
                flush();
                if (!gap) out.push_back({x_[r], Missing});
                gap = true;
                continue;
            }
            gap = false;
            if (lo == last || v < series.Values[lo]) lo = r;
            if (hi == last || v > series.Values[hi]) hi = r;
        }
        flush();
        if (width <= 0) break;
    }
    return out;
}

std::size_t TrendModel::NearestRow(double x) const {
    if (x_.empty()) return 0;
    const auto it = std::lower_bound(x_.begin(), x_.end(), x);
    if (it == x_.end()) return x_.size() - 1;
    std::size_t r = static_cast<std::size_t>(it - x_.begin());
    if (r > 0 && x - x_[r - 1] < *it - x) --r;
    return r;
}

std::string XText(AxisKind axis, double x) {
    if (axis == AxisKind::RecordNumber) return NumberText(x);
    return GeneralDateText(DateFromTimeT(static_cast<std::time_t>(std::llround(x))));
}

bool ExportShown(const TrendModel& model, double from, double to, const std::string& path,
                 std::string& error) {
    std::vector<std::size_t> shown;
    for (std::size_t s = 0; s < model.SeriesCount(); ++s)
        if (model.At(s).Visible) shown.push_back(s);
    const std::pair<std::size_t, std::size_t> rows = model.RowsIn(from, to);
    const std::size_t first = rows.first, last = rows.second;
    return ReplaceFile(
        path,
        [&](const FileSink& sink) {
            std::string line = model.Axis() == AxisKind::Time ? "Time" : "Record";
            for (std::size_t s : shown)
                line += ";" + model.At(s).Name;
            line += "\r\n";
            for (std::size_t r = first; r <= last; ++r) {
                if (line.size() > (1 << 16) || r == last) {
                    if (!sink(line)) return false;
                    line.clear();
                    if (r == last) break;
                }
                line += XText(model.Axis(), model.X(r));
                for (std::size_t s : shown) {
                    line += ';';
                    const double v = model.At(s).Values[r];
                    if (!std::isnan(v)) line += NumberText(v);
                }
                line += "\r\n";
            }
            return true;
        },
        error);
}

} // namespace pelkor::trend
