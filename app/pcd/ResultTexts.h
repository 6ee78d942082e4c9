#pragma once
// Texts for the result codes of the two drivers.

#include <cstdint>
#include <optional>
#include <string>

#include "core/Task.h"

namespace pelkor {

// Text of a built-in library code (codes from 100 up are data-call codes
// after the +100 shift); unknown codes give "Unknow error : " + code.
std::string PcdDllText(int32_t code);
// Stores PcdDllText(code) in status.LastErrorText.
void PcdDllErrorText(RunStatus& status, int32_t code);

// Text of a PG5 library code, none for a code outside its table.
std::optional<std::string> ScommText(int32_t code);
// Stores the text in status.LastErrorText; an unknown code leaves it as it was.
void ScommErrorText(RunStatus& status, int32_t code);

}  // namespace pelkor
