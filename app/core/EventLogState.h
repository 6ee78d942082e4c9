#pragma once
// What LogEvent remembers between calls.

#include <cstdint>
#include <string>

namespace pelkor {

struct EventLogState {
    std::string LastInformation; // repeated information lines are not written twice
    int32_t ErrorCounter = 0;
};

} // namespace pelkor
