#include <algorithm>
#include <cmath>
#include <exception>
#include <string>

#include "log/LogEvents.h"
#include "tasks/TaskEngine.h"
#include "util/DateTime.h"

namespace pelkor {

namespace {
constexpr Date OneSecond = 1.0 / 86400.0;
// Start value of the earliest-reading search: tasks planned on or after it
// are never shown as next.
const Date FarFuture = DateFromParts(2999, 1, 1);
} // namespace

std::string ShortDateLongTime(Date d) {
    return DateText(d) + " " + TimeText(d);
}

TaskEngine::TaskEngine(AppContext& app, PcdLink& pcd) : app_(app), pcd_(pcd) {}

int TaskEngine::TaskCount() const {
    return std::clamp<int>(app_.Settings.TaskCount, 1, MaxTasks);
}

void TaskEngine::ShowError(const std::string& routine, const std::string& what) {
    app_.Ui.MessageBox(routine + " function error : " + what, "Pelkor", MsgIcon::Critical,
                       MsgButtons::Ok, MsgAnswer::Ok);
}

bool TaskEngine::Unplanned(int n) {
    Task& t = task(n);
    const std::size_t slot = static_cast<std::size_t>(std::clamp(n, 0, MaxTasks + 1));
    if (t.Period > 0) {
        noIntervalLogged_[slot] = false;
        return false;
    }
    // A period of 0 would read the task on every tick, or never without a word.
    t.NextRead = 0;
    t.Period = 0;
    const std::string text = "Task " + std::to_string(n) + " : no read interval, not read";
    t.TaskError = text;
    if (!noIntervalLogged_[slot]) LogEvent(app_, 1, text);
    noIntervalLogged_[slot] = true;
    return true;
}

void TaskEngine::SetFirstReading(int n) {
    Task& t = task(n);
    const Date now = app_.Clk.Now();
    if (app_.Settings.SingleShot != 0) {
        t.NextRead = now;
        return;
    }
    // Whole seconds of the period; 0 where the period is not counted from
    // midnight.
    long long p = 0;
    switch (t.IntervalUnit) {
    case 0:
        p = t.ReadInterval;
        t.Period = t.ReadInterval / 86400.0;
        break;
    case 1:
        p = 60LL * t.ReadInterval;
        t.Period = t.ReadInterval / 1440.0;
        break;
    case 2:
        p = 3600LL * t.ReadInterval;
        t.Period = t.ReadInterval / 24.0;
        break;
    case 3:
        t.Period = t.ReadInterval;
        break;
    default:
        break;
    }
    if (Unplanned(n)) return;
    const CivilTime c = ToCivil(now);
    const Date midnight = DateFromParts(c.Year, c.Month, c.Day);
    if (t.IntervalUnit >= 3) {
        // Only the time of day counts: a ReadHour stored with a date would
        // otherwise plan the reading decades ahead.
        // Whole seconds on both sides, as the clock counts: started within
        // the ReadHour second, the reading is due at once, not tomorrow.
        const long long hour = std::llround(TimePart(t.ReadHour) * 86400.0) % 86400;
        const long long s = c.Hour * 3600LL + c.Minute * 60LL + c.Second;
        const Date at = midnight + static_cast<double>(hour) / 86400.0;
        t.NextRead = s > hour ? at + 1 : at;
    } else if (p > 0) {
        const long long s = c.Hour * 3600LL + c.Minute * 60LL + c.Second;
        // Integer seconds first, so boundaries are exact day fractions.
        t.NextRead = midnight + static_cast<double>(p * (s / p + 1)) / 86400.0;
    }
}

void TaskEngine::ShowNextTask() {
    RunStatus& st = app_.Status;
    if (st.NextTask < 1) {
        app_.Ui.SetNextLabel("No Enabled Task");
        app_.Ui.SetTaskLabel("");
        return;
    }
    app_.Ui.SetNextLabel(GeneralDateText(task(st.NextTask).NextRead));
    app_.Ui.SetTaskLabel(std::to_string(st.NextTask));
    st.CurrentTask = st.NextTask;
    if (st.EditorOpen) {
        try {
            app_.Ui.TaskEditorShowNextRead(st.NextTask);
        } catch (...) {
            // The editor's display is a courtesy; the schedule does not depend on it.
        }
    }
}

void TaskEngine::SearchNextTaskToRead(bool earliestOnly, bool& found) {
    try {
        RunStatus& st = app_.Status;
        const int count = TaskCount();
        if (app_.Settings.TaskCount < 2) {
            st.NextTask = task(1).Disabled == 0 ? 1 : 0;
            ShowNextTask();
            return;
        }
        if (!earliestOnly) {
            const Date now = inPass_ ? passNow_ : app_.Clk.Now();
            auto due = [&](int i) {
                return task(i).Disabled == 0 && task(i).NextRead > 0 && now >= task(i).NextRead;
            };
            const int from = st.NextTask >= count || st.NextTask < 0 ? 0 : st.NextTask;
            for (int k = 1; k <= count; ++k) {
                const int i = (from + k - 1) % count + 1;
                if (due(i)) {
                    st.NextTask = static_cast<int16_t>(i);
                    found = true;
                    return;
                }
            }
        }
        st.NextTask = 0;
        Date earliest = FarFuture;
        for (int i = 1; i <= count; ++i) {
            const Task& t = task(i);
            // Not planned (no period) is not next, though 0 is the earliest time.
            const bool planned = t.NextRead > 0 || app_.Settings.SingleShot != 0;
            if (t.Disabled == 0 && planned && t.NextRead < earliest) {
                earliest = t.NextRead;
                st.NextTask = static_cast<int16_t>(i);
            }
        }
        ShowNextTask();
    } catch (const std::exception& e) {
        ShowError("SearchNextTaskToRead", e.what());
    }
}

bool TaskEngine::VisitTask(int i, Date now) {
    Task& t = task(i);
    RunStatus& st = app_.Status;
    st.CurrentTask = static_cast<int16_t>(i);
    bool read = false;
    if (t.Disabled == 0) {
        if (st.Connected) {
            read = ReadPCDValues(i, false);
        } else if (st.AutoConnectActive == 1 || pcd_.ReconnectPending()) {
            if (pcd_.Connect(i)) {
                read = ReadPCDValues(i, false);
                reconnectCounter_ = 0;
            }
        }
    }
    app_.Ui.ProcessEvents();

    if (app_.Settings.SingleShot != 0) {
        // A task the job could not read is a failure of the job, whatever
        // the later tasks leave in LastErrorText.
        if (t.Disabled == 0 && !read && jobError_.empty())
            jobError_ = st.LastErrorText.empty()
                            ? "Task " + std::to_string(i) + " could not be read."
                            : st.LastErrorText;
        t.NextRead = 0;
        if (st.Connected) pcd_.Disconnect();
        return t.Disabled == 0;
    }
    // Kept on whole milliseconds: adding a period that is not exact in
    // binary would otherwise let the plan drift off its boundaries over
    // months of readings.
    t.NextRead = std::round((t.NextRead + t.Period) * 86400000.0) / 86400000.0;
    if (st.EditorOpen) app_.Ui.TaskEditorShowNextRead(i);
    if (t.Disabled == 0) {
        if (t.NextRead < now) {
            LogEvent(app_, 2,
                     "Reading at " + ShortDateLongTime(t.NextRead) +
                         " aborted: reading time out-dated !");
            SetFirstReading(i);
        }
    } else if (t.NextRead < now) {
        // A disabled task is not read, so it has nothing to catch up: plan it
        // afresh instead of stepping through every missed period.
        SetFirstReading(i);
    }
    // The found task is only chosen here; it is read when the pass reaches
    // it. Task i is not looked at again in this pass: with a period that did
    // not move it past now it would be read over and over.
    bool found = false;
    SearchNextTaskToRead(false, found);
    return t.Disabled == 0;
}

void TaskEngine::ConnectionCheck(bool enabledTaskFellDue) {
    if (reconnectCounter_ < 11) {
        ++reconnectCounter_;
        return;
    }
    reconnectCounter_ = 0;
    if (!enabledTaskFellDue) return;
    RunStatus& st = app_.Status;
    if (!st.Connected) {
        if (pcd_.ReconnectPending() || st.AutoConnectActive)
            pcd_.Connect(st.CurrentTask >= 1 ? st.CurrentTask : 1);
    } else {
        pcd_.CheckStatus();
    }
}

void TaskEngine::CheckDueTasks() {
    if (app_.Status.ManualReading) return;
    struct PassMark {
        bool& flag;
        bool was;
        explicit PassMark(bool& f) : flag(f), was(f) { flag = true; }
        ~PassMark() { flag = was; }
    };
    try {
        const Date now = app_.Clk.Now();
        passNow_ = now;
        PassMark mark(inPass_);
        bool fellDue = false;
        for (int i = 1; i <= TaskCount(); ++i) {
            Task& t = task(i);
            if (t.NextRead > 0) {
                if (now < t.NextRead) {
                    if (now + t.Period + OneSecond < t.NextRead) SetFirstReading(i);
                } else {
                    if (VisitTask(i, now)) fellDue = true;
                    if (app_.Settings.SingleShot != 0) continue;
                }
            }
            ConnectionCheck(fellDue);
        }
    } catch (const std::exception& e) {
        ShowError("CheckDueTasks", e.what());
    }
}

bool TaskEngine::ReadPCDValues(int n, bool force, bool onDemand) {
    RunStatus& st = app_.Status;
    if (st.ReadingActive) return false;
    Task& t = task(n);
    if (app_.Settings.SingleShot == 0) app_.Ui.ClearReadLog();
    t.StationCount = 0;
    t.FailedStations = 0;
    t.ReadMissing = 0;
    if (!force && t.Disabled == 1) return false;
    if (t.AddressCount < 1) {
        LogEvent(app_, 1, "Task " + std::to_string(n) + " : No Address specified.");
        return false;
    }
    st.ReadingActive = 1;
    onDemand_ = onDemand;
    const int16_t previous = st.CurrentTask;
    st.CurrentTask = static_cast<int16_t>(n);
    pcd_.ClearConnectFailed();
    bool ok = false;
    try {
        ok = ReadTaskValues(n);
    } catch (...) {
        st.ReadingActive = 0;
        throw;
    }
    if (onDemand) st.CurrentTask = previous;
    st.WriteCounter = st.WriteCounter + 1 >= 999999999 ? 0 : st.WriteCounter + 1;
    st.ReadingActive = 0;
    return ok;
}

void TaskEngine::StartTimer(int intervalMs) {
    timerIntervalMs_ = intervalMs > 0 ? intervalMs : 250;
    timerRunning_ = true;
}

void TaskEngine::Pause(int rounds) {
    for (int k = 0; k < rounds; ++k) {
        app_.Ui.ProcessEvents();
        app_.Clk.Sleep(100);
    }
}

void TaskEngine::EndProgram(int status) {
    exitRequested_ = true;
    exitStatus_ = status;
    app_.Ui.ExitProgram(status);
}

void TaskEngine::StopOk() {
    LogEvent(app_, 1, "Stop the application.");
    EndProgram(0);
}

void TaskEngine::StopIfError(const std::string& message) {
    if (!message.empty()) {
        app_.Ui.MessageBox("Pelkor Single Shot failed !\r\r" + message, "Pelkor Error Message.",
                           MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
    }
    LogEvent(app_, 1, "Stop the application.");
    EndProgram(message.empty() ? 0 : 1);
}

void TaskEngine::ConnectTimerTick() {
    RunStatus& st = app_.Status;
    const bool singleShot = app_.Settings.SingleShot != 0;
    if (singleShot) StopTimer();
    CheckDueTasks();
    app_.Ui.SetCounterLabel(std::to_string(st.WriteCounter));
    if (!singleShot) return;

    UserInterface& ui = app_.Ui;
    ui.SetConnectionFrame("Single shoot terminated", UiColour::Blue);
    pcd_.Close("");
    ui.ShowProgress(false);
    ui.AppendReadLog("\r\n\r\n" + std::string(50, '-') + "\r\n" +
                     std::to_string(app_.Settings.TaskCount) +
                     " Data Task have been read and saved in file(s).\r\n");
    const int ok = st.TotalPackets - st.FailedPackets;
    if (st.LastErrorText.empty()) st.LastErrorText = jobError_;
    if (st.FailedPackets > 0) {
        ui.SetStatusLine("Pelkor Single Shot terminated.");
        ui.AppendReadLog(" - " + std::to_string(st.FailedPackets) + " Packet Data Read Failed ( " +
                         std::to_string(st.MissingValues) + " Missing Values )\r\n - " +
                         std::to_string(ok) + " Packet Data Read OK");
        ui.SetConnectionFrame("Single shoot terminated", UiColour::Red);
        st.LastErrorText = " - " + std::to_string(ok) + " Packet Data Read OK\r\n - " +
                           std::to_string(st.FailedPackets) + " Packet Data Read Failed ( " +
                           std::to_string(st.MissingValues) + " Missing Values )\r\n";
    } else if (st.MissingValues > 0) {
        ui.SetStatusLine("Pelkor Single Shot terminated.\r\n");
        ui.AppendReadLog(" - " + std::to_string(st.TotalPackets) + " Packet Data Read\r\n - " +
                         std::to_string(st.MissingValues) + " Missing Values.");
        ui.SetConnectionFrame("Single shoot terminated", UiColour::Magenta);
        st.LastErrorText = std::to_string(st.TotalPackets) + " Packet Data Read\r\n - " +
                           std::to_string(st.MissingValues) + " Missing Values.";
    } else {
        ui.SetStatusLine("Pelkor Single Shot terminated without error.\r\n");
        ui.AppendReadLog(" - " + std::to_string(st.TotalPackets) + " Packet Data Read OK");
    }
    Pause(11);
    if (!st.LastErrorText.empty()) {
        const MsgAnswer a = ui.MessageBox(
            "Pelkor Single Shot failed !\r\r" + st.LastErrorText + "\rDo you want to see details ?",
            "Pelkor Error Message.", MsgIcon::Critical, MsgButtons::YesNo, MsgAnswer::No);
        if (a == MsgAnswer::Yes) {
            // The window stays open for the details; the job has still failed.
            exitStatus_ = 1;
            return;
        }
        LogEvent(app_, 1, "Stop the application.");
        EndProgram(1);
        return;
    }
    LogEvent(app_, 1, "Stop the application.");
    EndProgram(0);
}

void TaskEngine::RunHiddenSingleShot() {
    RunStatus& st = app_.Status;
    StopTimer();
    CheckDueTasks();
    pcd_.Close("");
    app_.Ui.ShowProgress(false);
    app_.Ui.AppendReadLog("\r\n" + std::to_string(app_.Settings.TaskCount) +
                          " Data Task have been read and saved in file(s).\r\n");
    const int ok = st.TotalPackets - st.FailedPackets;
    if (st.LastErrorText.empty()) st.LastErrorText = jobError_;
    if (st.FailedPackets >= 1) {
        st.LastErrorText = std::to_string(ok) + " Packet Data Read OK\r\n - " +
                           std::to_string(st.FailedPackets) + " Packet Data Read Failed ( " +
                           std::to_string(st.MissingValues) + " Missing Values )";
    } else if (st.MissingValues > 0) {
        st.LastErrorText = std::to_string(st.TotalPackets) + " Packet Data Read\r\n - " +
                           std::to_string(st.MissingValues) + " Missing Values.";
    }
    Pause(11);
    StopIfError(st.LastErrorText);
}

} // namespace pelkor
