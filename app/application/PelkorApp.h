#pragma once
// The application object: owns the shared records (AppContext), the
// connection manager, the DDE service and the task engine, runs the
// start-up sequence, the ConnectTimer loop and the closing order.
//
// The windows drive it (start-up from the main window's load, Tick from its
// timer, RequestClose from its close box); without windows Run's loop does.
// The engine reaches the connection through PcdLink; the DDE service and the
// task editor follow the readings as ReadingDone observers.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "application/ConnectionCaptions.h"
#include "application/IdleWork.h"
#include "core/AppContext.h"
#include "core/Clock.h"
#include "tasks/PcdLink.h"
#include "tasks/TaskEngine.h"
#include "ui/batch/BatchUserInterface.h"
#include "util/Shell.h"

namespace pelkor {

class PcdConnection;
class PelsbusDriver;
class DdeServer;
class MqttPublisher;

// Options of the program besides the start file and "PG5=".
struct RunOptions {
    // Stop after this many seconds (an orderly close); 0: run until the job
    // ends or a signal arrives.
    double Seconds = 0;
    // Every status line (every event) also to standard output.
    bool Verbose = false;
    // Where the DDE service listens (empty: the default place).
    std::string DdeSocket;
    // Pause after each reading for the progress display, in ms.
    int ProgressPauseMs = 0;
    // "--headless": no windows even where a display is available.
    bool Headless = false;
    // "--start": press "Start" once the job is loaded, so a start file with
    // AutoConnect=0 reads unattended.
    bool PressStart = false;
    // "--version": print the version and end.
    bool Version = false;
    // "--choose": with windows and no start file, let the user pick one
    // (frmChoose) instead of showing the start information.
    bool Choose = false;
    // "--init": create the user's data folder, print its path and end.
    bool Init = false;
};

// Parses the program's arguments: options first or anywhere ("--seconds N",
// "--verbose", "--headless", "--start", "--dde-socket PATH", "--version",
// "--choose", "--init", "--help"); the rest is the
// command text (start file and "PG5="). False with a message in error.
bool ParseRunOptions(const std::vector<std::string>& args, RunOptions& options,
                     std::vector<std::string>& rest, bool& help, std::string& error);

// The user interface without windows: the batch interface, whose event
// processing does the application's idle work.
class HeadlessUserInterface : public BatchUserInterface {
public:
    void SetIdleWork(IdleWork* idle) { idle_ = idle; }
    void SetVerbose(bool on) { verbose_ = on; }
    void SetStatusLine(const std::string& text) override;
    void ProcessEvents() override;

private:
    IdleWork* idle_ = nullptr;
    bool verbose_ = false;
};

class PelkorApp {
public:
    // Exit status of a start that could not run a job.
    static constexpr int StartFailed = 2;

    // userDataFolder: where the user's files go (util/AppFolders.h); empty
    // means the program folder (tests that keep everything in one place).
    PelkorApp(UserInterface& ui, Clock& clock, std::string programFolder, PelsbusDriver& driver,
              std::string userDataFolder = {});
    ~PelkorApp();
    PelkorApp(const PelkorApp&) = delete;
    PelkorApp& operator=(const PelkorApp&) = delete;

    AppContext& App() { return app_; }
    TaskEngine& Engine() { return *engine_; }
    PcdConnection& Connection() { return *pcd_; }
    DdeServer& Dde() { return *dde_; }
    // Done by the event processing of every user interface and by Run's waits.
    IdleWork& Idle() { return idle_; }
    void SetOptions(const RunOptions& options);

    // The start-up sequence. False when the program is to end at once
    // (no usable start file); ExitStatus() then says how.
    bool Start(const std::string& commandText, const std::string& currentFolder);
    // "Pelkor Version x.y.zzz Started." and the start-file lines.
    void LogStart();

    // "x.y.z" of this build.
    static std::string VersionText();

    // What the "Start" button does while not connected: AutoConnectActive = 1
    // and connect. Refused (false) in a single-shot run, where it is disabled.
    bool PressStart();

    // One ConnectTimer tick.
    void Tick();
    // Runs the timer loop until the job ends, `stop` becomes true, or the
    // time of RunOptions::Seconds has passed; then closes in order.
    // Returns the exit status.
    int Run(const std::atomic<bool>& stop);

    // A close asked for by the user or by the program: refused with
    // "Shutdown not allowed." while the start file's "Shutdown" key is above
    // 0. A close because the system ends the program is never refused.
    enum class CloseReason { User, Program, System };
    bool RequestClose(CloseReason reason);
    // The "Shutdown" check of RequestClose alone: true (after the message)
    // when the close is refused.
    bool CloseRefused(CloseReason reason);
    // The [MQTT] publisher of the job, null when the start file has none.
    MqttPublisher* Mqtt() { return mqtt_.get(); }
    // Applies changed [MQTT] keys: the publisher starts anew with them.
    void RestartMqtt();
    // Disconnects, stops the DDE service and the publisher, "Stop the application.".
    void Close();

    bool Ended() const { return ended_ || engine_->ExitRequested(); }
    // Shown instead of the "No start file given" box when the start has no
    // start file (the windows show the start-info window).
    void SetStartInfo(std::function<void()> show) { startInfo_ = std::move(show); }
    // How the windows open documents and web pages (tests record instead).
    const ShellLauncher& Launcher() const { return launcher_; }
    void SetLauncher(ShellLauncher launcher) { launcher_ = std::move(launcher); }
    // The start-up's probe for the spreadsheet application (tests make it
    // report a machine without one).
    void SetExcelProbe(std::function<void(AppContext&)> probe) { excelProbe_ = std::move(probe); }
    int ExitStatus() const;

private:
    class Link;
    class Feed;
    class EditorFeed;

    // The steps of Start; a false one has ended the start (EndStart).
    bool EndStart(int status);
    void ResetForStart();
    bool FindStartFile(const std::string& commandText, const std::string& currentFolder);
    bool LoadStartFile();
    void PrepareTasks();
    void BeginReadings();
    void StartRunning();
    void EnsureUserDataFolder();
    void StartUnattended();
    void StartMqtt();
    void StopMqtt();

    RunOptions options_;
    AppContext app_;
    IdleWork idle_;
    ConnectionCaptions captions_{app_};
    std::unique_ptr<PcdConnection> pcd_;
    std::unique_ptr<DdeServer> dde_;
    std::unique_ptr<Link> link_;
    std::unique_ptr<Feed> feed_;
    std::unique_ptr<EditorFeed> editorFeed_;
    std::unique_ptr<TaskEngine> engine_;
    std::unique_ptr<MqttPublisher> mqtt_;
    bool ended_ = false;
    bool closed_ = false;
    int exitStatus_ = 0;
    bool startProblem_ = false;
    bool jobStarted_ = false;
    std::function<void()> startInfo_;
    ShellLauncher launcher_ = XdgOpenLauncher;
    std::function<void(AppContext&)> excelProbe_;
};

} // namespace pelkor
