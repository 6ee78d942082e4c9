#pragma once
// Text conversions of the record layer: BIFF8 strings are UTF-16, either
// "compressed" (high bytes all zero, one byte per unit) or plain.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/Utf.h"

namespace pelkor::xls::text {

using pelkor::AppendUtf8;
using pelkor::Utf16ToUtf8;
using pelkor::Utf8ToUtf16;

// How a spreadsheet shows a number in a General cell: "42", "0.5", "1E+20".
std::string NumberText(double value);

// Reads the data of a record and its CONTINUE records as one sequence,
// applying the rule that character data resumes in a new record with a
// fresh option byte. Every read is bounds-checked; a short read sets !ok.
class Pieces {
public:
    explicit Pieces(const std::vector<std::string_view>& parts) : parts_(parts) {}
    bool ok() const { return ok_; }
    bool AtEnd();
    // Moves past an exhausted piece (a string never starts in the gap).
    void SkipToData();
    size_t Part() const { return part_; }
    size_t Offset() const { return off_; }
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    void Skip(uint64_t n);
    // `count` UTF-16 units appended to `out` as UTF-8.
    void Chars(uint32_t count, bool wide, std::string& out);
    // An XLUnicodeRichExtendedString (long=false: one-byte count). `plain`
    // tells whether it carried no formatting runs or phonetic data.
    void String(bool longCount, std::string& out, bool* plain = nullptr);

private:
    bool Next();
    const std::vector<std::string_view>& parts_;
    size_t part_ = 0, off_ = 0;
    bool ok_ = true;
};

} // namespace pelkor::xls::text
