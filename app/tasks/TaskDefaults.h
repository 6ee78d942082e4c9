#pragma once
// Defaults of the shared records and the composite values of start-file keys.

#include <cstdint>
#include <functional>
#include <string>

#include "core/AppContext.h"

namespace pelkor {

// Resets one task to its defaults; keeps Disabled, IPAddress, SBus, Auto,
// Title, DataSheet and the four headline texts. A new task takes the output
// folder of the task before it, task 1 (or an empty one) the program folder.
// A task number outside 0..MaxTasks throws std::out_of_range.
void SetDefaultTaskParameters(AppContext& app, int task);

// Every field zero or empty (the record's declared defaults are task 1's):
// tasks other than 1 are loaded from a start file into this, so a key missing
// from their section leaves its field at zero.
void ZeroTaskRecord(Task& t);

// Resets AppSettings, prepares task NextTask and selects the newest installed
// PG5 version (13..20, through app.Pg5; none when app.Pg5 is null).
// The connection manager's current station belongs to the connection layer:
// pass resetCurrentStation to have it set to 0 here (the connection manager
// provides it); without it the caller resets that station itself.
void DefaultParameters(AppContext& app, const std::function<void()>& resetCurrentStation = {});

// The PG5 version selection alone (last step of DefaultParameters).
void SelectPg5Version(AppContext& app);

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

}  // namespace pelkor
