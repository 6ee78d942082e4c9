#pragma once
// Where a trend's rows come from: the readings of a task as they land, or a
// file Pelkor wrote (a ".csv" text file or a block of an ".xls" workbook).

#include <string>
#include <vector>

#include "core/Task.h"
#include "trend/TrendModel.h"

namespace pelkor::trend {

// ---- live ----------------------------------------------------------------
// The series names of a task: one per value of its registers, flags and
// inputs, named by the head line's cell, or the resource where that is empty.
std::vector<std::string> LiveSeriesNames(const Task& task);
// The values of the reading the task holds now, in the order of the names;
// a field not obtained is missing.
std::vector<double> LiveValues(const Task& task);
// Seconds since the epoch of a time stamp (local time).
double TimeX(Date stamp);

// Feeds a model from a task's readings; the series start anew when the
// task's values change their layout (its resource list was edited).
class LiveFeed {
public:
    explicit LiveFeed(TrendModel& model) : model_(model) {}
    // Empties the model for the readings of this task.
    void Follow(int task);
    int Task() const { return task_; }
    // Returns true when the reading belonged to the followed task.
    bool Add(int task, Date stamp, const pelkor::Task& record);

private:
    TrendModel& model_;
    int task_ = 0;
};

// ---- files ---------------------------------------------------------------
struct FileSummary {
    std::size_t Records = 0;   // rows plotted
    std::size_t Malformed = 0; // lines skipped
    bool HeadLine = false;
};

// Reads a file into the model: ".xls" through the workbook engine (the first
// sheet with cells), anything else as ";" text. The head line names the
// series when there is one; the time-stamp column is the axis, else the
// record number (a first column of rising whole numbers, the line count, is
// taken as that number). Columns that never hold a number are not series. A line of
// another field count than the first record, or a bad time stamp, or text in
// a number column, is skipped and counted. False with error (and the model
// left as it was) when the file cannot be read or holds no number column.
bool ReadTrendFile(const std::string& path, TrendModel& model, FileSummary& summary,
                   std::string& error);
// The same for text already in memory (tests, benchmarks).
bool ReadTrendText(std::string_view text, TrendModel& model, FileSummary& summary,
                   std::string& error);

} // namespace pelkor::trend
