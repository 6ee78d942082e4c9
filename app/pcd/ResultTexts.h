#pragma once
// Texts for the result codes of the two drivers.

#include <cstdint>
#include <optional>
#include <string>

#include "core/Task.h"

namespace pelkor {

// The built-in library's data-call codes above 0 are shifted by this, so
// they cannot be mistaken for its open and parameter codes below it.
inline constexpr int32_t DataCodeShift = 100;
// A built-in status read on a port that failed (a library code below 0).
inline constexpr int32_t FailedPortCode = 99;
// No PG5 library to call: a code above 0, so it never reads as connected
// (PG5's own "PCD_CANTOPEN").
inline constexpr int32_t Pg5NotAvailable = 17;

// Text of a built-in library code (codes from 100 up are data-call codes
// after the +100 shift); unknown codes give "Unknow error : " + code.
std::string PcdDllText(int32_t code);
// Stores PcdDllText(code) in status.LastErrorText.
void PcdDllErrorText(RunStatus& status, int32_t code);

// Text of a PG5 library code, none for a code outside its table.
std::optional<std::string> ScommText(int32_t code);
// Stores the text in status.LastErrorText; an unknown code leaves it as it was.
void ScommErrorText(RunStatus& status, int32_t code);

} // namespace pelkor
