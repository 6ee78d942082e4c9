// Any command text must be evaluated without a fault: the result is one of
// the four outcomes, and a found start file is a path ending in ".pelk" or
// the default start file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "config/CommandLine.h"
#include "core/AppContext.h"
#include "fuzz/FuzzFolder.h"
#include "support/ScriptedUserInterface.h"
#include "util/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pelkor;
    const std::string text(reinterpret_cast<const char*>(data), size);
    // A missing start file is created; keep every file the input names inside
    // the work folder (relative names resolve there).
    if (text.find('/') != std::string::npos) return 0;
    // Fresh each time: the recorded messages would otherwise pile up.
    ScriptedUserInterface ui;
    ManualClock clock;
    AppContext app(ui, clock, FuzzFolder());
    app.Settings.LogFolder = FuzzFolder();
    CommandLineResult r = GetCommandLine(app, text, FuzzFolder() + "/work");
    if (r == CommandLineResult::Found && !EndsWithNoCase(app.Settings.StartFile, ".pelk"))
        __builtin_trap();
    if (r == CommandLineResult::Found && app.Settings.StartFile.empty()) __builtin_trap();
    return 0;
}
