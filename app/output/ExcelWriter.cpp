// Records into ".xls" workbooks through the workbook engine.

#include "output/ExcelWriter.h"

#include <sys/stat.h>

#include <exception>
#include <string>
#include <vector>

#include "output/Output.h"
#include "util/Text.h"
#include "xls/Workbook.h"

namespace pelkor {

namespace {

const char* const LimitsText = "Excel Wrinting Aborted : Cell position is over the limits !";
const char* const NoSheetText = "Excel Wrinting Aborted : Excel Sheet is nothing !";

bool Across(const Task& task) {
    return task.Orientation != 1;
}

int32_t NextCount(int32_t n) {
    return n == 2147483647 ? 0 : n + 1;
}

int FieldCount(const std::string& text) {
    int n = 1;
    for (char c : text)
        if (c == ';') ++n;
    return n;
}

// A record slot is free only when every cell the record would occupy is
// empty: a record whose first value was missing is not mistaken for free
// room and overwritten after a restart.
bool SlotIsFree(const xls::Workbook& book, int sheet, int row, int column, int width, bool across) {
    for (int k = 0; k < width; ++k) {
        const int r = across ? row : row + k;
        const int c = across ? column + k : column;
        if (r > ExcelMaxRow || c > ExcelMaxColumn) break;
        if (!book.CellText(sheet, r, c).empty()) return false;
    }
    return true;
}

void MoveOn(Task& task, int step) {
    if (Across(task))
        task.ExcelRow += step;
    else
        task.ExcelColumn += step;
}

} // namespace

bool ParseCellReference(const std::string& text, int& row, int& column) {
    const std::string ref = UpperCase(Trim(text));
    if (ref.size() < 2) return false;
    const std::size_t digit = ref.find_first_of("0123456789");
    if (digit == std::string::npos || digit < 1 || digit > 2) return false;
    int col = 0;
    for (std::size_t i = 0; i < digit; ++i) {
        if (ref[i] < 'A' || ref[i] > 'Z') return false;
        col = col * 26 + (ref[i] - 'A' + 1);
    }
    long r = 0;
    for (std::size_t i = digit; i < ref.size(); ++i) {
        if (ref[i] < '0' || ref[i] > '9') return false;
        r = r * 10 + (ref[i] - '0');
        if (r > ExcelMaxRow) return false;
    }
    if (r < 1 || col > ExcelMaxColumn) return false;
    row = static_cast<int>(r);
    column = col;
    return true;
}

bool ResetExcelSheetPointers(AppContext& app, int taskNumber) {
    Task& task = app.Tasks[taskNumber];
    task.ExcelRow = 0;
    task.ExcelColumn = 0;
    if (Trim(task.StartCell).empty()) task.StartCell = "A1";
    task.StartCell = UpperCase(task.StartCell);
    int row = 1, column = 1;
    bool valid = ParseCellReference(task.StartCell, row, column);
    if (!valid) {
        app.Status.LastErrorText = "Unvalid Excel Start Cell : " + task.StartCell;
        task.StartCell = "A1";
        row = column = 1;
    }
    task.ExcelRow = row;
    task.ExcelColumn = column;
    return valid;
}

bool WriteExcelCells(AppContext& app, int taskNumber, xls::Workbook& book, int sheet,
                     const std::string& text, int step) {
    Task& task = app.Tasks[taskNumber];
    const std::vector<std::string> cells = Split(text, ';');
    const long m = static_cast<long>(cells.size()) - 1;
    const long row = task.ExcelRow, column = task.ExcelColumn;
    const bool across = Across(task);
    const bool over = row < 1 || column < 1 ||
                      (across ? column + m > ExcelMaxColumn - 1 || row > ExcelMaxRow
                              : column > ExcelMaxColumn || row + m > ExcelMaxRow - 1);
    if (over) {
        app.Status.LastErrorText = LimitsText;
        return false;
    }
    for (long k = 0; k <= m; ++k) {
        if (across)
            book.SetCellText(sheet, static_cast<int>(row), static_cast<int>(column + k), cells[k]);
        else
            book.SetCellText(sheet, static_cast<int>(row + k), static_cast<int>(column), cells[k]);
    }
    MoveOn(task, step);
    return true;
}

namespace {

// The task's sheet, added when missing (its count starts again); -1 when
// none could be had.
int OutputSheet(Task& task, xls::Workbook& book) {
    if (task.OutSheet.empty()) return book.SheetCount() > 0 ? 0 : book.AddSheet("Data");
    int sheet = -1;
    for (int i = 0; i < book.SheetCount() && sheet < 0; ++i)
        if (book.SheetName(i) == task.OutSheet) sheet = i;
    // Sheet names are unique regardless of case, so "log" cannot be added
    // beside "Log": write into that sheet rather than fail every record.
    for (int i = 0; i < book.SheetCount() && sheet < 0; ++i)
        if (EqualsNoCase(book.SheetName(i), task.OutSheet)) sheet = i;
    if (sheet < 0) {
        sheet = book.AddSheet(task.OutSheet);
        task.LineCounter = 0;
    }
    return sheet;
}

// The texts of record slot k of the block that starts at `start`.
std::vector<std::string> SlotCells(const xls::Workbook& book, int sheet, std::pair<int, int> start,
                                   int k, int width, bool across) {
    std::vector<std::string> cells;
    for (int c = 0; c < width; ++c) {
        const int r = start.first + (across ? k : c);
        const int col = start.second + (across ? c : k);
        if (r > ExcelMaxRow || col > ExcelMaxColumn) break;
        cells.push_back(book.CellText(sheet, r, col));
    }
    return cells;
}

} // namespace

bool WriteExcelData(AppContext& app, int taskNumber, xls::Workbook& book) {
    Task& task = app.Tasks[taskNumber];

    const int sheet = OutputSheet(task, book);
    if (sheet < 0 || sheet >= book.SheetCount()) {
        app.Status.LastErrorText = NoSheetText;
        return false;
    }

    if (task.LineCounter == 0) ResetExcelSheetPointers(app, taskNumber);
    if (task.ExcelRow <= 0) task.ExcelRow = 1;
    if (task.ExcelColumn <= 0) task.ExcelColumn = 1;

    auto numbered = [&task] {
        return task.LineCount != 0 ? std::to_string(task.LineCounter) + ";" + task.LastValues
                                   : task.LastValues;
    };

    if (task.Overwrite == 1) {
        task.LineCounter = NextCount(task.LineCounter);
        const std::string record = numbered();
        const int32_t row = task.ExcelRow, column = task.ExcelColumn;
        bool ok = true;
        if (task.HeadLines != 0)
            ok = WriteExcelCells(app, taskNumber, book, sheet, BuildHeadLine(task), 1);
        ok = ok && WriteExcelCells(app, taskNumber, book, sheet, record, 0);
        task.ExcelRow = row;
        task.ExcelColumn = column;
        if (ok) task.LastValues = record;
        return ok;
    }

    const bool across = Across(task);
    const bool fromStart = task.LineCounter == 0;
    const std::pair<int, int> start{task.ExcelRow, task.ExcelColumn};
    const int width = FieldCount(task.LastValues) + (task.LineCount != 0 ? 1 : 0);
    int found = 0;
    for (;;) {
        if (across ? task.ExcelRow > ExcelMaxRow : task.ExcelColumn > ExcelMaxColumn) {
            app.Status.LastErrorText = LimitsText;
            return false;
        }
        task.LineCounter = NextCount(task.LineCounter);
        if (SlotIsFree(book, sheet, task.ExcelRow, task.ExcelColumn, width, across)) break;
        ++found;
        MoveOn(task, 1);
    }
    // The search counted a head row if the block starts with one; it is no
    // record. The block's content decides, not today's HeadLines.
    if (fromStart && found > 0) {
        const std::vector<std::string> first = SlotCells(book, sheet, start, 0, width, across),
                                       second = found > 1 ? SlotCells(book, sheet, start, 1, width,
                                                                      across)
                                                          : std::vector<std::string>();
        if (StartsWithHeadLine(task, first, found > 1 ? &second : nullptr)) --task.LineCounter;
    }
    if (fromStart && found == 0 && task.HeadLines != 0 &&
        !WriteExcelCells(app, taskNumber, book, sheet, BuildHeadLine(task), 1))
        return false;
    const std::string record = numbered();
    if (!WriteExcelCells(app, taskNumber, book, sheet, record, 1)) return false;
    task.LastValues = record;
    return true;
}

bool WriteExcelRecord(AppContext& app, int taskNumber) {
    Task& task = app.Tasks[taskNumber];
    const std::string path = task.OutputPath;
    // A failed write leaves the task as it found it, so the next reading
    // goes to the same place with the same number.
    const int32_t counter = task.LineCounter, row = task.ExcelRow, column = task.ExcelColumn;
    const std::string values = task.LastValues;
    auto fail = [&](std::string text) {
        app.Status.LastErrorText = std::move(text);
        task.LineCounter = counter;
        task.ExcelRow = row;
        task.ExcelColumn = column;
        task.LastValues = values;
        return false;
    };

    // The log is shared by every task and file: a workbook error says which.
    auto bookError = [&](const std::string& error) {
        const std::string file = error.find(path) == std::string::npos ? ", " + path : "";
        return fail("Excel Wrinting Error = " + error + " (Task " + std::to_string(taskNumber) +
                    file + ")");
    };
    try {
        struct stat st {};
        const bool exists = ::stat(path.c_str(), &st) == 0;
        if (exists && IsWorkbookOpen(path)) {
            const std::string lock = WorkbookLockFile(path);
            const std::string hint =
                lock.empty()
                    ? ""
                    : "\rLock file : " + lock + "\r(remove it if no program has the workbook open)";
            app.Ui.MessageBox("Please close the Excel file : \r" + path + hint, "Pelkor",
                              MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
            if (IsWorkbookOpen(path)) {
                const std::string still = WorkbookLockFile(path);
                return fail("The Excel file is already open !" +
                            (still.empty() ? std::string() : " Lock file : " + still));
            }
        }
        xls::Workbook book;
        // An empty file holds nothing to keep: start it as a new workbook.
        if (!exists || (S_ISREG(st.st_mode) && st.st_size == 0)) {
            book = xls::Workbook::CreateNew();
            task.LineCounter = 0;
        } else if (!book.Load(path)) {
            return bookError(book.Error());
        }
        if (!WriteExcelData(app, taskNumber, book)) return fail(app.Status.LastErrorText);
        if (!book.Save(path)) return bookError(book.Error());
        return true;
    } catch (const std::exception& e) {
        return bookError(e.what());
    }
}

bool LoadResourcesFromWorkbook(AppContext& app, int taskNumber) {
    Task& task = app.Tasks[taskNumber];
    task.Data.clear();
    task.DataHead.clear();
    if (task.DataCell.empty() || task.DataCell.find(':') == std::string::npos) return true;
    if (FindNoCase(task.DataFile, ".xls", 1) == std::string::npos) return true;
    struct stat st {};
    if (::stat(task.DataFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;

    const std::vector<std::string> refs = Split(UpperCase(task.DataCell), ':');
    try {
        xls::Workbook book;
        if (!book.Load(task.DataFile)) {
            const std::string& error = book.Error();
            app.Status.LastErrorText =
                "Task " + std::to_string(taskNumber) + " - address workbook " +
                (error.find(task.DataFile) == std::string::npos ? task.DataFile + " : " : "") +
                error;
            return false;
        }
        int sheet = -1;
        if (task.DataSheet.empty()) {
            if (book.SheetCount() > 0) sheet = 0;
        } else {
            for (int i = 0; i < book.SheetCount() && sheet < 0; ++i)
                if (book.SheetName(i) == task.DataSheet) sheet = i;
        }
        int r1 = 0, c1 = 0, r2 = 0, c2 = 0;
        if (sheet < 0 || !ParseCellReference(refs.front(), r1, c1) ||
            !ParseCellReference(refs.back(), r2, c2) || r1 > r2 || c1 > c2)
            return true;
        std::string data;
        for (int r = r1; r <= r2; ++r) {
            for (int c = c1; c <= c2; ++c) {
                const std::string value = book.CellText(sheet, r, c);
                if (value.empty()) continue;
                if (!data.empty()) data += ';';
                data += value;
            }
        }
        task.Data = UpperCase(data);
        return true;
    } catch (const std::exception& e) {
        app.Status.LastErrorText = e.what();
        return false;
    }
}

void ProbeExcel(AppContext& app) {
    app.Status.ExcelMissing = 0;
}

} // namespace pelkor
