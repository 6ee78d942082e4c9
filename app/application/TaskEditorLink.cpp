#include "application/TaskEditorLink.h"

#include <vector>

#include "application/PelkorApp.h"
#include "config/StartFile.h"
#include "pcd/PcdConnection.h"
#include "util/DateTime.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

namespace {
std::string Section(int n) {
    return "Task" + std::to_string(n);
}
} // namespace

bool TaskEditorLink::SaveTask(int task) {
    return WriteStartFileTask(app_.App(), task, task);
}

bool TaskEditorLink::MoveTaskSection(int section, int task) {
    AppContext& app = app_.App();
    const std::string& file = app.Settings.StartFile;
    if (!ClearStartFileSection(app, file, Section(section))) return false;
    if (!WriteStartFileTask(app, section, task)) return false;
    // A save leaves these keys to the file; a moved section has no old ones.
    const Task& t = app.Tasks[task];
    const std::string s = Section(section);
    return WriteIniString(file, s, "SBus", std::to_string(t.SBus)) &&
           WriteIniString(file, s, "Auto", std::to_string(t.Auto)) &&
           WriteIniString(file, s, "IPAddress", t.IPAddress) &&
           (t.Title.empty() || WriteIniString(file, s, "Title", t.Title));
}

bool TaskEditorLink::ClearTaskSection(int section) {
    AppContext& app = app_.App();
    return ClearStartFileSection(app, app.Settings.StartFile, Section(section));
}

bool TaskEditorLink::ReloadStartFile() {
    AppContext& app = app_.App();
    // The loader starts tasks from zero: what a run has learnt about each
    // task (plan, counters, last record, write position) is kept, and the
    // lists are parsed again as at start-up.
    std::vector<Task> before;
    for (int i = 1; i <= app.Settings.TaskCount; ++i)
        before.push_back(app.Tasks[i]);
    const bool ok = ReadPelkorStartFile(app);
    for (int i = 1; i <= app.Settings.TaskCount && i <= static_cast<int>(before.size()); ++i) {
        Task& t = app.Tasks[i];
        const Task& b = before[static_cast<std::size_t>(i - 1)];
        t.NextRead = b.NextRead;
        t.Period = b.Period;
        t.RowsWritten = b.RowsWritten;
        t.ExcelRow = b.ExcelRow;
        t.ExcelColumn = b.ExcelColumn;
        t.LineCounter = b.LineCounter;
        t.OutputPath = b.OutputPath;
        t.LastValues = b.LastValues;
        t.LastMessage = b.LastMessage;
        t.TaskError = b.TaskError;
        SetResources(i);
        SearchAllStation(i, TaskDefaultStation(app, i));
    }
    return ok;
}

bool TaskEditorLink::SetResources(int task) {
    bool ok = false;
    app_.Engine().SetResources(task, ok);
    return ok;
}

void TaskEditorLink::SearchAllStation(int task, int16_t station) {
    app_.Connection().SearchAllStation(task, station);
}

void TaskEditorLink::SetFirstReading(int task) {
    app_.Engine().SetFirstReading(task);
}

void TaskEditorLink::SearchNextTaskToRead() {
    bool found = false;
    app_.Engine().SearchNextTaskToRead(true, found);
}

TaskEditorLink::ReadResult TaskEditorLink::ReadNow(int n) {
    AppContext& app = app_.App();
    RunStatus& st = app.Status;
    PcdConnection& pcd = app_.Connection();
    Task& t = app.Tasks[n];
    if (t.AddressCount == 0) {
        app.Ui.MessageBox("Task " + std::to_string(n) + " : No Address specified.", "Pelkor",
                          MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
        return ReadResult::NoAddress;
    }
    st.CurrentTask = static_cast<int16_t>(n);
    bool failed = false;
    bool opened = false;
    st.ManualReading = 1;
    const auto& stations = pcd.StationList(n);
    const int16_t first = stations.empty() ? TaskDefaultStation(app, n) : stations.front();
    if (st.Connected) {
        if (pcd.IpChannel()) {
            if (t.Settings == 0 && !pcd.SetPcdIpStation(first, t.IPAddress)) {
                t.TaskError = "Change Connection Error : " + st.LastErrorText;
                failed = true;
            }
        } else if (!pcd.PguMode() && !pcd.SetPcdStation(first)) {
            t.TaskError = "Set Station Error : " + st.LastErrorText;
            failed = true;
        }
    } else if (pcd.OpenPcdConnection(false)) {
        opened = true;
    } else {
        t.TaskError = "Open Connection Error : " + st.LastErrorText;
        failed = true;
    }
    ReadResult result = ReadResult::ConnectionError;
    if (!failed) {
        result =
            app_.Engine().ReadPCDValues(n, true, true) ? ReadResult::Read : ReadResult::ReadFailed;
        if (opened && st.Connected) pcd.DisconnectOnPCD(0, 0);
    }
    st.ManualReading = 0;
    return result;
}

} // namespace pelkor
