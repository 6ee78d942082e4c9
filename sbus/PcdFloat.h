#pragma once
// PCD float (24-bit mantissa, sign, excess-64 exponent) <-> IEEE single.

#include <cstdint>

namespace pelsbus {

uint32_t IeeeToPcd(float value);
float PcdToIeee(uint32_t pcd);
// Status: 0 converted (or zero), 1 too large, 2 too small, 3 not a number.
uint32_t DecimalToPcd(const char* text, int32_t& status);

} // namespace pelsbus
