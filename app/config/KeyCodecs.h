#pragma once
// The composite values of start-file keys.

#include <cstdint>
#include <string>

namespace pelkor {

// Comma-separated field index (from 0) of text as a number (leading-number
// parse); when text is empty or has no such field, the number of def (0 when
// def is empty).
double GetNumberField(int index, const std::string& text, const std::string& def);
// The same field with blanks around it removed; def when missing.
std::string GetTextField(int index, const std::string& text, const std::string& def);

// Value of a composite headline key ("LineCount", "TimeStamp", "MissValues",
// "TaskNumber"): flag, comma, text ("1,Time").
std::string HeadlineKeyValue(int16_t flag, const std::string& text);
// Reads it back: flag from field 0, text from field 1 trimmed (a text with a
// comma keeps the part before it); an empty value gives 0 and "".
void ParseHeadlineKey(const std::string& value, int16_t& flag, std::string& text);

} // namespace pelkor
