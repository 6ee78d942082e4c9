#include "application/PelkorApp.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>

#include "application/StartInfo.h"
#include "config/CommandLine.h"
#include "config/StartFile.h"
#include "core/TaskRules.h"
#include "dde/DdeServer.h"
#include "log/Folders.h"
#include "log/LogEvents.h"
#include "mqtt/MqttPublisher.h"
#include "output/ExcelWriter.h"
#include "pcd/PcdConnection.h"
#include "tasks/TaskDefaults.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

// ---- adapters ---------------------------------------------------------------

class PelkorApp::Link final : public PcdLink {
public:
    Link(AppContext& app, PcdConnection& c) : app_(app), c_(c) {}

    bool Connect(int task) override {
        app_.Status.CurrentTask = static_cast<int16_t>(task);
        return c_.OpenPcdConnection(false);
    }
    void Disconnect() override { c_.DisconnectOnPCD(0, 0); }
    void Close(const std::string& reason) override { c_.ClosePcdConnection(reason); }
    bool CheckStatus() override { return c_.CheckPcdStatus(); }
    bool SetStation(int station) override { return c_.SetPcdStation(Short(station)); }
    int MoveToTaskAddress(int task, int station) override {
        return c_.MoveToTaskAddress(task, Short(station));
    }
    int ReadRegisters(int address, int count) override {
        return c_.ReadPcdRegisters(Short(address), Short(count));
    }
    int ReadFlags(int address, int count) override {
        return c_.ReadPcdFlags(Short(address), Short(count));
    }
    int ReadInputs(int address, int count) override {
        return c_.ReadPcdInputs(Short(address), Short(count));
    }
    int ReadClock(Date& clock) override {
        const int code = c_.ReadPcdClock();
        clock = c_.PcdClock();
        return code;
    }
    int32_t RegisterValue(int i) const override {
        return c_.PcdRegisterValues().at(static_cast<std::size_t>(i));
    }
    int16_t BitValue(int i) const override {
        return c_.PcdBitValues().at(static_cast<std::size_t>(i));
    }
    int OpenStation() const override { return c_.AddressedStation(); }
    bool PguMode() const override { return c_.PguMode(); }
    bool ConnectFailed() const override { return c_.ConnectFailed(); }
    void ClearConnectFailed() override { c_.ClearConnectFailed(); }
    bool ReconnectPending() const override { return c_.ReconnectPending(); }

private:
    static int16_t Short(int v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }
    AppContext& app_;
    PcdConnection& c_;
};

// The DDE service serves each stored record to its items and advise links.
class PelkorApp::Feed final : public ReadingObserver {
public:
    explicit Feed(DdeServer& s) : s_(s) {}
    void ReadingDone(const ReadingDoneEvent& e) override {
        if (s_.Running()) s_.PostDdeData(e.TaskRecord->LastValues);
    }

private:
    DdeServer& s_;
};

// The task editor, when open in a continuous run, shows the values just read.
class PelkorApp::EditorFeed final : public ReadingObserver {
public:
    explicit EditorFeed(AppContext& app) : app_(app) {}
    void ReadingDone(const ReadingDoneEvent& e) override {
        if (app_.Settings.SingleShot == 0 && app_.Status.EditorOpen)
            app_.Ui.TaskEditorShowDataRead(e.TaskNumber);
    }

private:
    AppContext& app_;
};

// ---- headless user interface ------------------------------------------------

void HeadlessUserInterface::SetStatusLine(const std::string& text) {
    BatchUserInterface::SetStatusLine(text);
    if (verbose_ && !text.empty()) {
        std::string line = ReplaceAll(ReplaceAll(text, "\r\n", " "), "\r", " ");
        std::printf("%s\n", TrimRight(line).c_str());
        std::fflush(stdout);
    }
}

void HeadlessUserInterface::ProcessEvents() {
    if (idle_) idle_->Run(0);
}

// ---- options ------------------------------------------------------------------

bool ParseRunOptions(const std::vector<std::string>& args, RunOptions& options,
                     std::vector<std::string>& rest, bool& help, std::string& error) {
    help = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = "Option " + a + " needs a value.";
                return false;
            }
            out = args[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--headless") {
            options.Headless = true;
        } else if (a == "--start") {
            options.PressStart = true;
        } else if (a == "--version") {
            options.Version = true;
        } else if (a == "--choose") {
            options.Choose = true;
        } else if (a == "--init") {
            options.Init = true;
        } else if (a == "--verbose" || a == "-v") {
            options.Verbose = true;
        } else if (a == "--seconds") {
            std::string v;
            if (!value(v)) return false;
            options.Seconds = LeadingNumber(v);
            if (options.Seconds <= 0) {
                error = "--seconds needs a positive number of seconds, not \"" + v + "\".";
                return false;
            }
        } else if (a == "--dde-socket") {
            if (!value(options.DdeSocket)) return false;
        } else if (a.size() > 2 && a.rfind("--", 0) == 0) {
            error = "Unknown option " + a + ".";
            return false;
        } else {
            rest.push_back(a);
        }
    }
    return true;
}

// ---- the application ------------------------------------------------------------

PelkorApp::PelkorApp(UserInterface& ui, Clock& clock, std::string programFolder,
                     PelsbusDriver& driver, std::string userDataFolder)
    : app_(ui, clock, programFolder,
           userDataFolder.empty() ? programFolder : std::move(userDataFolder)) {
    pcd_ = std::make_unique<PcdConnection>(app_, driver);
    pcd_->SetEvents(&captions_);
    app_.Pg5 = pcd_.get();
    dde_ = std::make_unique<DdeServer>(app_);
    link_ = std::make_unique<Link>(app_, *pcd_);
    feed_ = std::make_unique<Feed>(*dde_);
    editorFeed_ = std::make_unique<EditorFeed>(app_);
    engine_ = std::make_unique<TaskEngine>(app_, *link_);
    engine_->AddReadingObserver(feed_.get());
    engine_->AddReadingObserver(editorFeed_.get());
    engine_->SetProgressPause(options_.ProgressPauseMs);
    idle_.Add([this](int waitMs) {
        if (!dde_->Running()) return false;
        dde_->Poll(waitMs);
        return true;
    });
    if (ui.Unattended()) {
        // A box nobody sees must still leave a trace in the event log.
        ui.SetMessageHook([this](MsgIcon icon, const std::string& title, const std::string& text) {
            const bool problem = icon == MsgIcon::Critical || icon == MsgIcon::Exclamation;
            LogEvent(app_, problem ? 2 : 1, title + " : " + text);
        });
    }
}

PelkorApp::~PelkorApp() {
    StopMqtt();
    if (app_.Ui.Unattended()) app_.Ui.SetMessageHook({});
}

void PelkorApp::SetOptions(const RunOptions& options) {
    options_ = options;
    engine_->SetProgressPause(options.ProgressPauseMs);
    if (!options.DdeSocket.empty()) dde_->SetSocketPath(options.DdeSocket);
}

std::string PelkorApp::VersionText() {
    return std::to_string(PELKOR_VERSION_MAJOR) + "." + std::to_string(PELKOR_VERSION_MINOR) + "." +
           std::to_string(PELKOR_VERSION_PATCH);
}

void PelkorApp::Tick() {
    engine_->ConnectTimerTick();
    if (mqtt_) mqtt_->FlushLog(app_);
}

void PelkorApp::StartMqtt() {
    if (app_.Settings.StartFile.empty()) return;
    MqttSettings settings = ReadMqttSettings(app_.Settings.StartFile);
    if (settings.Broker.empty()) return;
    mqtt_ = std::make_unique<MqttPublisher>(std::move(settings));
    if (mqtt_->Start(app_)) {
        engine_->AddReadingObserver(mqtt_.get());
    } else {
        mqtt_.reset();
    }
}

void PelkorApp::StopMqtt() {
    if (!mqtt_) return;
    engine_->RemoveReadingObserver(mqtt_.get());
    // Bounded: a broker that is away must not hold up the end of the program.
    mqtt_->Stop(app_, 3.0);
    mqtt_.reset();
}

void PelkorApp::RestartMqtt() {
    // Only a job that runs publishes; a closed one starts nothing.
    if (!jobStarted_ || closed_ || ended_) return;
    StopMqtt();
    StartMqtt();
}

void PelkorApp::EnsureUserDataFolder() {
    const std::string& folder = app_.UserDataFolder;
    if (folder.empty() || FolderExists(folder)) return;
    if (!CreateFolderPath(app_, folder, false)) {
        app_.Ui.MessageBox("Cannot create the data folder " + folder + " : " +
                               app_.Status.LastErrorText,
                           "Pelkor", MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
    }
}

bool PelkorApp::PressStart() {
    RunStatus& st = app_.Status;
    if (app_.Settings.SingleShot == 1) return false;
    st.AutoConnectActive = 1;
    if (!st.Connected) pcd_->OpenPcdConnection(false);
    return true;
}

// A continuous run nobody watches: "--start" presses "Start"; without it a
// job with AutoConnect=0 would wait for a button nobody can press, so say so.
void PelkorApp::StartUnattended() {
    if (options_.PressStart) {
        PressStart();
        return;
    }
    if (app_.Status.AutoConnectActive || !app_.Ui.Unattended()) return;
    const std::string text = "AutoConnect=0: nothing will be read until started. Run pelkor with "
                             "--start to read at once.";
    std::fprintf(stderr, "pelkor: %s\n", text.c_str());
    LogEvent(app_, 1, text);
}

void PelkorApp::LogStart() {
    try {
        const AppSettings& s = app_.Settings;
        LogEvent(app_, 0, "");
        LogEvent(app_, 1, "Pelkor " + pelkor::VersionText() + " Started.");
        if (s.StartMode == 1) {
            LogEvent(app_, 1,
                     s.StartFile.empty() ? std::string("No command line")
                                         : "Start file -> " + s.StartFile);
        } else if (s.StartMode == 2 && s.SingleShot == 1) {
            LogEvent(app_, 1, "Single shot with start file -> " + s.StartFile);
            LogEvent(app_, 1, "Application Hidden = " + std::to_string(s.Hidden));
        } else if (s.StartMode == 2) {
            LogEvent(app_, 1, "Locked start file -> " + s.StartFile);
            LogEvent(app_, 1, "Application minimized = " + std::to_string(s.Minimized));
        } else {
            LogEvent(app_, 1, "No command line");
        }
    } catch (const std::exception& e) {
        app_.Ui.MessageBox(std::string("LogStart function error : ") + e.what(), "Pelkor",
                           MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
    }
}

bool PelkorApp::Start(const std::string& commandText, const std::string& currentFolder) {
    try {
        ResetForStart();
        if (!FindStartFile(commandText, currentFolder) || !LoadStartFile()) return false;
        PrepareTasks();
        BeginReadings();
        StartRunning();
        return true;
    } catch (const std::exception& e) {
        app_.Ui.MessageBox(std::string("LoadStartForm function error : ") + e.what(), "Pelkor",
                           MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
        return EndStart(StartFailed);
    }
}

bool PelkorApp::EndStart(int status) {
    ended_ = true;
    exitStatus_ = status;
    return false;
}

void PelkorApp::ResetForStart() {
    UserInterface& ui = app_.Ui;
    RunStatus& st = app_.Status;
    ui.SetCaption("Pelkor Application");
    ui.ShowProgress(false);
    ui.ClearReadLog();
    st.NextTask = 1;
    st.EditTask = 1;
    st.WriteCounter = 0;

    EnsureUserDataFolder();
    pcd_->ReadSAIARegistery();
    DefaultParameters(app_, [this] { pcd_->SetCurrentStation(0); });
}

bool PelkorApp::FindStartFile(const std::string& commandText, const std::string& currentFolder) {
    switch (GetCommandLine(app_, commandText, currentFolder)) {
    case CommandLineResult::Found:
        return true;
    case CommandLineResult::NoCommand:
        if (startInfo_) {
            // Started without a job on purpose (from a menu): not a failure.
            startInfo_();
            return EndStart(0);
        }
        app_.Ui.MessageBox("No start file given. Run: pelkor [options] <start file>.pelk PG5=nn "
                           "(see pelkor --help).",
                           "Pelkor", MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok);
        return EndStart(StartFailed);
    default:
        return EndStart(StartFailed);
    }
}

bool PelkorApp::LoadStartFile() {
    if (ReadPelkorStartFile(app_)) return true;
    app_.Ui.MessageBox("Bad file !", "Pelkor", MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
    // Writing defaults over it would lose what the user set (Port, Locked, ...).
    LogEvent(app_, 1, "Start file left as it was: " + app_.Settings.StartFile);
    if (app_.Ui.Unattended()) return EndStart(StartFailed);
    app_.Settings.StartMode = 1;
    startProblem_ = true;
    return true;
}

void PelkorApp::PrepareTasks() {
    AppSettings& s = app_.Settings;
    RunStatus& st = app_.Status;
    st.Connected = 0;
    LogStart();
    jobStarted_ = true;
    if (!startProblem_) StartMqtt();
    if (excelProbe_)
        excelProbe_(app_);
    else
        ProbeExcel(app_);

    for (int i = 1; i <= s.TaskCount && i <= MaxTasks; ++i) {
        Task& t = app_.Tasks[i];
        const int16_t station = DefaultStation(s, t);
        pcd_->SetCurrentStation(station);
        bool ok = false;
        engine_->SetResources(i, ok);
        if (!ok) startProblem_ = true;
        if (EqualsNoCase(t.FileType, "XLS") && st.ExcelMissing) {
            st.LastErrorText = "Task " + std::to_string(i) + " Need Excel application !";
            LogEvent(app_, 1, st.LastErrorText);
            app_.Ui.MessageBox(st.LastErrorText + "\r\rExcel is not isntalled on this computer !",
                               "Pelkor", MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
        }
        pcd_->SearchAllStation(i, station);
    }
}

void PelkorApp::BeginReadings() {
    RunStatus& st = app_.Status;
    st.CurrentTask = 1;
    if (st.AutoConnectActive && !st.Connected) pcd_->OpenPcdConnection(false);

    st.FailedPackets = 0;
    st.TotalPackets = 0;
    st.MissingValues = 0;
    for (int i = 1; i <= app_.Settings.TaskCount && i <= MaxTasks; ++i)
        engine_->SetFirstReading(i);
    bool found = false;
    engine_->SearchNextTaskToRead(true, found);
}

void PelkorApp::StartRunning() {
    const AppSettings& s = app_.Settings;
    if (s.SingleShot != 1) {
        engine_->StartTimer(250);
        if (s.DDEServer)
            LogEvent(app_, 1,
                     dde_->StartDdeServer() ? "Start the DDE Server." : app_.Status.LastErrorText);
        StartUnattended();
        return;
    }
    app_.Ui.ClearReadLog();
    if (!s.Hidden) {
        engine_->StartTimer(1000);
        app_.Ui.SetMenusEnabled(false, false, false);
        return;
    }
    engine_->RunHiddenSingleShot();
}

int PelkorApp::Run(const std::atomic<bool>& stop) {
    using Steady = std::chrono::steady_clock;
    const auto started = Steady::now();
    const bool limited = options_.Seconds > 0;
    const auto deadline = started + std::chrono::duration_cast<Steady::duration>(
                                        std::chrono::duration<double>(options_.Seconds));
    auto nextTick = started + std::chrono::milliseconds(engine_->TimerInterval());
    CloseReason reason = CloseReason::System;
    while (!Ended()) {
        if (stop.load()) break;
        const auto now = Steady::now();
        if (limited && now >= deadline) {
            reason = CloseReason::Program;
            break;
        }
        if (engine_->TimerRunning() && now >= nextTick) {
            Tick();
            // Like a window timer: no burst of ticks after a long one.
            nextTick = std::max(nextTick + std::chrono::milliseconds(engine_->TimerInterval()),
                                Steady::now());
            continue;
        }
        auto wake = now + std::chrono::milliseconds(100);
        if (engine_->TimerRunning()) wake = std::min(wake, nextTick);
        if (limited) wake = std::min(wake, deadline);
        const int ms = static_cast<int>(std::max<long long>(
            1, std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count()));
        idle_.Run(ms);
    }
    if (!Ended()) {
        // A time limit is the demo's way of ending; like the system ending
        // the program it is not refused by "Shutdown".
        (void)reason;
        RequestClose(CloseReason::System);
    }
    if (dde_->Running() && engine_->ExitRequested()) dde_->StopDdeServer();
    return ExitStatus();
}

bool PelkorApp::CloseRefused(CloseReason reason) {
    if (reason != CloseReason::System && !app_.Settings.StartFile.empty()) {
        const std::string value = GetIniString(app_.Settings.StartFile, "Pelkor", "Shutdown");
        if (LeadingNumber(value) > 0) {
            app_.Ui.MessageBox("Shutdown not allowed.", "Pelkor", MsgIcon::Exclamation,
                               MsgButtons::Ok, MsgAnswer::Ok);
            return true;
        }
    }
    return false;
}

bool PelkorApp::RequestClose(CloseReason reason) {
    if (CloseRefused(reason)) return false;
    Close();
    return true;
}

void PelkorApp::Close() {
    if (closed_) return;
    closed_ = true;
    pcd_->DisconnectOnPCD(0, 0);
    if (dde_->Running()) {
        LogEvent(app_, 1, "Stop the DDE Server.");
        dde_->StopDdeServer();
    }
    StopMqtt();
    LogEvent(app_, 1, "Stop the application.");
    ended_ = true;
}

int PelkorApp::ExitStatus() const {
    // However the window of a failed job is closed, its status is the job's.
    int status = engine_->ExitRequested() || engine_->ExitStatus() != 0 ? engine_->ExitStatus()
                                                                        : exitStatus_;
    if (status == 0 && startProblem_) status = StartFailed;
    return status;
}

} // namespace pelkor
