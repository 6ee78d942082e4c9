#pragma once
// The records and services of one run, owned by the application object and
// handed by reference to every routine that needs them. Module state with a
// life of its own (connection manager, DDE server) lives in objects of those
// modules that are given this context.

#include <string>

#include "core/Clock.h"
#include "core/EventLogState.h"
#include "core/Pg5Services.h"
#include "core/Task.h"
#include "core/UserInterface.h"

namespace pelkor {

struct AppContext {
    // Without a data folder the program folder serves as both (tests).
    AppContext(UserInterface& ui, Clock& clock, std::string programFolder)
        : Ui(ui), Clk(clock), ProgramFolder(std::move(programFolder)),
          UserDataFolder(ProgramFolder) {}
    AppContext(UserInterface& ui, Clock& clock, std::string programFolder,
               std::string userDataFolder)
        : Ui(ui), Clk(clock), ProgramFolder(std::move(programFolder)),
          UserDataFolder(std::move(userDataFolder)) {}
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    TaskTable Tasks;
    AppSettings Settings;
    RunStatus Status;

    UserInterface& Ui;
    Clock& Clk;
    // Folder of the program: where it and the files it ships are; never
    // written (see util/AppFolders.h for finding shipped files).
    std::string ProgramFolder;
    // The user's data folder: default log and output folder, "Default.pelk",
    // "Command.txt", fallback of the folder pickers.
    std::string UserDataFolder;
    // State of the event log between calls (suppression, error counter).
    EventLogState Log;
    // PG5 side; null means no PG5 support is wired in.
    Pg5Services* Pg5 = nullptr;
};

} // namespace pelkor
