#pragma once
// The main window over a real Qt user interface whose message boxes are
// answered by a script, in a fresh folder with a clock that moves only when
// told (or when the program waits).

#include <fstream>
#include <string>

#include "application/PelkorApp.h"
#include "core/Clock.h"
#include "pcd/PcdConnection.h"
#include "pcd/PelsbusDriver.h"
#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"
#include "ui/qt/QtUserInterface.h"
#include "ui/qt/dialogs/MainWindow.h"

namespace pelkor {

struct MainWindowTestApp {
    explicit MainWindowTestApp(PelsbusDriver* fake = nullptr)
        : driver({PELKOR_BINARY_DIR "/bin"}), app(ui, clock, dir.path(), fake ? *fake : driver),
          window(app, ui) {
        ui.SetMainWindow(&window);
        app.SetLauncher([this](const ShellRequest& r) {
            opened.push_back(r);
            return 42;
        });
    }
    TempDir dir;
    ScriptedUserInterface script;
    QtUserInterface ui{&script};
    ManualClock clock{45000.5}; // 15 March 2023, 12:00
    DlPelsbus driver;
    PelkorApp app;
    MainWindow window;
    std::vector<ShellRequest> opened;

    // A start file with one task per Data text; `pelkor` adds [Pelkor] keys.
    std::string StartFile(const std::string& pelkor,
                          std::initializer_list<std::string> tasks = {"R 0 [2]"},
                          const std::string& type = "None", bool autoConnect = false) {
        std::string text = "[Pelkor]\nVersion=3\nLogFolder=" + dir.path() +
                           "\nLogUsed=1\nTask=" + std::to_string(tasks.size()) + "\n" + pelkor +
                           "\n[Connection]\nAutoConnect=" + (autoConnect ? "1" : "0") +
                           "\nStation=1\nDLL=0\n";
        int n = 0;
        for (const std::string& data : tasks) {
            ++n;
            text += "[Task" + std::to_string(n) +
                    "]\nSettings=1\nIntervalUnit=1\nReadInterval=15\nData=" + data +
                    "\nFileType=" + (n == 3 ? type : std::string("None")) +
                    "\nOutFolder=" + dir.path() + "\nFileName=T" + std::to_string(n) + "\n";
        }
        const std::string path = dir.file("job.pelk");
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    bool Load(const std::string& start) { return window.Load(start + " PG5=20", dir.path()); }
    std::string Log() { return ReadAll(dir.file("Pelkor.txt")); }
};

} // namespace pelkor
