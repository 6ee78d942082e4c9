#include "util/Utf.h"

namespace pelkor {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | c >> 18));
        out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::u16string Utf8ToUtf16(std::string_view s, BadUtf8 bad) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<uint8_t>(s[i]);
        uint32_t c = bad == BadUtf8::Latin1 ? b : 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else {
            const int extra = b >= 0xF0 ? (b < 0xF5 ? 3 : -1) : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : -1;
            if (extra > 0) {
                uint32_t v = b & (0x3F >> extra);
                bool good = true;
                for (int k = 1; good && k <= extra; ++k) {
                    if (i + k >= s.size()) {
                        good = false;
                        break;
                    }
                    const auto t = static_cast<uint8_t>(s[i + k]);
                    if ((t & 0xC0) != 0x80) good = false;
                    v = v << 6 | (t & 0x3F);
                }
                const uint32_t min = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
                if (good && v >= min && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                    c = v;
                    len = static_cast<size_t>(extra) + 1;
                }
            }
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view u) {
    std::string out;
    out.reserve(u.size());
    for (size_t i = 0; i < u.size(); ++i) {
        uint32_t c = u[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < u.size() && u[i + 1] >= 0xDC00 &&
            u[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

} // namespace pelkor
