#include "util/Number.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>
#include <system_error>

namespace pelkor {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the number at the start of s (sign, digits, fraction, exponent),
// 0 when there is none. digits tells whether any mantissa digit was seen.
std::size_t NumberLength(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t mantissa = 0;
    while (i < s.size() && IsDigit(s[i]))
        ++i, ++mantissa;
    if (i < s.size() && s[i] == '.') {
        std::size_t j = i + 1;
        std::size_t frac = 0;
        while (j < s.size() && IsDigit(s[j]))
            ++j, ++frac;
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
        while (j < s.size() && IsDigit(s[j]))
            ++j, ++exp;
        if (exp > 0) i = j;
    }
    return i;
}

// A number NumberLength found, with a decimal point in every locale
// (from_chars ignores the locale). False when it is too large for a double.
bool Convert(std::string_view s, double& v) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1); // from_chars takes no "+"
    v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Too large (no number) or too small (as good as zero): the C
        // conversion in the C locale tells which.
        static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
        const std::string copy(s);
        v = c ? strtod_l(copy.c_str(), nullptr, c) : HUGE_VAL;
    } else if (ec != std::errc() || end != s.data() + s.size()) {
        v = 0;
        return false;
    }
    if (std::isfinite(v)) return true;
    v = 0;
    return false;
}

} // namespace

double LeadingNumber(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start]))
        ++start;
    std::string_view rest = text.substr(start);
    std::size_t n = NumberLength(rest);
    double v = 0;
    if (n) Convert(rest.substr(0, n), v);
    return v;
}

bool IsNumeric(std::string_view text) {
    std::size_t a = 0, b = text.size();
    while (a < b && IsBlank(text[a]))
        ++a;
    while (b > a && IsBlank(text[b - 1]))
        --b;
    std::string_view core = text.substr(a, b - a);
    if (core.empty()) return false;
    std::size_t n = NumberLength(core);
    double v = 0;
    return n == core.size() && Convert(core, v);
}

std::string NumberText(double value) {
    if (!std::isfinite(value)) return "0";
    // to_chars: a decimal point whatever the locale.
    char buf[40];
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
        return std::string(buf, r.ptr);
    }
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

bool ToInt16(double value, int16_t& out) {
    if (!std::isfinite(value)) return false;
    double r = std::nearbyint(value);
    if (r < std::numeric_limits<int16_t>::min() || r > std::numeric_limits<int16_t>::max())
        return false;
    out = static_cast<int16_t>(r);
    return true;
}

bool ToInt32(double value, int32_t& out) {
    if (!std::isfinite(value)) return false;
    double r = std::nearbyint(value);
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
        return false;
    out = static_cast<int32_t>(r);
    return true;
}

} // namespace pelkor
