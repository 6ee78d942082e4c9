#pragma once
// The windowed program: one QApplication, the main window over the
// application object, the start info when there is no start file. The
// program's main() calls this when the run gets windows.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include <QIcon>

#include "application/PelkorApp.h"

namespace pelkor {

class ChooseWindow;
class MainWindow;

struct WindowedRun {
    RunOptions Options;
    // The command text's words (start file, "PG5=").
    std::vector<std::string> Words;
    // Set from a signal handler: the system ends the program (never refused).
    const std::atomic<bool>* Stop = nullptr;
    // Program folder (the help page, the templates, libPelsbus.so).
    std::string ProgramFolder;
    // Where libPelsbus.so is looked for (empty: the program folder).
    std::vector<std::string> LibraryFolders;
    // The user's data folder (empty: the program folder).
    std::string UserDataFolder;
    // Answers the message boxes instead of showing them (in-process tests).
    UserInterface* Messages = nullptr;
    // Runs once the main window is shown (in-process tests script it).
    std::function<void(PelkorApp&, MainWindow&)> OnShown;
    // Runs before frmChoose is shown (in-process tests answer its questions).
    std::function<void(ChooseWindow&)> OnChoose;
};

// The shipped icon every window shows.
QIcon ProgramIcon(const std::string& programFolder);

// Needs a QApplication already constructed. Returns the exit status.
int RunWindowed(const WindowedRun& run);

} // namespace pelkor
