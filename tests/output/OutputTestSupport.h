#pragma once
// Resource tables and file helpers for the output tests.

#include <fstream>
#include <sstream>
#include <string>

#include "support/TempDir.h"
#include <vector>

#include "core/Task.h"

namespace pelkor::testing {

struct Entry {
    char Kind;
    int Address;
    int Count;
    std::string Head;
    std::string Values;  // as the reader leaves it: ";v1;v2"
};

inline void SetEntries(Task& t, const std::vector<Entry>& entries) {
    t.ResourceCount = static_cast<int16_t>(entries.size());
    t.ResKind.clear();
    t.ResAddress.clear();
    t.ResCount.clear();
    t.ResHead.clear();
    t.ResValues.clear();
    for (const Entry& e : entries) {
        t.ResKind.push_back(e.Kind);
        t.ResAddress.push_back(static_cast<int16_t>(e.Address));
        t.ResCount.push_back(static_cast<int16_t>(e.Count));
        t.ResHead.push_back(e.Head);
        t.ResValues.push_back(e.Values);
    }
    if (entries.empty()) {
        t.ResKind = {'\0'};
        t.ResAddress = {0};
        t.ResCount = {0};
        t.ResHead = {""};
        t.ResValues = {""};
    }
}

inline std::string ReadFile(const std::string& path) { return pelkor::ReadAll(path); }

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace pelkor::testing
