#pragma once

namespace pelkor {

// Day count since 30 December 1899; the fraction is the time of day.
using Date = double;

} // namespace pelkor
