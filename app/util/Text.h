#pragma once
// Small text helpers shared by every module. Case-insensitive operations fold
// ASCII letters only, as the keys and words they compare are ASCII.

#include <string>
#include <string_view>
#include <vector>

namespace pelkor {

// Removes blanks (space and tab) at both ends / the start / the end.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
bool ContainsNoCase(std::string_view text, std::string_view part);
// Position of part in text from position from (0-based), or npos.
std::size_t FindNoCase(std::string_view text, std::string_view part, std::size_t from = 0);

// Splits at every separator; an empty text gives one empty item, "a,,b"
// gives three items. Items are not trimmed.
std::vector<std::string> Split(std::string_view text, char separator);
std::vector<std::string> Split(std::string_view text, std::string_view separator);

// Joins items with the separator between them.
std::string Join(const std::vector<std::string>& items, std::string_view separator);

// Replaces every occurrence of from (not empty) by to.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

} // namespace pelkor
