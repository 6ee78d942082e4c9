// Any command text must be evaluated without a fault: the result is one of
// the four outcomes, and a found start file is a path ending in ".pelk" or
// the default start file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/CommandLine.h"
#include "support/ScriptedUserInterface.h"
#include "tasks/AppContext.h"
#include "util/Text.h"

namespace {

std::string Folder() {
    static std::string folder = [] {
        char tmpl[] = "/tmp/pelkor-fuzz-cmd-XXXXXX";
        const char* made = ::mkdtemp(tmpl);
        return std::string(made ? made : "/tmp");
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pelkor;
    const std::string text(reinterpret_cast<const char*>(data), size);
    static ScriptedUserInterface ui;
    static ManualClock clock;
    static AppContext app(ui, clock, Folder());
    app.Settings = AppSettings();
    app.Settings.LogFolder = Folder();
    CommandLineResult r = GetCommandLine(app, text, Folder() + "/work");
    if (r == CommandLineResult::Found && !EndsWithNoCase(app.Settings.StartFile, ".pelk")) __builtin_trap();
    if (r == CommandLineResult::Found && app.Settings.StartFile.empty()) __builtin_trap();
    ui.ClearMessages();
    return 0;
}
