#include "xls/Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace pelkor::xls::text {

std::string NumberText(double v) {
    if (std::isnan(v)) return "#NUM!";
    if (std::isinf(v)) return v > 0 ? "#NUM!" : "-#NUM!";
    if (v == 0) return "0";
    char buf[64];
    if (v == std::trunc(v) && std::fabs(v) < 1e15) {
        auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v));
        return std::string(buf, r.ptr);
    }
    // Shortest digits that read back as the same double; plain notation
    // from 1E-5 up to 1E15, as a General cell shows them.
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string s(buf, r.ptr);
    const size_t e = s.find('e');
    const int exp = std::atoi(s.c_str() + e + 1);
    if (exp >= -5 && exp < 15) {
        r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
        return std::string(buf, r.ptr);
    }
    std::string digits = std::to_string(exp < 0 ? -exp : exp);
    if (digits.size() < 2) digits.insert(0, 1, '0');
    return s.substr(0, e) + "E" + (exp < 0 ? "-" : "+") + digits;
}

bool Pieces::Next() {
    if (part_ + 1 >= parts_.size()) return false;
    ++part_;
    off_ = 0;
    return true;
}

bool Pieces::AtEnd() {
    SkipToData();
    return part_ >= parts_.size() || off_ >= parts_[part_].size();
}

void Pieces::SkipToData() {
    while (part_ < parts_.size() && off_ >= parts_[part_].size() && part_ + 1 < parts_.size()) {
        ++part_;
        off_ = 0;
    }
}

uint8_t Pieces::U8() {
    if (!ok_) return 0;
    SkipToData();
    if (part_ >= parts_.size() || off_ >= parts_[part_].size()) {
        ok_ = false;
        return 0;
    }
    return static_cast<uint8_t>(parts_[part_][off_++]);
}

uint16_t Pieces::U16() {
    const uint16_t a = U8();
    return static_cast<uint16_t>(a | U8() << 8);
}

uint32_t Pieces::U32() {
    const uint32_t a = U16();
    return a | static_cast<uint32_t>(U16()) << 16;
}

void Pieces::Skip(uint64_t n) {
    while (ok_ && n > 0) {
        SkipToData();
        if (part_ >= parts_.size() || off_ >= parts_[part_].size()) {
            ok_ = false;
            return;
        }
        const uint64_t take = std::min<uint64_t>(n, parts_[part_].size() - off_);
        off_ += static_cast<size_t>(take);
        n -= take;
    }
}

void Pieces::Chars(uint32_t count, bool wide, std::string& out) {
    uint32_t pendingHigh = 0;
    auto put = [&](uint32_t u) {
        if (pendingHigh) {
            if (u >= 0xDC00 && u < 0xE000) {
                AppendUtf8(out, 0x10000 + ((pendingHigh - 0xD800) << 10) + (u - 0xDC00));
                pendingHigh = 0;
                return;
            }
            AppendUtf8(out, 0xFFFD);
            pendingHigh = 0;
        }
        if (u >= 0xD800 && u < 0xDC00)
            pendingHigh = u;
        else if (u >= 0xDC00 && u < 0xE000)
            AppendUtf8(out, 0xFFFD);
        else
            AppendUtf8(out, u);
    };
    while (ok_ && count > 0) {
        if (part_ >= parts_.size()) {
            ok_ = false;
            break;
        }
        if (off_ >= parts_[part_].size()) {
            // Character data continued in the next record starts with its own option byte.
            if (!Next()) {
                ok_ = false;
                break;
            }
            if (parts_[part_].empty()) {
                ok_ = false;
                break;
            }
            wide = (static_cast<uint8_t>(parts_[part_][off_++]) & 1) != 0;
            continue;
        }
        const std::string_view p = parts_[part_];
        if (!wide && !pendingHigh) {
            // One-byte units are Latin-1: the common case, done in a run.
            const size_t n = std::min<size_t>(count, p.size() - off_);
            const char* q = p.data() + off_;
            for (size_t k = 0; k < n;) {
                size_t run = k;
                while (run < n && static_cast<uint8_t>(q[run]) < 0x80)
                    ++run;
                out.append(q + k, run - k);
                if (run < n) {
                    const auto b = static_cast<uint8_t>(q[run]);
                    out.push_back(static_cast<char>(0xC0 | b >> 6));
                    out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
                    ++run;
                }
                k = run;
            }
            off_ += n;
            count -= static_cast<uint32_t>(n);
            continue;
        }
        if (wide) {
            if (p.size() - off_ < 2) {
                ok_ = false;
                break;
            }
            put(static_cast<uint8_t>(p[off_]) | static_cast<uint8_t>(p[off_ + 1]) << 8);
            off_ += 2;
        } else {
            put(static_cast<uint8_t>(p[off_]));
            ++off_;
        }
        --count;
    }
    if (pendingHigh) AppendUtf8(out, 0xFFFD);
}

void Pieces::String(bool longCount, std::string& out, bool* plain) {
    const uint32_t cch = longCount ? U16() : U8();
    const uint8_t flags = U8();
    const uint32_t runs = (flags & 0x08) ? U16() : 0;
    const uint32_t ext = (flags & 0x04) ? U32() : 0;
    if (plain) *plain = runs == 0 && ext == 0;
    if (!ok_) return;
    Chars(cch, (flags & 1) != 0, out);
    Skip(static_cast<uint64_t>(runs) * 4);
    Skip(ext);
}

} // namespace pelkor::xls::text
