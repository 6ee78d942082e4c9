#pragma once
// An application context for tests: scripted user interface, manual clock
// and a temporary program folder.

#include "core/AppContext.h"
#include "core/Clock.h"
#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"

namespace pelkor {

struct TestContext {
    ScriptedUserInterface ui;
    ManualClock clock{46362.5}; // 6 December 2026, 12:00
    TempDir dir;
    AppContext app{ui, clock, dir.path()};
};

} // namespace pelkor
