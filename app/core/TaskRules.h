#pragma once
// Small rules about the shared records that several layers apply.

#include <cstdint>

#include "core/AppContext.h"

namespace pelkor {

// Any Settings but 1 means the task uses its own station (SBus, Auto,
// IPAddress) instead of the common one.
bool HasOwnStation(const Task& task);

// The station an entry without a station of its own (and the first entry)
// is read from: the task's SBus when it has its own settings, else the
// common station.
int16_t DefaultStation(const AppSettings& settings, const Task& task);

// Every field zero or empty (the record's declared defaults are task 1's):
// tasks other than 1 are loaded from a start file into this, so a key missing
// from their section leaves its field at zero.
void ZeroTaskRecord(Task& t);

} // namespace pelkor
