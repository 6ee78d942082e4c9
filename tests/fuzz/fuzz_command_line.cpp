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
#include "support/ScriptedUserInterface.h"
#include "tasks/AppContext.h"
#include "util/Text.h"

namespace {

// Memory-backed when possible, as every start-file write is flushed to disk;
// removed at exit. Never destroyed, so the exit handler can still use it.
const std::string& Folder() {
    static const std::string* folder = [] {
        char shm[] = "/dev/shm/pelkor-fuzz-cmd-XXXXXX";
        char tmp[] = "/tmp/pelkor-fuzz-cmd-XXXXXX";
        const char* made = ::mkdtemp(shm);
        if (!made) made = ::mkdtemp(tmp);
        if (!made) ::abort();
        auto* path = new std::string(made);
        std::atexit([] { std::filesystem::remove_all(Folder()); });
        return path;
    }();
    return *folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pelkor;
    const std::string text(reinterpret_cast<const char*>(data), size);
    // A missing start file is created; keep every file the input names inside
    // the work folder (relative names resolve there).
    if (text.find('/') != std::string::npos) return 0;
    // Fresh each time: the recorded messages would otherwise pile up.
    ScriptedUserInterface ui;
    ManualClock clock;
    AppContext app(ui, clock, Folder());
    app.Settings.LogFolder = Folder();
    CommandLineResult r = GetCommandLine(app, text, Folder() + "/work");
    if (r == CommandLineResult::Found && !EndsWithNoCase(app.Settings.StartFile, ".pelk")) __builtin_trap();
    if (r == CommandLineResult::Found && app.Settings.StartFile.empty()) __builtin_trap();
    return 0;
}
