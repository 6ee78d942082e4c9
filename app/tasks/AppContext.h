#pragma once
// The records and services of one run, owned by the application object and
// handed by reference to every routine that needs them. Module state with a
// life of its own (connection manager, DDE server) lives in objects of those
// modules that are given this context.

#include <string>

#include "tasks/EventLogState.h"
#include "tasks/Pg5Services.h"
#include "tasks/Task.h"
#include "ui/UserInterface.h"
#include "util/Clock.h"

namespace pelkor {

struct AppContext {
    AppContext(UserInterface& ui, Clock& clock, std::string programFolder)
        : Ui(ui), Clk(clock), ProgramFolder(std::move(programFolder)) {}
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    TaskTable Tasks;
    AppSettings Settings;
    RunStatus Status;

    UserInterface& Ui;
    Clock& Clk;
    // Folder of the program (default for the log, the output and start files).
    std::string ProgramFolder;
    // State of the event log between calls (suppression, error counter).
    EventLogState Log;
    // PG5 side; null means no PG5 support is wired in.
    Pg5Services* Pg5 = nullptr;
};

}  // namespace pelkor
