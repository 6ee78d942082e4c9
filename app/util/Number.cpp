#include "util/Number.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace pelkor {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the number at the start of s (sign, digits, fraction, exponent),
// 0 when there is none. digits tells whether any mantissa digit was seen.
std::size_t NumberLength(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t mantissa = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++mantissa;
    if (i < s.size() && s[i] == '.') {
        std::size_t j = i + 1;
        std::size_t frac = 0;
        while (j < s.size() && IsDigit(s[j])) ++j, ++frac;
        if (mantissa + frac > 0) {
            i = j;
            mantissa += frac;
        }
    }
    if (mantissa == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        std::size_t exp = 0;
        while (j < s.size() && IsDigit(s[j])) ++j, ++exp;
        if (exp > 0) i = j;
    }
    return i;
}

double Convert(std::string_view s) {
    std::string copy(s);  // strtod needs a terminated text
    double v = std::strtod(copy.c_str(), nullptr);
    if (!std::isfinite(v)) return 0;
    return v;
}

}  // namespace

double LeadingNumber(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) ++start;
    std::string_view rest = text.substr(start);
    std::size_t n = NumberLength(rest);
    return n ? Convert(rest.substr(0, n)) : 0.0;
}

bool IsNumeric(std::string_view text) {
    std::size_t a = 0, b = text.size();
    while (a < b && IsBlank(text[a])) ++a;
    while (b > a && IsBlank(text[b - 1])) --b;
    std::string_view core = text.substr(a, b - a);
    if (core.empty()) return false;
    std::size_t n = NumberLength(core);
    return n == core.size() && std::isfinite(std::strtod(std::string(core).c_str(), nullptr));
}

std::string NumberText(double value) {
    if (!std::isfinite(value)) return "0";
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", value);
        return std::string(buf) == "-0" ? "0" : buf;
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    return buf;
}

bool ToInt16(double value, int16_t& out) {
    if (!std::isfinite(value)) return false;
    double r = std::nearbyint(value);
    if (r < std::numeric_limits<int16_t>::min() || r > std::numeric_limits<int16_t>::max()) return false;
    out = static_cast<int16_t>(r);
    return true;
}

bool ToInt32(double value, int32_t& out) {
    if (!std::isfinite(value)) return false;
    double r = std::nearbyint(value);
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max()) return false;
    out = static_cast<int32_t>(r);
    return true;
}

}  // namespace pelkor
