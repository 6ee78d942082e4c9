#pragma once
// The message of one stored record: topic "<prefix>/task/<n>" and the JSON
// payload {"task":n,"time":"<ISO 8601 with offset>","values":{"<head>":v,...},
// "missing":k,"record":"<the line as written>"}. Pure: no clock, no network.

#include <string>
#include <string_view>

#include "tasks/ReadingEvents.h"

namespace pelkor {

std::string MqttTaskTopic(std::string_view prefix, int task);
std::string MqttStatusTopic(std::string_view prefix);

// Local time of the stamp as "yyyy-mm-ddThh:mm:ss+hh:mm".
std::string IsoLocalTime(Date stamp);

// A JSON string literal, quotes included; bytes that are not UTF-8 are taken
// as Latin-1 so the payload stays valid JSON.
std::string JsonString(std::string_view text);

// Value keys: the head texts of the task's head line, else the value's
// resource label; a key already used gets " (2)", " (3)", ... Values are
// numbers when they read as one, null when not obtained, else strings.
std::string BuildMqttPayload(const ReadingDoneEvent& event);

} // namespace pelkor
