#include "config/KeyCodecs.h"

#include <vector>

#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

std::string GetTextField(int index, const std::string& text, const std::string& def) {
    if (text.empty() || index < 0) return def;
    std::vector<std::string> fields = Split(text, ',');
    if (static_cast<std::size_t>(index) >= fields.size()) return def;
    return Trim(fields[index]);
}

double GetNumberField(int index, const std::string& text, const std::string& def) {
    if (!text.empty() && index >= 0) {
        std::vector<std::string> fields = Split(text, ',');
        if (static_cast<std::size_t>(index) < fields.size()) return LeadingNumber(fields[index]);
    }
    return def.empty() ? 0 : LeadingNumber(def);
}

std::string HeadlineKeyValue(int16_t flag, const std::string& text) {
    return std::to_string(flag) + "," + text;
}

void ParseHeadlineKey(const std::string& value, int16_t& flag, std::string& text) {
    int16_t f = 0;
    if (!ToInt16(GetNumberField(0, value, ""), f)) f = 1; // an absurd number still means "on"
    flag = f;
    text = GetTextField(1, value, "");
}

} // namespace pelkor
