// Any bytes must read as a profile file without a fault; writing the text
// back and reading it again changes nothing, a key just set reads back, a
// removed section is gone, and a start file made of those bytes loads or is
// refused cleanly.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/PrivateProfile.h"
#include "config/StartFile.h"
#include "core/AppContext.h"
#include "fuzz/FuzzFolder.h"
#include "support/ScriptedUserInterface.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pelkor;
    const std::string text(reinterpret_cast<const char*>(data), size);
    ProfileDocument doc = ProfileDocument::Parse(text);

    const std::string once = doc.Text();
    ProfileDocument again = ProfileDocument::Parse(once);
    if (again.Text() != once) __builtin_trap();
    for (const std::string& section : doc.SectionNames()) {
        for (const auto& [key, value] : doc.SectionEntries(section)) {
            if (doc.Get(section, key) != value || again.Get(section, key) != value)
                __builtin_trap();
            if (value.size() > ProfileValueLimit) __builtin_trap();
        }
    }

    std::vector<std::string> names = doc.SectionNames();
    const std::string section = names.empty() ? std::string("Pelkor") : names.front();
    if (doc.Set(section, "FuzzKey", "fuzz value")) {
        if (doc.Get(section, "fuzzkey") != "fuzz value") __builtin_trap();
        if (ProfileDocument::Parse(doc.Text()).Get(section, "FUZZKEY") != "fuzz value")
            __builtin_trap();
    }
    doc.RemoveSection(section);
    if (doc.HasSection(section)) __builtin_trap();

    // The same bytes as a start file.
    // Fresh each time: the recorded messages would otherwise pile up.
    ScriptedUserInterface ui;
    ManualClock clock;
    AppContext app(ui, clock, FuzzFolder());
    const std::string file = FuzzFolder() + "/fuzz.pelk";
    // The log must stay in the work folder, whatever folder the input names.
    ProfileDocument start = ProfileDocument::Parse(text);
    start.Set("Pelkor", "LogFolder", FuzzFolder());
    const std::string startText = start.Text();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << startText;
    }
    // Reading one key straight from the file follows the same rules.
    for (const std::string& sec : start.SectionNames())
        for (const auto& [key, value] : ProfileDocument::Parse(startText).SectionEntries(sec))
            if (ReadProfileString(file, sec, key) != value) __builtin_trap();
    app.Settings.StartFile = file;
    app.Settings.LogFolder = FuzzFolder();
    ReadPelkorStartFile(app);
    if (app.Settings.TaskCount < 1 || app.Settings.TaskCount > MaxTasks) __builtin_trap();
    return 0;
}
