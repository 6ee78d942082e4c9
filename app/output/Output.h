#pragma once
// Output files: one reading as a line of a ".csv" text file or as cells of a
// sheet in an ".xls" workbook.
//
// How the reader uses this module, per reading of task t:
//   1. values  = JoinEntryValues(task)            // the entries' Values
//      task.LastValues = BuildRecord(app, t, onDemand, values)
//   2. kind = OutputKindOf(task); nothing to write when kind is None or
//      FileName is empty (no error).
//   3. ComposeOutputPath(app, t, stamp) -> sets OutputPath (creates OutFolder);
//      false: LastErrorText = "Bad output file directory: " + OutFolder.
//   4. When the file is empty or missing: RowsWritten = LineCounter = 0.
//   5. WriteTextRecord(app, t) or WriteExcelRecord(app, t) (output/ExcelWriter.h);
//      false: the read failed. WriteTextRecord leaves the system reason in
//      LastErrorText and the reader replaces it with "Writing data in file
//      aborted !"; WriteExcelRecord's LastErrorText is the final message.
// Neither writer logs; the reader logs LastErrorText at level 2.
// With LineCount set, WriteExcelRecord puts the record number in front of
// LastValues (the DDE server serves the numbered record); WriteTextRecord
// leaves LastValues as it is.

#include <string>
#include <string_view>
#include <vector>

#include "core/AppContext.h"

namespace pelkor {

enum class OutputKind { None, Csv, Xls };

// "xl" anywhere (any case) is a workbook, else "csv" a text file, else none.
OutputKind OutputKindOf(const Task& task);
// ".csv", ".xls" or "" for none.
std::string OutputExtension(OutputKind kind);

// The period suffix of a file name for the date `now`: "_D" ddmmyy, "_W"
// wwyy, "_M" mmyy by FileNew (0, 1, 2); empty when FileIndex is off or
// FileNew is anything else.
std::string PeriodSuffix(const Task& task, Date now);

// Composes OutputPath: folder (OutFolder, or the program folder when empty),
// "/" unless the folder ends in "/" or "\", FileName, period suffix of the
// record's time stamp (a reading due before midnight and written after it
// belongs to the day it was due), extension. A missing OutFolder is created with every level;
// when that fails OutputPath is left as it was, LastErrorText is "Bad output
// file directory: " + OutFolder and the result is false.
bool ComposeOutputPath(AppContext& app, int task, Date stamp);
// The same for a record stamped now.
bool ComposeOutputPath(AppContext& app, int task);

// The entries' value texts (each value preceded by ";") joined, without the
// leading ";": the values part of a record.
std::string JoinEntryValues(const Task& task);

// The time-stamp field: the pattern FormatTime when FormatUsed is set and
// the pattern is not empty and can be applied, else the general date text.
std::string TimeStampField(const Task& task, Date stamp);

// The record of a reading without line number (the task's LastValues): the
// enabled time stamp (now when read on demand, else NextRead), missing-values
// count and "Task n" fields, each followed by ";", then the values part.
std::string BuildRecord(AppContext& app, int task, bool onDemand, std::string_view values);

// The head line: captions of the enabled optional fields, then one cell per
// value with the entry heads and their placeholders "<$T>", "<$A>", "<$I>",
// "<$I+n>" (any case) expanded; cells joined by `separator`, no trailing
// separator.
std::string BuildHeadLine(const Task& task, std::string_view separator = ";");
// The value cells of the head line, one per value of a record in record
// order: the entry it belongs to and its place there, the head text (empty
// where the entry has none for it) and the value's own resource label
// ("R 100", "F 7", "CLK").
struct ValueHead {
    std::size_t Entry = 0;
    int Index = 0;
    std::string Text;
    std::string Label;
};
std::vector<ValueHead> ValueHeads(const Task& task);

// Whether the first line (row) of a file or block holds head cells rather
// than a record, decided from the content so that a HeadLines switched since
// the file was begun does not skip or repeat record numbers: the first line
// is a head when it is the head line the task builds now, or when it does not
// start with a whole number while the line after it does. second is null when
// the first line is the only one.
bool StartsWithHeadLine(const Task& task, const std::vector<std::string>& first,
                        const std::vector<std::string>* second);

// Appends one record line (CR LF) to OutputPath, with the head line first
// when the file is empty and HeadLines is set. LineCounter grows by one per
// line written; with LineCount set the line starts with it. When LineCounter
// is 0 and the file already holds lines (a restarted program), numbering
// continues after the records found (StartsWithHeadLine). On any failure nothing of this record
// remains in the file, LineCounter is unchanged, LastErrorText holds the
// reason and the result is false.
bool WriteTextRecord(AppContext& app, int task);

// The record as the last write put it in the file: LastValues, with the line
// number in front for a numbered text file.
std::string WrittenRecord(const Task& task);

} // namespace pelkor
