// JSON payload of a stored record.

#include "mqtt/MqttPayload.h"

#include <cstdio>
#include <ctime>
#include <set>
#include <vector>

#include "output/Output.h"
#include "util/DateTime.h"
#include "util/Text.h"

namespace pelkor {

std::string MqttTaskTopic(std::string_view prefix, int task) {
    return std::string(prefix) + "/task/" + std::to_string(task);
}

std::string MqttStatusTopic(std::string_view prefix) {
    return std::string(prefix) + "/status";
}

std::string IsoLocalTime(Date stamp) {
    const CivilTime c = ToCivil(stamp);
    std::tm tm{};
    tm.tm_year = c.Year - 1900;
    tm.tm_mon = c.Month - 1;
    tm.tm_mday = c.Day;
    tm.tm_hour = c.Hour;
    tm.tm_min = c.Minute;
    tm.tm_sec = c.Second;
    tm.tm_isdst = -1;
    // mktime settles whether summer time applies and gives its offset.
    long offset = 0;
    if (std::mktime(&tm) != static_cast<std::time_t>(-1)) offset = tm.tm_gmtoff;
    const char sign = offset < 0 ? '-' : '+';
    const long a = offset < 0 ? -offset : offset;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", c.Year, c.Month,
                  c.Day, c.Hour, c.Minute, c.Second, sign, a / 3600, (a / 60) % 60);
    return text;
}

namespace {

// Length of the UTF-8 sequence at p, 0 when it is not one.
std::size_t Utf8Length(std::string_view s, std::size_t p) {
    const auto b = static_cast<unsigned char>(s[p]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || p + n > s.size() || (n == 2 && b < 0xC2)) return 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[p + i]) >> 6) != 2) return 0;
    return n;
}

bool IsJsonNumber(std::string_view t) {
    std::size_t i = 0;
    if (i < t.size() && t[i] == '-') ++i;
    if (i == t.size() || t[i] < '0' || t[i] > '9') return false;
    if (t[i] == '0' && i + 1 < t.size() && t[i + 1] >= '0' && t[i + 1] <= '9') return false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9')
        ++i;
    return i == t.size();
}

std::string JsonValue(const std::string& text) {
    if (text.empty()) return "null";
    return IsJsonNumber(text) ? text : JsonString(text);
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t p = 0; p < text.size();) {
        const auto b = static_cast<unsigned char>(text[p]);
        const std::size_t n = Utf8Length(text, p);
        if (n == 0) {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
            ++p;
            continue;
        }
        if (b == '"' || b == '\\') {
            out += '\\';
            out += static_cast<char>(b);
        } else if (b < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", b);
            out += esc;
        } else {
            out.append(text.substr(p, n));
        }
        p += n;
    }
    return out + "\"";
}

std::string BuildMqttPayload(const ReadingDoneEvent& event) {
    const Task& t = *event.TaskRecord;
    const std::vector<ValueHead> heads = ValueHeads(t);
    const std::string joined = JoinEntryValues(t);
    const std::vector<std::string> values =
        joined.empty() ? std::vector<std::string>{} : Split(joined, ';');
    std::string out = "{\"task\":" + std::to_string(event.TaskNumber) + ",\"time\":\"" +
                      IsoLocalTime(event.Stamp) + "\",\"values\":{";
    std::set<std::string> used;
    for (std::size_t i = 0; i < heads.size(); ++i) {
        const std::string base = Trim(heads[i].Text).empty() ? heads[i].Label : heads[i].Text;
        std::string key = base;
        for (int k = 2; !used.insert(key).second; ++k)
            key = base + " (" + std::to_string(k) + ")";
        if (i > 0) out += ',';
        out +=
            JsonString(key) + ":" + JsonValue(i < values.size() ? Trim(values[i]) : std::string());
    }
    out += "},\"missing\":" + std::to_string(t.ReadMissing) +
           ",\"record\":" + JsonString(WrittenRecord(t)) + "}";
    return out;
}

} // namespace pelkor
