#pragma once
// Resource tables and file helpers for the output tests.

#include <fstream>
#include <sstream>
#include <string>

#include "support/ResourceEntries.h"
#include "support/TempDir.h"
#include <vector>

#include "core/Task.h"

namespace pelkor::testing {

struct Entry {
    char Kind;
    int Address;
    int Count;
    std::string Head;
    std::string Values; // as the reader leaves it: ";v1;v2"
};

inline void SetEntries(Task& t, const std::vector<Entry>& entries) {
    t.ResourceCount = static_cast<int16_t>(entries.size());
    t.Resources.clear();
    for (const Entry& e : entries)
        t.Resources.push_back(MakeEntry(e.Kind, e.Count, e.Address, e.Head, e.Values));
    if (entries.empty()) t.Resources = {ResourceEntry{}};
}

inline std::string ReadFile(const std::string& path) {
    return pelkor::ReadAll(path);
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace pelkor::testing
