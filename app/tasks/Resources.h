#pragma once
// Resource lists: the text form of what a task reads ("STN 5 R 100 [10],
// F 20 [16], CLK") and the per-entry resource table built from it.

#include <cstdint>
#include <string>
#include <string_view>

#include "config/ResourceLists.h"
#include "core/AppContext.h"
#include "core/TaskRules.h"

namespace pelkor {

// Why an entry of kind R, F or I at address with count cannot be read by the
// connection manager ("out of range (...)"), or empty. countZeroOk lets a
// stored count below 1 through (such an entry reads nothing).
std::string EntryRangeProblem(char kind, double address, double count, bool countZeroOk);
// The first entry of a list outside those limits, "R 99999 : out of range
// (...)", or empty.
std::string ResourceListProblem(const std::string& data);

// Empties the resource table of a task to one element per column
// (ResourceCount and AddressCount 0).
void ClearResourceTable(Task& task);
// Sizes the table to n entries (n >= 1), all empty.
void SizeResourceTable(Task& task, std::size_t n);

// Parses item (one normalised entry) into slot index of the task's table
// with head (the entry's part of DataHead, character 1 meaning ","), adding
// its values to AddressCount. An empty item leaves the slot untouched.
// False when a number does not fit 16 bits (address, count, station or the
// total AddressCount); the slot keeps what was set before that.
bool ParseResourceEntry(Task& task, std::size_t index, std::string_view item, std::string_view head,
                        int16_t defaultStation);

// The parsing half of SetResources for one task: normalises Data (stored
// back, DataHead with it), splits Data and DataHead and rebuilds the table.
// An entry that does not fit 16 bits or the connection manager's range is
// left empty (it reads nothing) and the later entries are parsed; then it
// returns false with "SetResources function error : Overflow in entry " +
// the first such entry in app.Status.LastErrorText.
bool ParseTaskResources(AppContext& app, int task);

// Canonical label of an entry: "R 100 [10]", "R 100" (count 0 or less), "CLK".
std::string ResourceLabel(char kind, int16_t address, int16_t count);

} // namespace pelkor
