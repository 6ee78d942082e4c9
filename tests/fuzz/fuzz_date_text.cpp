// Any text must be safe as a date text and as a date pattern; a text that
// parses must give a date whose general text parses back to the same instant.
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "util/DateTime.h"
#include "util/Number.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    pelkor::Date d = 0;
    if (pelkor::ParseDateText(text, d)) {
        if (!std::isfinite(d)) __builtin_trap();
        pelkor::Date back = -1;
        if (!pelkor::ParseDateText(pelkor::GeneralDateText(d), back)) __builtin_trap();
        if (std::fabs(back - d) > 1.0 / 86400) __builtin_trap();
    }
    std::string out;
    pelkor::TryFormatDate(46362.4270833, text, out);
    pelkor::FormatDate(pelkor::LeadingNumber(text), text.substr(0, 16));
    pelkor::IsNumeric(text);
    return 0;
}
