#pragma once
// Shared set-up of the connection-layer tests: a test context with the event
// log on, and tasks whose resource tables name given stations.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "log/LogEvents.h"
#include "support/ResourceEntries.h"
#include "support/TestContext.h"

namespace pelkor::test {

constexpr int Inherited = -1;

// Resource entries of a task naming these stations (Inherited: the entry
// takes the connection's station).
inline void SetTaskStations(Task& t, const std::vector<int>& stations) {
    const std::size_t n = stations.size();
    t.ResourceCount = static_cast<int16_t>(n);
    ResourceEntry entry = MakeEntry('R', 0, 0);
    entry.StationFailed = true;
    t.Resources.assign(n, entry);
    for (std::size_t i = 0; i < n; ++i) {
        if (stations[i] == Inherited)
            t.Resources[i].StationInherited = true;
        else
            t.Resources[i].Station = static_cast<int16_t>(stations[i]);
    }
}

inline void UseLog(AppContext& app, const std::string& folder) {
    app.Settings.LogUsed = 1;
    SetLogFolder(app.Settings, folder);
}

inline std::string ReadLog(const AppContext& app) {
    std::ifstream in(app.Settings.LogFile, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto p = text.find(part); p != std::string::npos; p = text.find(part, p + part.size()))
        ++n;
    return n;
}

} // namespace pelkor::test
