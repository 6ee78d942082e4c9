#pragma once
// The text form of a resource list, as a start file holds it in Data and
// DataHead ("STN 5 R 100 [10], F 20 [16], CLK").

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelkor {

// True when item starts with "STN" (any case).
bool BeginsWithStn(std::string_view item);

// The normalised items of data, and in from for each the index of the raw
// item it came from.
std::vector<std::string> NormalisedResourceItems(const std::string& data,
                                                 std::vector<std::size_t>& from);

// ";" becomes ",", items are trimmed, lone stations ("STN 5") are joined to
// the next entry, items that cannot be entries are dropped.
std::string NormaliseResourceList(const std::string& data);
// The same, keeping heads (DataHead) item for item with the list: when it
// holds one head per item of data, the heads of dropped items are dropped.
std::string NormaliseResourceList(const std::string& data, std::string& heads);
// heads cut or padded (empty heads) to one per entry; empty stays empty.
std::string FitHeads(const std::string& heads, std::size_t entries);
// False when heads (not empty) do not line up with data's entries.
bool ResourceHeadsLineUp(const std::string& data, const std::string& heads);

} // namespace pelkor
