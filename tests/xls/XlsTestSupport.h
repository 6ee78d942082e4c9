#pragma once
// Builders for hand-made workbooks (records no writer of ours produces) and
// a checker of the offsets a saved workbook must get right.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "xls/Bytes.h"
#include "xls/Cfb.h"

namespace xlstest {

using namespace pelkor::xls;

inline std::string Rec(uint16_t type, const std::string& data) {
    std::string r;
    bytes::Add16(r, type);
    bytes::Add16(r, static_cast<uint16_t>(data.size()));
    return r + data;
}

struct D { // little-endian data builder
    std::string s;
    D& u8(uint8_t v) {
        bytes::Add8(s, v);
        return *this;
    }
    D& u16(uint16_t v) {
        bytes::Add16(s, v);
        return *this;
    }
    D& u32(uint32_t v) {
        bytes::Add32(s, v);
        return *this;
    }
    D& f64(double v) {
        bytes::AddDouble(s, v);
        return *this;
    }
    D& raw(const std::string& v) {
        s += v;
        return *this;
    }
    operator std::string() const { return s; }
};

inline std::string Bof(uint16_t dt, uint16_t version = 0x0600) {
    return Rec(0x0809, D().u16(version).u16(dt).u16(0).u16(0).u32(0).u32(6));
}

// A workbook stream: globals (BOF, `globals`, one BOUNDSHEET per sheet, EOF)
// and each sheet as BOF, its records, EOF.
inline std::string Stream(const std::vector<std::pair<std::string, std::string>>& sheets,
                          const std::string& globals = {}) {
    std::string g = Bof(0x0005) + globals;
    std::vector<size_t> posAt;
    for (const auto& [name, body] : sheets) {
        posAt.push_back(g.size() + 4);
        g += Rec(0x0085,
                 D().u32(0).u8(0).u8(0).u8(static_cast<uint8_t>(name.size())).u8(0).raw(name));
    }
    g += Rec(0x000A, "");
    for (size_t i = 0; i < sheets.size(); ++i) {
        bytes::Put32(g.data() + posAt[i], static_cast<uint32_t>(g.size()));
        g += Bof(0x0010) + sheets[i].second + Rec(0x000A, "");
    }
    return g;
}

inline std::string File(const std::string& stream, const std::string& name = "Workbook") {
    std::string out, err;
    cfb::Write(cfb::MakeSingleStream(name, stream), out, err);
    return out;
}

using pelkor::ReadAll;

inline std::string WorkbookStream(const std::string& file) {
    cfb::File f;
    std::string err;
    if (!cfb::Read(file, f, err)) return {};
    const int i = f.FindRootStream("Workbook");
    return i < 0 ? std::string() : f.entries[static_cast<size_t>(i)].data;
}

// Every offset a reader follows, checked against the records it must reach.
// Returns "" when all hold, else the first few faults.
inline std::string CheckOffsets(const std::string& file) {
    using bytes::U16;
    using bytes::U32;
    const std::string s = WorkbookStream(file);
    if (s.empty()) return "no Workbook stream";
    std::map<uint32_t, uint16_t> typeAt; // record start -> type
    std::vector<uint32_t> starts;
    for (size_t p = 0; p + 4 <= s.size();) {
        const uint16_t len = U16(s.data() + p + 2);
        if (len > 8224) return "record longer than 8224 bytes at " + std::to_string(p);
        typeAt[static_cast<uint32_t>(p)] = U16(s.data() + p);
        starts.push_back(static_cast<uint32_t>(p));
        p += 4u + len;
    }
    std::string faults;
    auto fault = [&faults](const std::string& f) {
        if (faults.size() < 400) faults += f + "; ";
    };
    auto typeIs = [&typeAt](uint32_t at, uint16_t t) {
        auto it = typeAt.find(at);
        return it != typeAt.end() && it->second == t;
    };
    for (uint32_t p : starts) {
        const uint16_t t = typeAt[p];
        const char* d = s.data() + p + 4;
        const uint16_t len = U16(s.data() + p + 2);
        if (t == 0x0085 && !typeIs(U32(d), 0x0809)) fault("BOUNDSHEET does not point at a BOF");
        if (t == 0x020B) {
            if (U32(d + 12) != 0 && !typeIs(U32(d + 12), 0x0055)) fault("INDEX misses DEFCOLWIDTH");
            for (size_t k = 16; k + 4 <= len; k += 4)
                if (!typeIs(U32(d + k), 0x00D7)) fault("INDEX misses a DBCELL");
        }
        if (t == 0x00D7) {
            const uint32_t back = U32(d);
            if (len >= 6 && (back > p || !typeIs(p - back, 0x0208)))
                fault("DBCELL does not point back at a ROW");
        }
        if (t == 0x00FF) {
            for (size_t k = 2; k + 8 <= len; k += 8) {
                const uint32_t ib = U32(d + k);
                const uint16_t cb = U16(d + k + 4);
                if (ib < cb || !(typeIs(ib - cb, 0x00FC) || typeIs(ib - cb, 0x003C)))
                    fault("EXTSST entry does not point into the string table");
            }
        }
    }
    return faults;
}

} // namespace xlstest
