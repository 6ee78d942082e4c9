#pragma once
// Defaults of the shared records.

#include <cstdint>
#include <functional>
#include <string>

#include "config/KeyCodecs.h"
#include "core/AppContext.h"
#include "core/TaskRules.h"

namespace pelkor {

// Resets one task to its defaults; keeps Disabled, IPAddress, SBus, Auto,
// Title, DataSheet and the four headline texts. A new task takes the output
// folder of the task before it, task 1 (or an empty one) the program folder.
// A task number outside 0..MaxTasks throws std::out_of_range.
void SetDefaultTaskParameters(AppContext& app, int task);

// Resets AppSettings, prepares task NextTask and selects the newest installed
// PG5 version (13..20, through app.Pg5; none when app.Pg5 is null).
// The connection manager's current station belongs to the connection layer:
// pass resetCurrentStation to have it set to 0 here (the connection manager
// provides it); without it the caller resets that station itself.
void DefaultParameters(AppContext& app, const std::function<void()>& resetCurrentStation = {});

// The PG5 version selection alone (last step of DefaultParameters).
void SelectPg5Version(AppContext& app);

} // namespace pelkor
