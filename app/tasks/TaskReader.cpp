#include <algorithm>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "log/LogEvents.h"
#include "output/ExcelWriter.h"
#include "output/Output.h"
#include "tasks/Resources.h"
#include "tasks/TaskEngine.h"
#include "util/DateTime.h"

namespace pelkor {

namespace {

std::string EntryText(const Task& t, std::size_t i) {
    const ResourceEntry& e = t.Resources[i];
    return std::string(1, e.Kind) + " " + std::to_string(e.Address) + "  [" +
           std::to_string(e.Count) + "]";
}

bool FileEmptyOrMissing(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec || size == 0;
}

} // namespace

void TaskEngine::TaskMessage(int n, const std::string& text) {
    Task& t = task(n);
    t.LastMessage = text;
    if (!t.TaskError.empty()) t.TaskError += "\r\n";
    t.TaskError += text;
    messagesChanged_ = true;
    LogEvent(app_, 2, text);
}

void TaskEngine::PCDConnectionStatus(int n) {
    const Task& t = task(n);
    app_.Ui.SetTaskLabel(std::to_string(n));
    const int all = t.StationCount;
    const int failed = t.FailedStations;
    if (failed < 1) {
        app_.Ui.SetConnectionFrame(all < 2 ? std::string("PCD Connected")
                                           : "PCD Connected  ( " + std::to_string(all) + " of " +
                                                 std::to_string(all) + " stations )",
                                   UiColour::Blue);
    } else {
        app_.Ui.SetConnectionFrame("PCD Connected  ( " + std::to_string(all - failed) + " of " +
                                       std::to_string(all) + " stations )",
                                   UiColour::Magenta);
    }
}

bool TaskEngine::StationAccess(int n, std::size_t i) {
    Task& t = task(n);
    RunStatus& st = app_.Status;
    const int station = t.Resources[i].Station;
    const std::string num = std::to_string(n);
    const std::string stn = std::to_string(station);
    if (station < 0) {
        LogEvent(app_, 1, "Task " + num + " - Connection with PCD aborted, bad station : " + stn);
        st.LastErrorText = "Connection with PCD aborted, bad station : " + stn;
        return false;
    }
    if (pcd_.PguMode() && station != pcd_.OpenStation()) {
        TaskMessage(n, "Read : " + EntryText(t, i) +
                           " - Error : SBus Station Change not allowed in PGU.");
        return false;
    }
    bool ok;
    if (const int move = pcd_.MoveToTaskAddress(n, station); move != 0) {
        ok = move > 0;
        if (!ok) TaskMessage(n, "Read : " + EntryText(t, i) + " - Failed : " + st.LastErrorText);
    } else if (station == pcd_.OpenStation()) {
        ok = pcd_.CheckStatus();
        if (!ok) {
            LogEvent(app_, 1,
                     "Task " + num + " - Connection with PCD station " + stn + " failed !");
            st.LastErrorText = "Task " + num + " Connection with PCD station " + stn + " failed !";
            app_.Ui.AppendReadLog("\r\n" + st.LastErrorText);
        }
    } else {
        ok = pcd_.SetStation(station);
        if (!ok) {
            st.LastErrorText =
                "Task " + num + " - Connection with PCD station " + stn + " failed !";
            const std::string reason = st.LastErrorText;
            TaskMessage(n, "Read : " + EntryText(t, i) +
                               " - Failed : No connection with PCD station " + stn);
            st.LastErrorText = reason;
        }
    }
    if (ok) {
        // "restored" waits for a read that succeeds (ReadEntry): a station
        // may answer its status on a line that still cannot carry a read.
        st.LastErrorText.clear();
    } else {
        // An unreachable station reaches the log once, until it is restored.
        if (!t.Resources[i].StationFailed) {
            const std::string reason = st.LastErrorText;
            LogEvent(app_, 1, reason);
            st.LastErrorText = reason;
            messagesChanged_ = true;
        }
        t.Resources[i].StationFailed = true;
    }
    if (station != lastStation_) {
        ++t.StationCount;
        if (!ok) ++t.FailedStations;
    }
    if (ok) lastStation_ = station;
    return ok;
}

bool TaskEngine::ReadEntry(int n, std::size_t i) {
    Task& t = task(n);
    RunStatus& st = app_.Status;
    const ResourceEntry& entry = t.Resources[i];
    const char kind = entry.Kind;
    const int address = entry.Address;
    const int count = entry.Count;
    const std::string stn = std::to_string(entry.Station);
    std::string& out = t.Resources[i].Values;
    int code = 0;
    switch (kind) {
    case 'R':
        code = pcd_.ReadRegisters(address, count);
        if (code == 0)
            for (int k = 0; k < count; ++k)
                out += ";" + std::to_string(pcd_.RegisterValue(k));
        break;
    case 'F':
    case 'I':
        code = kind == 'F' ? pcd_.ReadFlags(address, count) : pcd_.ReadInputs(address, count);
        if (code == 0)
            for (int k = 0; k < count; ++k)
                out += ";" + std::to_string(pcd_.BitValue(k));
        break;
    case 'K': {
        Date clock = 0;
        code = pcd_.ReadClock(clock);
        if (code == 0) out += ";" + GeneralDateText(clock);
        break;
    }
    default:
        break; // nothing to read; not a failure
    }
    if (code == 0) {
        t.LastMessage = "Read : " + EntryText(t, i) + " - OK";
        messagesChanged_ = true;
        if (t.Resources[i].StationFailed) {
            LogEvent(app_, 1,
                     "Task " + std::to_string(n) + " - Connection with PCD station " + stn +
                         " restored.");
            t.Resources[i].StationFailed = false;
        }
        return true;
    }
    out.clear();
    if (kind == 'K') {
        TaskMessage(n, "Read STN " + stn + " Clock failed : " + st.LastErrorText);
    } else {
        TaskMessage(n, "Read STN " + stn + " " + std::string(1, kind) + " " +
                           std::to_string(address) + " failed : " + st.LastErrorText);
    }
    return false;
}

void TaskEngine::FailRead(int n) {
    RunStatus& st = app_.Status;
    const std::string reason = st.LastErrorText;
    LogEvent(app_, 2, reason);
    st.LastErrorText = reason;
    jobError_ = reason;
    app_.Ui.SetBusyCursor(false);
    app_.Ui.ShowProgress(false);
    if (app_.Settings.SingleShot != 0) {
        pcd_.Close("");
        st.LastErrorText = reason;
        app_.Ui.SetConnectionFrame("Pelkor Single Shot Failed !", UiColour::Red);
        app_.Ui.AppendReadLog("\r\nError : " + reason);
    } else {
        // The failing task's own values carry the error (the DDE service
        // serves another task's values untouched); the editor shows it when
        // this is the task it shows.
        task(n).LastValues = reason;
        if (st.EditorOpen && st.EditTask == n) app_.Ui.TaskEditorShowDataRead(n);
    }
}

bool TaskEngine::StoreRecord(int n, Date stamp) {
    Task& t = task(n);
    RunStatus& st = app_.Status;
    const OutputKind kind = OutputKindOf(t);
    if (kind == OutputKind::None || t.FileName.empty()) return true;
    if (!ComposeOutputPath(app_, n, stamp)) return false;
    app_.Ui.AppendReadLog("\r\nWrite Data to : " + t.OutputPath);
    if (FileEmptyOrMissing(t.OutputPath)) {
        t.RowsWritten = 0;
        t.LineCounter = 0;
    }
    if (kind == OutputKind::Csv) {
        if (!WriteTextRecord(app_, n)) {
            // The system's reason is worth keeping next to the fixed message.
            if (!st.LastErrorText.empty()) LogEvent(app_, 2, st.LastErrorText);
            st.LastErrorText = "Writing data in file aborted !";
            return false;
        }
        return true;
    }
    return WriteExcelRecord(app_, n);
}

void TaskEngine::AddReadingObserver(ReadingObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void TaskEngine::RemoveReadingObserver(ReadingObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void TaskEngine::RaiseReadingDone(int n, Date stamp) {
    const ReadingDoneEvent event{n, stamp, &task(n)};
    // A copy: an observer may remove itself while it is told.
    const std::vector<ReadingObserver*> observers = observers_;
    for (ReadingObserver* o : observers)
        o->ReadingDone(event);
}

void TaskEngine::BeginReading(int n, int maximum) {
    UserInterface& ui = app_.Ui;
    Task& t = task(n);
    ui.ShowProgress(true);
    ui.SetProgress(0, maximum);
    ui.SetBusyCursor(true);
    ui.ProcessEvents();
    messagesChanged_ = false;
    t.ReadMissing = 0;
    t.TaskError.clear();
    t.LastMessage.clear();
    values_.clear();
    // Station counts are per reading: start each with no station addressed.
    lastStation_ = -1;
}

void TaskEngine::ReadEntries(int n, std::size_t entries, int maximum, bool singleShot) {
    RunStatus& st = app_.Status;
    UserInterface& ui = app_.Ui;
    Task& t = task(n);
    int progress = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        t.Resources[i].Values.clear();
        messagesChanged_ = false;
        const int count = t.Resources[i].Count;
        if (count <= 0) {
            // A grid row left without a variable: nothing to read, and
            // certainly not register 0; the log says it was skipped.
            if (t.Resources[i].Kind == '\0')
                LogEvent(app_, 1,
                         "Task " + std::to_string(n) + " : entry " + std::to_string(i + 1) +
                             " has no PCD variable, skipped.");
            continue;
        }
        ui.ProcessEvents();
        ui.SetProgress(++progress, maximum);
        bool ok = false;
        if (!pcd_.ConnectFailed() && StationAccess(n, i)) {
            ui.ProcessEvents();
            ok = ReadEntry(n, i);
        }
        if (!ok) {
            messagesChanged_ = true;
            t.Resources[i].Values.assign(static_cast<std::size_t>(count), ';');
            t.ReadMissing += count;
        }
        values_ += t.Resources[i].Values;
        const std::string line = "Task " + std::to_string(n) + " " + t.LastMessage;
        if (i == 0 && !singleShot) {
            ui.ClearReadLog();
            ui.AppendReadLog(line);
        } else {
            ui.AppendReadLog("\r\n" + line);
        }
        if (messagesChanged_) ui.SetStatusLine(st.LastErrorText);
    }
}

void TaskEngine::ReportReading(int n, bool singleShot) {
    RunStatus& st = app_.Status;
    UserInterface& ui = app_.Ui;
    Task& t = task(n);
    if (singleShot) {
        LogEvent(app_, 1,
                 "Task " + std::to_string(n) +
                     " - Data have been read and saved in the file : " + t.OutputPath);
        ui.AppendReadLog("\r\nTask " + std::to_string(n) + " terminated.\r\n");
    } else {
        ui.AppendReadLog("\r\n");
    }
    if (t.FailedStations != 0) {
        ui.AppendReadLog(
            " - " + std::to_string(t.FailedStations) + " Packet Data Read Failed\r\n - " +
            std::to_string(t.StationCount - t.FailedStations) + " Packet Data Read OK");
    } else {
        ui.AppendReadLog(" - " + std::to_string(t.StationCount) + " Packet Data Read OK");
    }
    // The totals only feed the single-shot summary; they stop at the top
    // of their range rather than turn negative in a long run.
    st.TotalPackets = static_cast<int16_t>(std::min(32767, st.TotalPackets + t.StationCount));
    st.FailedPackets = static_cast<int16_t>(std::min(32767, st.FailedPackets + t.FailedStations));
    st.MissingValues = st.MissingValues > 2147483647 - t.ReadMissing
                           ? 2147483647
                           : st.MissingValues + t.ReadMissing;
    if (t.FailedStations == 0 && t.ReadMissing == 0)
        ui.SetStatusLine("Data reading without errors.");
}

bool TaskEngine::ReadTaskValues(int n) {
    RunStatus& st = app_.Status;
    UserInterface& ui = app_.Ui;
    try {
        Task& t = task(n);
        const bool singleShot = app_.Settings.SingleShot != 0;
        const std::size_t entries = t.Entries().size();
        const int maximum = static_cast<int>(entries) + 1;
        BeginReading(n, maximum);
        ReadEntries(n, entries, maximum, singleShot);

        ui.SetProgress(maximum, maximum);
        if (progressPauseMs_ > 0) app_.Clk.Sleep(progressPauseMs_);
        // A Stop during the reading closed the connection: the frame already says so.
        if (st.Connected)
            PCDConnectionStatus(n);
        else
            ui.SetTaskLabel(std::to_string(n));
        if (!values_.empty() && values_.front() == ';') values_.erase(0, 1);
        const Date stamp = onDemand_ ? app_.Clk.Now() : t.NextRead;
        t.LastValues = BuildRecord(app_, n, onDemand_, values_);

        if (!StoreRecord(n, stamp)) {
            FailRead(n);
            return false;
        }
        t.RowsWritten = t.RowsWritten + 1 >= 999999999 ? 0 : t.RowsWritten + 1;
        RaiseReadingDone(n, stamp);
        ReportReading(n, singleShot);
        ui.SetBusyCursor(false);
        ui.ShowProgress(false);
        return true;
    } catch (const std::exception& e) {
        ui.SetBusyCursor(false);
        ui.ShowProgress(false);
        ShowError("ReadTaskValues", e.what());
        return false;
    }
}

void TaskEngine::SetResources(int n, bool& ok) {
    ok = false;
    try {
        Task& t = task(n);
        if (!t.DataFile.empty() && !LoadResourcesFromWorkbook(app_, n)) {
            ShowError("SetResources", app_.Status.LastErrorText);
            return;
        }
        if (!ParseTaskResources(app_, n)) {
            // The parser's text already names the routine.
            app_.Ui.MessageBox(app_.Status.LastErrorText, "Pelkor", MsgIcon::Critical,
                               MsgButtons::Ok, MsgAnswer::Ok);
            return;
        }
        ok = true;
    } catch (const std::exception& e) {
        ShowError("SetResources", e.what());
    }
}

} // namespace pelkor
