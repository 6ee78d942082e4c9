#pragma once
// File helpers for the configuration tests.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/TempDir.h"

namespace pelkor::test {

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string ReadFile(const std::string& path) {
    return pelkor::ReadAll(path);
}

// Files in a folder whose name starts with "." (left-over temporary files).
inline int HiddenFiles(const std::string& folder) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().front() == '.') ++n;
    return n;
}

} // namespace pelkor::test
