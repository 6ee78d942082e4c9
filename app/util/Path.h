#pragma once
// Joining a folder and a name, the one place that decides about separators.

#include <string>

namespace pelkor {

// folder + "/" + name; no second separator when folder already ends in "/"
// or "\" (start files written on Windows), just name when folder is empty.
std::string JoinPath(const std::string& folder, const std::string& name);

} // namespace pelkor
