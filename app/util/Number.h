#pragma once
// Numbers held as text.

#include <cstdint>
#include <string>
#include <string_view>

namespace pelkor {

// The leading number of a text: leading blanks are skipped, an optional sign,
// digits, a decimal point and an exponent are taken as far as they go, and
// reading stops at the first character that cannot continue the number.
// A text that does not start with a number gives 0. The decimal separator
// is a point in every locale, here and in NumberText.
double LeadingNumber(std::string_view text);

// True when the whole text, blanks around it aside, is one decimal number
// (sign, digits, optional fraction and exponent). An empty text is not.
bool IsNumeric(std::string_view text);

// Decimal text of a number as the program writes it: integers without a
// fraction ("5", "-12"), others with up to 15 significant digits.
std::string NumberText(double value);

// Rounds to the nearest integer (halves to even) and checks the 16-bit range.
// False, leaving out unchanged, when the value does not fit (overflow).
bool ToInt16(double value, int16_t& out);
bool ToInt32(double value, int32_t& out);

} // namespace pelkor
