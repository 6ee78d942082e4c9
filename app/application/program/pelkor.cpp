// pelkor: runs the acquisition job of a start file.
//
//   pelkor [--headless] [--seconds N] [--verbose] [--start] [--dde-socket PATH] <start file>.pelk
//   PG5=nn pelkor --choose [<start file>.pelk] PG5=nn     (the menu entry) pelkor --init
//
// With a display the job runs in the main window. A hidden single-shot job,
// --headless, or no display at all runs without windows: a single-shot job
// runs once and ends; any other job runs its schedule until SIGINT/SIGTERM
// or --seconds ends it with an orderly close.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "application/PelkorApp.h"
#include "config/CommandLine.h"
#include "config/JobFiles.h"
#include "config/StartFile.h"
#include "core/Clock.h"
#include "dde/DdeServer.h"
#include "pcd/PelsbusDriver.h"
#include "util/AppFolders.h"
#include "util/Number.h"
#include "util/Text.h"

#ifdef PELKOR_WITH_QT
#include <QApplication>

#include "ui/qt/RunWindowed.h"
#endif

namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnSignal(int) {
    g_stop.store(true);
}

const char* const Usage =
    "Usage: pelkor [options] <start file>.pelk PG5=nn\n"
    "Runs the acquisition tasks of a start file in the main window. Without a\n"
    "display, with --headless, or for a hidden single-shot job it runs without\n"
    "windows: a single-shot job reads each task once and ends (exit status 0\n"
    "when everything was read and stored); a continuous job runs until\n"
    "interrupted (Ctrl-C, SIGTERM) or until --seconds have passed.\n"
    "Options:\n"
    "  --seconds N        stop after N seconds with an orderly close\n"
    "  --verbose, -v      print every event line to standard output\n"
    "  --dde-socket PATH  where the DDE service listens (default: $PELKOR_DDE_SOCKET,\n"
    "                     else $XDG_RUNTIME_DIR/PKDDE, else /tmp/PKDDE-<uid>)\n"
    "  --headless         no windows, even with a display\n"
    "  --start            press Start at once (for start files with AutoConnect=0)\n"
    "  --choose           without a start file, open the window that picks one\n"
    "                     (recent files, Open..., New... from a template)\n"
    "  --init             create the data folder, print its path and end\n"
    "  --version          print the version and end\n"
    "Files: the event log, output files, Default.pelk and Command.txt are in\n"
    "$XDG_DATA_HOME/pelkor (default ~/.local/share/pelkor) unless the start file\n"
    "names other folders.\n"
    "Serial port n is the device named by $PELSBUS_COMn.\n";

// The installed layout: shipped files and libPelsbus.so beside the program
// or under its prefix; the user's files in the user's data folder.
struct Folders {
    std::string Program = pelkor::ExecutableFolder();
    std::vector<std::string> Libraries = pelkor::ShippedLibraryFolders(Program);
    std::string UserData = pelkor::UserDataFolder();
};

// ---- windows or not ---------------------------------------------------------

bool Set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

bool DisplayAvailable() {
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

// True when this run gets windows; says so in one line when it asked for
// them and there is no display.
// A hidden single shot is recognised from the command text the run will use
// (Command.txt wins over the arguments), before any display is touched.
bool UseWindows(const pelkor::RunOptions& options, const std::string& commandText,
                const Folders& folders, const std::string& cwd) {
#ifdef PELKOR_WITH_QT
    if (options.Headless || pelkor::HiddenSingleShotCommand(folders.UserData, commandText, cwd))
        return false;
    if (!DisplayAvailable()) {
        std::cerr << "pelkor: no display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset); "
                     "running without windows.\n";
        return false;
    }
    return true;
#else
    (void)options, (void)commandText, (void)folders, (void)cwd;
    return false;
#endif
}

int RunWithWindows(int argc, char** argv, const pelkor::RunOptions& options,
                   const std::vector<std::string>& words, const Folders& folders) {
#ifdef PELKOR_WITH_QT
    int qtArgc = 1; // the program's own options are not Qt's
    char* qtArgv[] = {argv[0], nullptr};
    (void)argc;
    QApplication qt(qtArgc, qtArgv);
    pelkor::WindowedRun run;
    run.Options = options;
    run.Words = words;
    run.Stop = &g_stop;
    run.ProgramFolder = folders.Program;
    run.LibraryFolders = folders.Libraries;
    run.UserDataFolder = folders.UserData;
    return pelkor::RunWindowed(run);
#else
    (void)argc, (void)argv, (void)options, (void)words, (void)folders;
    return pelkor::PelkorApp::StartFailed;
#endif
}

} // namespace

int main(int argc, char** argv) {
    using namespace pelkor;
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    RunOptions options;
    std::vector<std::string> rest;
    bool help = false;
    std::string error;
    if (!ParseRunOptions(args, options, rest, help, error)) {
        std::cerr << "pelkor: " << error << "\n" << Usage;
        return PelkorApp::StartFailed;
    }
    if (help) {
        std::cout << Usage;
        return 0;
    }
    if (options.Version) {
        std::cout << "pelkor " << PelkorApp::VersionText() << "\n";
        return 0;
    }

    if (options.Init) {
        const std::string data = UserDataFolder();
        if (!InitDataFolder(data, error)) {
            std::cerr << "pelkor: " << error << "\n";
            return PelkorApp::StartFailed;
        }
        std::cout << data << "\n";
        return 0;
    }

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a DDE client that goes away must not end us

    const Folders folders;
    std::error_code ec;
    const std::string cwd = std::filesystem::current_path(ec).string();
    const std::string commandText = CommandTextFromArgs(rest);
    if (UseWindows(options, commandText, folders, cwd))
        return RunWithWindows(argc, argv, options, rest, folders);

    HeadlessUserInterface ui;
    ui.SetVerbose(options.Verbose);
    SystemClock clock;
    DlPelsbus driver(folders.Libraries);
    PelkorApp app(ui, clock, folders.Program, driver, folders.UserData);
    app.SetOptions(options);
    ui.SetIdleWork(&app.Idle());

    if (!app.Start(commandText, cwd)) return app.ExitStatus();
    return app.Run(g_stop);
}
