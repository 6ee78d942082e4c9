#include "tasks/TaskEditing.h"

#include <exception>
#include <vector>

#include "output/ExcelWriter.h"
#include "tasks/Resources.h"
#include "tasks/TaskDefaults.h"
#include "util/DateTime.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

namespace {

const char* const kTitle = "Pelkor";

bool Flag(int16_t v) {
    return v != 0;
}
int16_t Flag(bool v) {
    return v ? 1 : 0;
}

bool InRange(const std::string& text, double low, double high) {
    if (!IsNumeric(text)) return false;
    const double v = LeadingNumber(text);
    return v >= low && v <= high;
}

} // namespace

bool HasNoOutput(const Task& t) {
    return ContainsNoCase(t.FileType, "None");
}

int16_t TaskDefaultStation(const AppContext& app, int n) {
    return DefaultStation(app.Settings, app.Tasks[n]);
}

TaskForm FormFromTask(const Task& t) {
    TaskForm f;
    f.Enabled = t.Disabled == 0;
    f.Comments = t.Comments;
    f.UseCommon = t.Settings == 1;
    f.IPAddress = t.IPAddress;
    f.SBus = std::to_string(t.SBus);
    f.Auto = Flag(t.Auto);
    f.Interval = std::to_string(t.ReadInterval);
    f.Unit = t.IntervalUnit;
    f.ReadHour = TimeText(t.ReadHour);
    f.LineCount = Flag(t.LineCount);
    f.TimeStamp = Flag(t.TimeStamp);
    f.MissValues = Flag(t.MissValues);
    f.TaskNumber = Flag(t.TaskNumber);
    f.HeadLines = Flag(t.HeadLines);
    f.Data = t.Data;
    f.DataFile = t.DataFile;
    f.DataSheet = t.DataSheet;
    f.DataCell = t.DataCell;
    f.UseFile = !t.DataFile.empty();
    f.NoOutput = HasNoOutput(t);
    if (f.NoOutput) {
        f.FileType = -1;
        f.FileNew = -1;
    } else {
        f.FileType = ContainsNoCase(t.FileType, "csv")  ? 0
                     : ContainsNoCase(t.FileType, "xl") ? 1
                                                        : 0;
        f.Folder = t.OutFolder;
        f.FileName = t.FileName;
        f.Indexed = Flag(t.FileIndex);
        f.FormatUsed = Flag(t.FormatUsed);
        f.FormatTime = t.FormatTime;
        f.FileNew = t.FileNew >= 0 && t.FileNew <= 3 ? t.FileNew : -1;
    }
    f.Orientation = t.Orientation == 0 ? 0 : 1;
    f.OutSheet = t.OutSheet;
    f.StartCell = t.StartCell;
    f.Overwrite = Flag(t.Overwrite);
    return f;
}

namespace {

void AddLine(std::string& errors, const std::string& text) {
    errors += text + "\r\n";
}

// An address file that gave nothing: the task keeps the list it had, parsed.
void RestoreAddresses(AppContext& app, int n, const std::string& data, const std::string& head) {
    Task& t = app.Tasks[n];
    t.Data = data;
    t.DataHead = head;
    ParseTaskResources(app, n);
}

// The start cell as stored: upper case, or empty; a bad one is listed.
std::string CheckStartCell(TaskForm& f, std::string& errors) {
    std::string cell = UpperCase(Trim(f.StartCell));
    if (!cell.empty()) {
        int row = 0, column = 0;
        if (ParseCellReference(cell, row, column)) {
            f.StartCell = cell;
        } else {
            AddLine(errors, "Invalid Start Cell : " + cell);
        }
    }
    return cell;
}

void CopyConnectionAndPlan(Task& t, const TaskForm& f, Date hour) {
    t.Settings = f.UseCommon ? 1 : 0;
    t.IPAddress = f.IPAddress;
    // A number the field cannot hold keeps the field as it was; the
    // check has already said so.
    int16_t station = 0;
    if (ToInt16(LeadingNumber(f.SBus), station)) t.SBus = station;
    t.Auto = Flag(f.Auto);
    t.Comments = f.Comments;
    int32_t interval = 0;
    if (ToInt32(LeadingNumber(f.Interval), interval)) t.ReadInterval = interval;
    if (f.Unit >= 0 && f.Unit <= 3) t.IntervalUnit = static_cast<int16_t>(f.Unit);
    t.ReadHour = hour;
    t.HeadLines = Flag(f.HeadLines);
    t.LineCount = Flag(f.LineCount);
    t.TimeStamp = Flag(f.TimeStamp);
    t.MissValues = Flag(f.MissValues);
    t.TaskNumber = Flag(f.TaskNumber);
}

void StoreAddresses(AppContext& app, TaskEditorServices& services, int n, TaskForm& f, bool quiet,
                    std::string& errors) {
    Task& t = app.Tasks[n];
    const std::string backupData = t.Data, backupHead = t.DataHead;
    t.DataFile = Trim(f.DataFile);
    t.DataSheet = Trim(f.DataSheet);
    t.DataCell = UpperCase(Trim(f.DataCell));
    if (f.UseFile) {
        if (!t.DataFile.empty()) {
            services.SetResources(n);
            if (t.Data.empty()) {
                RestoreAddresses(app, n, backupData, backupHead);
                AddLine(errors, "No Address specified !");
            }
        } else {
            AddLine(errors, "No Address specified !");
        }
    } else {
        t.DataFile.clear();
        t.Data = UpperCase(Trim(f.Data));
        services.SetResources(n);
        // A list typed with more or fewer items keeps one head per item.
        t.DataHead = FitHeads(t.DataHead, t.Data.empty() ? 0 : Split(t.Data, ',').size());
        f.DataCell = t.DataCell;
    }
    services.SearchAllStation(n, TaskDefaultStation(app, n));
    if (!t.Data.empty()) {
        f.Data = t.Data;
    } else if (!quiet && !f.UseFile) {
        AddLine(errors, "No Address specified !");
    }
}

void StoreOutput(const AppContext& app, Task& t, TaskForm& f, bool noOutput,
                 const std::string& cell, std::string& errors) {
    if (f.FileType == 0) {
        t.FileType = "CSV";
    } else if (f.FileType == 1) {
        t.FileType = "XLS";
        if (app.Status.ExcelMissing) AddLine(errors, "No Excel application !");
    }
    if (noOutput) return;
    t.OutFolder = f.Folder;
    t.FileName = f.FileName;
    t.FileIndex = Flag(f.Indexed);
    if (f.FileNew >= 0 && f.FileNew <= 3) t.FileNew = static_cast<int16_t>(f.FileNew);
    t.Overwrite = Flag(f.Overwrite);
    t.OutSheet = Trim(f.OutSheet);
    t.FormatUsed = Flag(f.FormatUsed);
    t.FormatTime = f.FormatTime;
    t.Orientation = f.Orientation == 0 ? 0 : 1;
    t.StartCell = cell.empty() ? std::string("A1") : cell;
    if (cell.empty()) f.StartCell = "A1";
}

} // namespace

bool StoreTask(AppContext& app, TaskEditorServices& services, int n, TaskForm& f, bool quiet,
               bool* badTime) {
    if (badTime) *badTime = false;
    Task& t = app.Tasks[n];
    // A store that does not go through leaves the task as it was.
    const Task before = t;
    auto undo = [&] {
        t = before;
        services.SearchAllStation(n, TaskDefaultStation(app, n));
        return false;
    };
    std::string errors;
    try {
        t.Disabled = f.Enabled ? 0 : 1;
        if (!InRange(f.SBus, 0, 253)) AddLine(errors, "Bad Station (numeric value 0 to 253)");
        if (!InRange(f.Interval, 1, 60)) AddLine(errors, "Bad Interval (numeric value 1 to 60)");

        Date hour = 0;
        if (!ParseDateText(f.ReadHour, hour)) {
            app.Ui.Beep();
            app.Ui.MessageBox("Time value hh:mm:ss", kTitle, MsgIcon::Exclamation, MsgButtons::Ok,
                              MsgAnswer::Ok);
            if (badTime) *badTime = true;
            return undo();
        }
        if (!f.UseFile) {
            const std::string range = ResourceListProblem(UpperCase(Trim(f.Data)));
            if (!range.empty()) {
                app.Ui.MessageBox("Task " + std::to_string(n) + " : " + range, kTitle,
                                  MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
                return undo();
            }
        }
        // A task without output file keeps its (hidden) output block.
        const bool noOutput = f.NoOutput && f.FileType < 0;
        if (!noOutput && f.FileName.empty()) AddLine(errors, "Empty Output File Name");
        const std::string cell = CheckStartCell(f, errors);
        CopyConnectionAndPlan(t, f, hour);
        StoreAddresses(app, services, n, f, quiet, errors);
        StoreOutput(app, t, f, noOutput, cell, errors);

        if (t.Disabled == 0 && !errors.empty()) {
            const MsgAnswer a = app.Ui.MessageBox(
                "Task " + std::to_string(n) + " Error : \r\n\r\n" + errors +
                    "\r\nDo you want to continue ?",
                kTitle, MsgIcon::Exclamation, MsgButtons::OkCancel, MsgAnswer::Ok);
            if (a == MsgAnswer::Cancel) return undo();
        }
        if (app.Settings.StartMode == 1 && !services.SaveTask(n)) return false;
        services.SetFirstReading(n);
        services.SearchNextTaskToRead();
        return true;
    } catch (const std::exception& e) {
        app.Ui.Beep();
        app.Ui.MessageBox("Save Task " + std::to_string(n) + " Error :\r" + e.what(), kTitle,
                          MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
        return undo();
    }
}

int NewTask(AppContext& app, TaskEditorServices& services, bool& stored) {
    stored = false;
    AppSettings& s = app.Settings;
    if (s.TaskCount >= MaxTasks) {
        app.Ui.MessageBox("You cannot create a new Task. Maximum = " + std::to_string(MaxTasks),
                          kTitle, MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
        return 0;
    }
    const int n = s.TaskCount + 1;
    s.TaskCount = static_cast<int16_t>(n);
    app.Status.EditTask = static_cast<int16_t>(n);
    // Nothing of a task removed earlier from this slot carries over.
    app.Tasks[n] = Task{};
    SetDefaultTaskParameters(app, n);
    TaskForm form = FormFromTask(app.Tasks[n]);
    stored = StoreTask(app, services, n, form, true);
    return n;
}

bool RemoveTask(AppContext& app, TaskEditorServices& services, int n) {
    AppSettings& s = app.Settings;
    RunStatus& st = app.Status;
    if (s.TaskCount <= 1) {
        app.Ui.MessageBox("You cannot remove this Task.", kTitle, MsgIcon::Critical, MsgButtons::Ok,
                          MsgAnswer::Ok);
        return false;
    }
    if (n < 1 || n > s.TaskCount) return false;
    if (app.Ui.MessageBox("Do you want to remove the Task " + std::to_string(n), kTitle,
                          MsgIcon::Question, MsgButtons::OkCancel,
                          MsgAnswer::Ok) == MsgAnswer::Cancel)
        return false;
    const int last = s.TaskCount;
    s.TaskCount = static_cast<int16_t>(last - 1);
    // The table moves with the sections, so every task keeps its parsed
    // list, plan and counters; a locked start file changes only here.
    for (int k = n; k < last; ++k)
        app.Tasks[k] = app.Tasks[k + 1];
    app.Tasks[last] = Task{};
    SetDefaultTaskParameters(app, last);
    if (s.StartMode == 1) {
        bool written = true;
        for (int k = n; k < last && written; ++k)
            written = services.MoveTaskSection(k, k);
        if (written) written = services.ClearTaskSection(last);
        if (written) services.ReloadStartFile();
    }
    for (int k = n; k < last; ++k)
        services.SearchAllStation(k, TaskDefaultStation(app, k));
    if (st.CurrentTask > s.TaskCount) st.CurrentTask = s.TaskCount;
    services.SearchNextTaskToRead();
    if (st.EditTask > s.TaskCount) st.EditTask = s.TaskCount;
    return true;
}

bool ReadAddressFile(AppContext& app, TaskEditorServices& services, int n, const std::string& file,
                     const std::string& sheet, const std::string& cells) {
    Task& t = app.Tasks[n];
    const std::string data = t.Data, head = t.DataHead;
    t.DataSheet = Trim(sheet);
    t.DataCell = UpperCase(Trim(cells));
    if (!file.empty()) {
        t.DataFile = file;
        if (services.SetResources(n) && !t.Data.empty()) return true;
    }
    app.Ui.MessageBox("No Address specified !", kTitle, MsgIcon::Critical, MsgButtons::Ok,
                      MsgAnswer::Ok);
    // The table goes back with the texts, or the task reads nothing.
    RestoreAddresses(app, n, data, head);
    return false;
}

std::string BrowsedFolder(const AppContext& app, const std::string& picked,
                          const std::string& shown) {
    if (picked != shown && !picked.empty() && picked.find('/') == std::string::npos &&
        picked.find('\\') == std::string::npos)
        return app.ProgramFolder;
    return picked;
}

} // namespace pelkor
