#pragma once
// The ".xls" workbook writer and the resource-list loader, on the workbook
// engine (xls). The engine is always there, so the application can
// never be missing; the messages of a missing application are kept for the
// callers that test ExcelMissing.

#include <string>

#include "core/AppContext.h"

namespace pelkor {

namespace xls {
class Workbook; // xls/Workbook.h
}

constexpr int ExcelMaxRow = 65536;
constexpr int ExcelMaxColumn = 256;

// Stores the task's record (LastValues) in the workbook at OutputPath:
// creates the workbook when the file is missing (or empty), otherwise opens
// it, after asking the user to close it when another program holds it.
// Saves only after a successful write, so a failed write leaves the file as
// it was. False with the message in LastErrorText.
bool WriteExcelRecord(AppContext& app, int task);

// Chooses the sheet and the position, writes head and record cells.
bool WriteExcelData(AppContext& app, int task, xls::Workbook& book);

// ExcelRow/ExcelColumn from StartCell (empty means "A1"; stored back in
// upper case). An invalid StartCell leaves "Unvalid Excel Start Cell : " +
// StartCell in LastErrorText, is replaced by "A1" and the result is false;
// the write goes on at A1 either way.
bool ResetExcelSheetPointers(AppContext& app, int task);

// "A1" to "IV65536", one or two letters then the row; any case.
bool ParseCellReference(const std::string& text, int& row, int& column);

// Writes a ";"-separated text into cells from the write position, across
// (Orientation 0) or down (1), then moves the position on by `step` rows
// (Orientation 0) or columns (1). Nothing is written when the text would
// leave the sheet ("Excel Wrinting Aborted : Cell position is over the
// limits !").
bool WriteExcelCells(AppContext& app, int task, xls::Workbook& book, int sheet,
                     const std::string& text, int step);

// True when another program holds the workbook: a LibreOffice lock file
// ".~lock.<name>#" or an Office owner file "~$<name>" beside it, or a lock
// on the file held by another process.
bool IsWorkbookOpen(const std::string& path);
// The lock or owner file beside the workbook, "" when there is none; a
// program that crashed leaves it behind, and only the user may judge that.
std::string WorkbookLockFile(const std::string& path);

// Fills Data from the range DataCell ("B2:D10") of sheet DataSheet (first
// sheet when empty) in DataFile; Data and DataHead are emptied first. Silent
// when the range, sheet or file does not apply. False only when the
// workbook exists but cannot be read; LastErrorText then holds "Task N -
// address workbook PATH : " and the engine's reason, for the caller to
// report like its own run-time errors.
bool LoadResourcesFromWorkbook(AppContext& app, int task);

// The engine needs no outside application: clears ExcelMissing.
void ProbeExcel(AppContext& app);

} // namespace pelkor
