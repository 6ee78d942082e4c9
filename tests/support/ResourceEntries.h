#pragma once
// A resource entry in one expression, for tests and benchmarks that set a
// task's table by hand.

#include <cstdint>
#include <string>
#include <utility>

#include "core/Task.h"

namespace pelkor {

inline ResourceEntry MakeEntry(char kind, int count, int address, std::string head = {},
                               std::string values = {}) {
    ResourceEntry e;
    e.Kind = kind;
    e.Count = static_cast<int16_t>(count);
    e.Address = static_cast<int16_t>(address);
    e.Head = std::move(head);
    e.Values = std::move(values);
    return e;
}

} // namespace pelkor
