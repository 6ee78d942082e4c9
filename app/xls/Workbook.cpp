#include "xls/Workbook.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <string_view>
#include <vector>

#include "util/AtomicFile.h"
#include "xls/Bytes.h"
#include "xls/Cfb.h"
#include "xls/Text.h"

namespace pelkor::xls {

using namespace bytes;

namespace {

enum : uint16_t {
    kFormula = 0x0006,
    kEof = 0x000A,
    kNote = 0x001C,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kDefColWidth = 0x0055,
    kObj = 0x005D,
    kColInfo = 0x007D,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kMulBlank = 0x00BE,
    kRString = 0x00D6,
    kDbCell = 0x00D7,
    kXf = 0x00E0,
    kMsoDrawing = 0x00EC,
    kSst = 0x00FC,
    kExtSst = 0x00FF,
    kLabelSst = 0x00FD,
    kSupBook = 0x01AE,
    kTxo = 0x01B6,
    kDimensions = 0x0200,
    kBlank = 0x0201,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kRow = 0x0208,
    kIndex = 0x020B,
    kArray = 0x0221,
    kDefaultRowHeight = 0x0225,
    kTable = 0x0236,
    kWindow2 = 0x023E,
    kRk = 0x027E,
    kBof = 0x0809,
    kShrFmla = 0x04BC,
};

constexpr size_t MaxRecordData = 8224;
constexpr size_t RowsPerBlock = 32;

bool StartsCell(uint16_t t) {
    switch (t) {
    case kBlank:
    case kNumber:
    case kLabel:
    case kBoolErr:
    case kFormula:
    case kRk:
    case kMulRk:
    case kMulBlank:
    case kLabelSst:
    case kRString:
        return true;
    default:
        return false;
    }
}

// Records that belong to the cell before them.
bool FollowsCell(uint16_t t) {
    return t == kString || t == kShrFmla || t == kArray || t == kTable || t == kContinue;
}

bool InCellTable(uint16_t t) {
    return StartsCell(t) || FollowsCell(t) || t == kRow || t == kDbCell;
}

bool EndsCellTable(uint16_t t) {
    return t == kBof || t == kEof || t == kWindow2 || t == kMsoDrawing || t == kObj || t == kNote ||
           t == kTxo;
}

void AddRecord(std::string& out, uint16_t type, std::string_view data) {
    Add16(out, type);
    Add16(out, static_cast<uint16_t>(data.size()));
    out.append(data);
}

std::string ErrorText(uint8_t code) {
    switch (code) {
    case 0x00:
        return "#NULL!";
    case 0x07:
        return "#DIV/0!";
    case 0x0F:
        return "#VALUE!";
    case 0x17:
        return "#REF!";
    case 0x1D:
        return "#NAME?";
    case 0x1E:
        return "#NUM!";
    case 0x2A:
        return "#N/A";
    default:
        return "#N/A";
    }
}

double RkValue(uint32_t rk) {
    double v;
    if (rk & 2) {
        v = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 1) ? v / 100 : v;
}

std::string CellRef(int row, int col) {
    std::string s;
    if (col > 26) s.push_back(static_cast<char>('A' + (col - 1) / 26 - 1));
    s.push_back(static_cast<char>('A' + (col - 1) % 26));
    return s + std::to_string(row);
}

char16_t Fold(char16_t c) {
    if (c < 128) return static_cast<char16_t>(std::toupper(c));
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    return c;
}

bool SameNameNoCase(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

// The option byte and character bytes of a BIFF8 string, compressed when
// every unit fits one byte.
void AddChars(std::string& out, const std::u16string& u, bool wide) {
    for (char16_t c : u) {
        Add8(out, static_cast<uint8_t>(c & 0xFF));
        if (wide) Add8(out, static_cast<uint8_t>(c >> 8));
    }
}

bool NeedsWide(const std::u16string& u) {
    return std::any_of(u.begin(), u.end(), [](char16_t c) { return c > 0xFF; });
}

struct Group { // a cell record and the records that belong to it
    uint16_t row = 0, col1 = 0, col2 = 0;
    bool fresh = false; // bytes in Sheet::fresh instead of the loaded stream
    uint32_t off = 0, len = 0;
};

struct RowRec {
    uint16_t row = 0;
    bool fresh = false, dirty = false;
    uint32_t off = 0;
    uint32_t len = 20; // the whole record
};

struct ColInfo {
    uint16_t c1, c2, ixfe;
};

struct Sheet {
    std::string name;
    std::u16string name16;
    uint8_t state = 0, dt = 0;
    int bsRec = -1; // its BOUNDSHEET in the globals; -1 when added
    bool renamed = false;
    bool hasSub = false; // false: BOUNDSHEET points at no substream (kept as it was)
    std::string own;     // bytes of an added sheet
    std::string_view
        src; // its substream (own or part of the loaded stream), with any trailing bytes
    uint32_t oldStart = 0;
    uint32_t newStart = 0;
    int64_t indexOff = -1, dimOff = -1, defColOff = -1;
    uint32_t ctBegin = 0, ctEnd = 0;                  // the cell table in src
    std::vector<std::pair<uint32_t, uint32_t>> loose; // odd records inside the cell table
    std::vector<Group> groups;                        // sorted by row, then column
    std::vector<RowRec> rows;                         // sorted by row
    std::vector<ColInfo> cols;
    uint16_t defaultRowHeight = 0x00FF;
    std::string fresh;
    bool modified = false;
    uint32_t dimR1 = 0, dimR2 = 0; // 0-based, end exclusive; empty when equal
    uint16_t dimC1 = 0, dimC2 = 0;

    std::string_view Bytes(const Group& g) const {
        return g.fresh ? std::string_view(fresh).substr(g.off, g.len) : src.substr(g.off, g.len);
    }
    std::string_view RowBytes(const RowRec& r) const {
        return r.fresh ? std::string_view(fresh).substr(r.off, r.len) : src.substr(r.off, r.len);
    }
};

struct GRec {
    uint16_t type, len;
    uint32_t off;
};

struct Sst {
    bool present = false, changed = false, trimmed = false;
    int rec = -1;     // its record in the globals
    int recCount = 0; // SST plus its CONTINUE records
    uint32_t oldPos = 0;
    // Record data, SST then CONTINUE: the loaded ones in place, then those
    // that take new strings (the last loaded one is copied there when
    // strings are added).
    std::vector<std::string_view> kept;
    std::vector<std::string> added;
    std::vector<uint32_t> starts; // chunk << 16 | offset, per string
    std::string arena;            // every string's text, UTF-8, back to back
    std::vector<uint32_t> ends;   // end of string i in arena
    std::vector<uint8_t> plain;   // no formatting runs or phonetic data
    uint32_t total = 0;
    size_t endChunk = 0, endOff = 0; // where the last string ends
    std::vector<uint32_t> table;     // hash set of string indices + 1, built on first add
    size_t hashFrom = SIZE_MAX;      // first string the set holds

    size_t Count() const { return ends.size(); }
    size_t Chunks() const { return kept.size() + added.size(); }
    std::string_view Chunk(size_t k) const {
        return k < kept.size() ? kept[k] : std::string_view(added[k - kept.size()]);
    }
    std::string_view Text(size_t i) const {
        const uint32_t b = i == 0 ? 0 : ends[i - 1];
        return std::string_view(arena).substr(b, ends[i] - b);
    }
};

size_t HashText(std::string_view s) {
    return std::hash<std::string_view>{}(s);
}

} // namespace

struct Workbook::Impl {
    std::string error;
    bool loaded = false, refused = false;
    cfb::File file;
    int wbEntry = -1;
    std::string stream; // the Workbook stream as loaded
    std::vector<GRec> grecs;
    size_t tailBegin = 0, tailEnd = 0;
    std::vector<std::unique_ptr<Sheet>> sheets; // BOUNDSHEET order
    std::vector<int> worksheets;
    std::vector<int> layout; // substream order in the stream
    int lastBoundSheet = -1, supBook = -1;
    uint16_t defaultXf = 15;
    Sst sst;

    bool Fail(const std::string& text) {
        error = text;
        return false;
    }

    std::string_view Data(const GRec& g) const {
        return std::string_view(stream).substr(g.off + 4, g.len);
    }

    bool LoadStream();
    bool ReadGlobalRecords();
    bool ScanGlobals();
    bool LoadSubstreams();
    bool ParseSst();
    bool ParseSubstream(Sheet& s, bool worksheet);
    Sheet* Work(int index) const {
        if (index < 0 || index >= static_cast<int>(worksheets.size())) return nullptr;
        return sheets[static_cast<size_t>(worksheets[static_cast<size_t>(index)])].get();
    }
    bool ValidName(const std::string& name, const Sheet* self);

    const Group* Find(const Sheet& s, int row, int col) const;
    std::string Value(const Sheet& s, const Group& g, int col) const;
    uint16_t CellXf(const Sheet& s, const Group& g, int col) const;
    uint32_t AddString(const std::string& utf8);
    void TrimSst();

    void WriteGlobals(std::string& out, std::vector<std::pair<size_t, Sheet*>>& posFields);
    void WriteBoundSheet(std::string& out, Sheet* s,
                         std::vector<std::pair<size_t, Sheet*>>& posFields);
    void WriteExtSst(std::string& out, const std::vector<uint32_t>& chunkPos);
    void CopyOrWriteSst(std::string& out, std::vector<uint32_t>& chunkPos);
    void WriteSst(std::string& out, std::vector<uint32_t>& chunkPos);
    void WriteSheet(std::string& out, Sheet& s);
    bool Serialise(std::string& out);
};

namespace {

std::string BofData(uint16_t dt) {
    std::string d;
    Add16(d, 0x0600);
    Add16(d, dt);
    Add16(d, 0x0DBB);
    Add16(d, 0x07CC);
    Add32(d, 0);
    Add32(d, 6);
    return d;
}

std::string Window2Data(bool selected) {
    std::string d;
    Add16(d, selected ? 0x06B6 : 0x00B6);
    Add16(d, 0);
    Add16(d, 0);
    Add16(d, 0x40);
    Add16(d, 0);
    Add16(d, 0);
    Add16(d, 0);
    Add32(d, 0);
    return d;
}

std::string NewSheetStream(bool selected) {
    std::string s;
    AddRecord(s, kBof, BofData(0x0010));
    AddRecord(s, kIndex, std::string(16, '\0'));
    AddRecord(s, kDimensions, std::string(14, '\0'));
    AddRecord(s, kWindow2, Window2Data(selected));
    AddRecord(s, kEof, {});
    return s;
}

std::string BoundSheetData(uint32_t pos, uint8_t state, uint8_t dt, const std::u16string& name) {
    std::string d;
    Add32(d, pos);
    Add8(d, state);
    Add8(d, dt);
    Add8(d, static_cast<uint8_t>(name.size()));
    const bool wide = NeedsWide(name);
    Add8(d, wide ? 1 : 0);
    AddChars(d, name, wide);
    return d;
}

// The least a workbook needs for every common reader to show its cells.
std::string NewWorkbookStream() {
    std::string s;
    AddRecord(s, kBof, BofData(0x0005));
    std::string d;
    Add16(d, 1200); // CODEPAGE: UTF-16
    AddRecord(s, 0x0042, d);
    d.clear();
    for (uint16_t v : {0x0000, 0x0000, 0x4000, 0x2000, 0x0038, 0x0000, 0x0000, 0x0001, 0x0258})
        Add16(d, v);
    AddRecord(s, 0x003D, d); // WINDOW1
    for (int i = 0; i < 5; ++i) {
        d.clear();
        for (uint16_t v : {200, 0, 0x7FFF, 400, 0})
            Add16(d, static_cast<uint16_t>(v));
        for (uint8_t v : {0, 0, 0, 0})
            Add8(d, v);
        Add8(d, 5);
        Add8(d, 0);
        d += "Arial";
        AddRecord(s, 0x0031, d); // FONT
    }
    for (int i = 0; i < 16; ++i) {
        d.clear();
        Add16(d, 0);                        // font
        Add16(d, 0);                        // number format: General
        Add16(d, i < 15 ? 0xFFF5 : 0x0001); // style XFs, then the cell XF
        Add8(d, 0x20);                      // bottom aligned
        Add8(d, 0);
        Add8(d, 0);
        Add8(d, i < 15 && i > 0 ? 0xF4 : 0);
        Add32(d, 0);
        Add32(d, 0);
        Add16(d, 0x20C0);
        AddRecord(s, kXf, d);
    }
    d.clear();
    Add16(d, 0x8000);
    Add8(d, 0);
    Add8(d, 0xFF);
    AddRecord(s, 0x0293, d); // STYLE: Normal
    const size_t boundSheetAt = s.size();
    AddRecord(s, kBoundSheet, BoundSheetData(0, 0, 0, u"Sheet1"));
    d.assign(8, '\0');
    AddRecord(s, kSst, d);
    d.clear();
    Add16(d, 8);
    AddRecord(s, kExtSst, d);
    AddRecord(s, kEof, {});
    const size_t sheetAt = s.size();
    s += NewSheetStream(true);
    Put32(s.data() + boundSheetAt + 4, static_cast<uint32_t>(sheetAt));
    return s;
}

} // namespace

bool Workbook::Impl::LoadStream() {
    if (!ReadGlobalRecords() || !ScanGlobals()) return false;
    if (sst.present && !ParseSst()) return false;
    return LoadSubstreams();
}

bool Workbook::Impl::ReadGlobalRecords() {
    const std::string_view st(stream);
    size_t pos = 0;
    bool sawEof = false;
    while (!sawEof) {
        if (pos + 4 > st.size())
            return Fail("damaged workbook: the workbook globals are cut short");
        GRec g{U16(st.data() + pos), U16(st.data() + pos + 2), static_cast<uint32_t>(pos)};
        if (pos + 4 + g.len > st.size())
            return Fail("damaged workbook: a record runs past the end of the file");
        if (grecs.empty()) {
            if (g.type != kBof || g.len < 4) return Fail("not an Excel workbook (no BOF record)");
            if (U16(st.data() + pos + 4) != 0x0600)
                return Fail("workbook older than Excel 97 (BIFF5 or earlier) is not supported");
            if (U16(st.data() + pos + 6) != 0x0005)
                return Fail("not an Excel workbook (no workbook globals)");
        }
        if (g.type == kFilePass)
            return Fail("workbook is password-protected (encrypted); it cannot be read");
        if (g.type == kEof) sawEof = true;
        grecs.push_back(g);
        pos += 4 + g.len;
    }
    tailBegin = pos;
    return true;
}

bool Workbook::Impl::ScanGlobals() {
    int xfCount = 0, firstCellXf = -1, cellXfFrom15 = -1;
    for (size_t i = 0; i < grecs.size(); ++i) {
        const GRec& g = grecs[i];
        const std::string_view d = Data(g);
        if (g.type == kBoundSheet) {
            if (d.size() < 8) return Fail("damaged workbook: short sheet entry");
            auto s = std::make_unique<Sheet>();
            s->bsRec = static_cast<int>(i);
            s->oldStart = U32(d.data());
            s->state = static_cast<uint8_t>(d[4]);
            s->dt = static_cast<uint8_t>(d[5]);
            std::vector<std::string_view> parts{d.substr(6)};
            text::Pieces p(parts);
            p.String(false, s->name);
            if (!p.ok()) return Fail("damaged workbook: sheet name cut short");
            s->name16 = text::Utf8ToUtf16(s->name);
            lastBoundSheet = static_cast<int>(i);
            sheets.push_back(std::move(s));
        } else if (g.type == kSst && !sst.present) {
            sst.present = true;
            sst.rec = static_cast<int>(i);
            sst.oldPos = g.off;
            sst.kept.push_back(d);
            size_t k = i + 1;
            while (k < grecs.size() && grecs[k].type == kContinue)
                sst.kept.push_back(Data(grecs[k++]));
            sst.recCount = static_cast<int>(k - i);
        } else if (g.type == kXf) {
            if (d.size() >= 6 && !(U16(d.data() + 4) & 4)) {
                if (firstCellXf < 0) firstCellXf = xfCount;
                if (cellXfFrom15 < 0 && xfCount >= 15) cellXfFrom15 = xfCount;
            }
            ++xfCount;
        } else if (g.type == kSupBook && d.size() == 4 && U16(d.data() + 2) == 0x0401 &&
                   supBook < 0) {
            supBook = static_cast<int>(i);
        }
    }
    defaultXf = static_cast<uint16_t>(cellXfFrom15 >= 0  ? cellXfFrom15
                                      : firstCellXf >= 0 ? firstCellXf
                                                         : 0);
    return true;
}

// Substreams, in stream order; each runs to the next one.
bool Workbook::Impl::LoadSubstreams() {
    const std::string_view st(stream);
    std::vector<int> order;
    for (size_t i = 0; i < sheets.size(); ++i) {
        Sheet& s = *sheets[i];
        const size_t at = s.oldStart;
        s.hasSub = at >= tailBegin && at + 4 <= st.size() && U16(st.data() + at) == kBof;
        if (s.hasSub)
            order.push_back(static_cast<int>(i));
        else if (s.dt == 0)
            return Fail("damaged workbook: sheet \"" + s.name + "\" has no valid position");
    }
    std::sort(order.begin(), order.end(), [this](int a, int b) {
        return sheets[static_cast<size_t>(a)]->oldStart < sheets[static_cast<size_t>(b)]->oldStart;
    });
    tailEnd = order.empty() ? st.size() : sheets[static_cast<size_t>(order[0])]->oldStart;
    for (size_t k = 0; k < order.size(); ++k) {
        Sheet& s = *sheets[static_cast<size_t>(order[k])];
        const size_t end =
            k + 1 < order.size() ? sheets[static_cast<size_t>(order[k + 1])]->oldStart : st.size();
        if (end <= s.oldStart) return Fail("damaged workbook: two sheets share one position");
        s.src = st.substr(s.oldStart, end - s.oldStart);
        if (!ParseSubstream(s, s.dt == 0)) return false;
    }
    layout = order;
    for (size_t i = 0; i < sheets.size(); ++i)
        if (sheets[i]->dt == 0 && sheets[i]->hasSub) worksheets.push_back(static_cast<int>(i));
    loaded = true;
    return true;
}

bool Workbook::Impl::ParseSst() {
    const std::vector<std::string_view>& parts = sst.kept;
    if (parts.size() > 0xFFFF) return Fail("damaged workbook: shared-string table too large");
    size_t bytes = 0;
    for (std::string_view part : parts)
        bytes += part.size();
    sst.arena.reserve(bytes);
    text::Pieces p(parts);
    sst.total = p.U32();
    const uint32_t unique = p.U32();
    if (!p.ok()) return Fail("damaged workbook: shared-string table cut short");
    for (uint32_t i = 0; i < unique; ++i) {
        p.SkipToData();
        if (p.AtEnd()) break; // fewer strings than announced: keep what is there
        sst.starts.push_back(static_cast<uint32_t>(p.Part() << 16 | p.Offset()));
        bool plain = true;
        p.String(true, sst.arena, &plain);
        if (!p.ok())
            return Fail("damaged workbook: shared string " + std::to_string(i) + " cut short");
        if (sst.arena.size() > 0xFFFFFFF0u) return Fail("shared-string table too large");
        sst.ends.push_back(static_cast<uint32_t>(sst.arena.size()));
        sst.plain.push_back(plain ? 1 : 0);
    }
    sst.endChunk = p.Part();
    sst.endOff = p.Offset();
    // Strings past the announced count would be overwritten by the ones we
    // add, and the cells that use them would then show ours.
    if (sst.Count() == unique && !p.AtEnd())
        return Fail(
            "damaged workbook: the shared-string table holds more strings than it announces");
    return true;
}

namespace {

// What a worksheet's records tell on the way through its substream.
struct SheetScan {
    bool started = false, done = false, groupOpen = false;
    std::vector<std::pair<uint32_t, uint32_t>> pending;
    size_t lastEnd = 0, insertAt = 0;
    bool haveInsert = false;
    int64_t window2 = -1;
};

void NoteDimensions(Sheet& s, SheetScan& sc, uint16_t len, const char* d, size_t pos) {
    s.dimOff = static_cast<int64_t>(pos);
    if (len == 14) {
        s.dimR1 = U32(d);
        s.dimR2 = U32(d + 4);
        s.dimC1 = U16(d + 8);
        s.dimC2 = U16(d + 10);
    } else {
        s.dimR1 = U16(d);
        s.dimR2 = U16(d + 2);
        s.dimC1 = U16(d + 4);
        s.dimC2 = U16(d + 6);
    }
    if (!sc.started) {
        sc.insertAt = pos + 4 + len;
        sc.haveInsert = true;
    }
}

Group CellGroup(uint16_t t, uint16_t len, const char* d, uint32_t recOff, uint32_t recLen) {
    Group g;
    g.off = recOff;
    g.len = recLen;
    if (len >= 4) {
        g.row = U16(d);
        g.col1 = g.col2 = U16(d + 2);
    } else {
        g.row = 0xFFFF; // unreadable: kept, never found (no column 0xFFFF)
        g.col1 = g.col2 = 0xFFFF;
    }
    if ((t == kMulRk || t == kMulBlank) && len >= 6) {
        const size_t each = t == kMulRk ? 6 : 2;
        const size_t n = (len - 6) / each;
        if (n == 0 || (len - 6) % each != 0)
            g.col1 = g.col2 = 0xFFFF;
        else
            g.col2 = static_cast<uint16_t>(std::min<size_t>(g.col1 + n - 1, 0xFFFF));
    }
    return g;
}

void NoteCellTableRecord(Sheet& s, SheetScan& sc, uint16_t t, uint16_t len, const char* d,
                         size_t pos) {
    const uint32_t recOff = static_cast<uint32_t>(pos), recLen = 4u + len;
    if (!sc.started) {
        sc.started = true;
        s.ctBegin = recOff;
    }
    for (const auto& pr : sc.pending) {
        if (sc.groupOpen)
            s.groups.back().len += pr.second;
        else
            s.loose.push_back(pr);
    }
    sc.pending.clear();
    if (t == kRow) {
        if (len >= 16) s.rows.push_back({U16(d), false, false, recOff, recLen});
        sc.groupOpen = false;
    } else if (t == kDbCell) {
        sc.groupOpen = false;
    } else if (StartsCell(t)) {
        s.groups.push_back(CellGroup(t, len, d, recOff, recLen));
        sc.groupOpen = true;
    } else if (sc.groupOpen) {
        s.groups.back().len += recLen;
    } else {
        s.loose.push_back({recOff, recLen});
    }
    sc.lastEnd = pos + recLen;
}

void NoteSheetRecord(Sheet& s, SheetScan& sc, uint16_t t, uint16_t len, const char* d, size_t pos) {
    if (t == kDimensions && s.dimOff < 0 && (len == 14 || len == 10))
        NoteDimensions(s, sc, len, d, pos);
    if (t == kDefColWidth && s.defColOff < 0) s.defColOff = static_cast<int64_t>(pos);
    if (t == kDefaultRowHeight && len >= 4) s.defaultRowHeight = U16(d + 2);
    if (t == kColInfo && len >= 8) s.cols.push_back({U16(d), U16(d + 2), U16(d + 6)});
    if (t == kWindow2 && sc.window2 < 0) sc.window2 = static_cast<int64_t>(pos);
    if (!sc.done && InCellTable(t) && (sc.started || t != kContinue)) {
        NoteCellTableRecord(s, sc, t, len, d, pos);
    } else if (sc.started && !sc.done) {
        if (EndsCellTable(t))
            sc.done = true;
        else
            sc.pending.push_back({static_cast<uint32_t>(pos), 4u + len});
    }
}

void FinishSheetScan(Sheet& s, const SheetScan& sc, size_t lastRec) {
    if (sc.started) {
        s.ctEnd = static_cast<uint32_t>(sc.lastEnd);
    } else {
        size_t insertAt = sc.insertAt;
        if (!sc.haveInsert) insertAt = sc.window2 >= 0 ? static_cast<size_t>(sc.window2) : lastRec;
        s.ctBegin = s.ctEnd = static_cast<uint32_t>(insertAt);
    }
    auto byPos = [](const Group& a, const Group& b) {
        return a.row != b.row ? a.row < b.row : a.col1 < b.col1;
    };
    if (!std::is_sorted(s.groups.begin(), s.groups.end(), byPos))
        std::stable_sort(s.groups.begin(), s.groups.end(), byPos);
    auto byRow = [](const RowRec& a, const RowRec& b) { return a.row < b.row; };
    if (!std::is_sorted(s.rows.begin(), s.rows.end(), byRow))
        std::stable_sort(s.rows.begin(), s.rows.end(), byRow);
}

} // namespace

bool Workbook::Impl::ParseSubstream(Sheet& s, bool worksheet) {
    const std::string_view src = s.src;
    const std::string bad = "damaged workbook: sheet \"" + s.name + "\" ";
    size_t pos = 0, lastRec = 0;
    int depth = 0;
    SheetScan sc;
    for (;;) {
        if (pos + 4 > src.size()) return Fail(bad + "is cut short");
        const uint16_t t = U16(src.data() + pos), len = U16(src.data() + pos + 2);
        if (pos + 4 + len > src.size()) return Fail(bad + "has a record running past its end");
        const char* d = src.data() + pos + 4;
        if (t == kBof) ++depth;
        // A cell naming a shared string that is not there reads as empty and
        // would come to show a string we add: the table does not fit the sheets.
        if (t == kLabelSst && (len < 10 || U32(d + 6) >= sst.Count()))
            return Fail(bad + "refers to a shared string the workbook does not hold");
        if (depth == 1 && t == kIndex && s.indexOff < 0 && len >= 16)
            s.indexOff = static_cast<int64_t>(pos);
        if (depth == 1 && worksheet) NoteSheetRecord(s, sc, t, len, d, pos);
        lastRec = pos;
        pos += 4 + len;
        if (t == kEof && --depth <= 0) break;
        if (depth <= 0) return Fail(bad + "has records outside its BOF and EOF");
    }
    if (worksheet) FinishSheetScan(s, sc, lastRec);
    return true;
}

const Group* Workbook::Impl::Find(const Sheet& s, int row, int col) const {
    const uint16_t r = static_cast<uint16_t>(row - 1), c = static_cast<uint16_t>(col - 1);
    auto it = std::lower_bound(s.groups.begin(), s.groups.end(), r,
                               [](const Group& g, uint16_t v) { return g.row < v; });
    for (; it != s.groups.end() && it->row == r && it->col1 <= c; ++it)
        if (c <= it->col2) return &*it;
    return nullptr;
}

std::string Workbook::Impl::Value(const Sheet& s, const Group& g, int col) const {
    const std::string_view b = s.Bytes(g);
    const uint16_t t = U16(b.data());
    const std::string_view d = b.substr(4, U16(b.data() + 2));
    // The records after the first one in the group, as (type, data).
    auto following = [&b]() {
        std::vector<std::pair<uint16_t, std::string_view>> out;
        size_t p = 4 + U16(b.data() + 2);
        while (p + 4 <= b.size()) {
            const uint16_t len = U16(b.data() + p + 2);
            if (p + 4 + len > b.size()) break;
            out.push_back({U16(b.data() + p), b.substr(p + 4, len)});
            p += 4 + len;
        }
        return out;
    };
    auto readString = [](std::vector<std::string_view> parts) {
        std::string out;
        text::Pieces p(parts);
        p.String(true, out);
        return out;
    };
    switch (t) {
    case kNumber:
        return d.size() >= 14 ? text::NumberText(Double(d.data() + 6)) : "";
    case kRk:
        return d.size() >= 10 ? text::NumberText(RkValue(U32(d.data() + 6))) : "";
    case kMulRk: {
        const size_t at = 4 + static_cast<size_t>(col - 1 - g.col1) * 6;
        return at + 6 <= d.size() ? text::NumberText(RkValue(U32(d.data() + at + 2))) : "";
    }
    case kLabelSst: {
        if (d.size() < 10) return "";
        const uint32_t i = U32(d.data() + 6);
        return i < sst.Count() ? std::string(sst.Text(i)) : "";
    }
    case kLabel:
    case kRString: {
        std::vector<std::string_view> parts{d.substr(std::min<size_t>(6, d.size()))};
        for (const auto& [ft, fd] : following())
            if (ft == kContinue) parts.push_back(fd);
        return readString(parts);
    }
    case kBoolErr:
        if (d.size() < 8) return "";
        if (d[7]) return ErrorText(static_cast<uint8_t>(d[6]));
        return d[6] ? "TRUE" : "FALSE";
    case kFormula: {
        if (d.size() < 14) return "";
        if (U16(d.data() + 12) != 0xFFFF) return text::NumberText(Double(d.data() + 6));
        switch (static_cast<uint8_t>(d[6])) {
        case 0: {
            std::vector<std::string_view> parts;
            for (const auto& [ft, fd] : following()) {
                if (ft == kString && parts.empty())
                    parts.push_back(fd);
                else if (ft == kContinue && !parts.empty())
                    parts.push_back(fd);
            }
            return parts.empty() ? "" : readString(parts);
        }
        case 1:
            return d[8] ? "TRUE" : "FALSE";
        case 2:
            return ErrorText(static_cast<uint8_t>(d[8]));
        default:
            return "";
        }
    }
    default:
        return "";
    }
}

uint16_t Workbook::Impl::CellXf(const Sheet& s, const Group& g, int col) const {
    const std::string_view b = s.Bytes(g);
    const uint16_t t = U16(b.data()), len = U16(b.data() + 2);
    size_t at = 8; // row, column, then the format
    if (t == kMulRk)
        at = 8 + static_cast<size_t>(col - 1 - g.col1) * 6;
    else if (t == kMulBlank)
        at = 8 + static_cast<size_t>(col - 1 - g.col1) * 2;
    return at + 2 <= 4u + len ? U16(b.data() + at) : defaultXf;
}

void Workbook::Impl::TrimSst() {
    // Bytes after the last announced string were never read by anyone; new strings go in their
    // place.
    if (sst.trimmed) return;
    sst.trimmed = true;
    if (!sst.present) {
        sst.present = true;
        sst.kept.clear();
        sst.added.assign(1, std::string(8, '\0'));
        return;
    }
    sst.kept.resize(std::min(sst.kept.size(), sst.endChunk + 1));
    const std::string_view last = sst.kept.back().substr(0, sst.endOff);
    sst.kept.pop_back();
    if (!last.empty() || sst.kept.empty()) sst.added.emplace_back(last);
}

uint32_t Workbook::Impl::AddString(const std::string& utf8) {
    TrimSst();
    auto slot = [this](std::string_view t) {
        const size_t mask = sst.table.size() - 1;
        size_t h = HashText(t) & mask;
        while (sst.table[h] != 0 && sst.Text(sst.table[h] - 1) != t)
            h = (h + 1) & mask;
        return h;
    };
    auto grow = [&]() {
        size_t cap = 64;
        while (cap < (sst.Count() - sst.hashFrom) * 2 + 2)
            cap *= 2;
        sst.table.assign(cap, 0);
        for (size_t i = sst.hashFrom; i < sst.Count(); ++i) {
            if (!sst.plain[i]) continue;
            const size_t h = slot(sst.Text(i));
            if (sst.table[h] == 0) sst.table[h] = static_cast<uint32_t>(i + 1);
        }
    };
    // Reusing a loaded string saves a few bytes but costs hashing the whole
    // table; in a big table only the strings added since loading are reused.
    if (sst.hashFrom == SIZE_MAX) sst.hashFrom = sst.Count() <= 65536 ? 0 : sst.Count();
    if (sst.table.size() < (sst.Count() - sst.hashFrom) * 2 + 2) grow();
    const size_t h = slot(utf8);
    if (sst.table[h] != 0) return sst.table[h] - 1;

    const std::u16string u = text::Utf8ToUtf16(utf8);
    const bool wide = NeedsWide(u);
    const size_t unit = wide ? 2 : 1;
    if (sst.added.empty() || sst.added.back().size() + 3 + (u.empty() ? 0 : unit) > MaxRecordData)
        sst.added.emplace_back();
    if (sst.Chunks() > 0xFFFF) throw std::length_error("shared-string table too large");
    sst.starts.push_back(static_cast<uint32_t>((sst.Chunks() - 1) << 16 | sst.added.back().size()));
    std::string* c = &sst.added.back();
    Add16(*c, static_cast<uint16_t>(u.size()));
    Add8(*c, wide ? 1 : 0);
    size_t i = 0;
    while (i < u.size()) {
        size_t room = (MaxRecordData - c->size()) / unit;
        if (room == 0) {
            sst.added.emplace_back();
            c = &sst.added.back();
            Add8(*c, wide ? 1 : 0); // character data resumes with its option byte
            continue;
        }
        const size_t n = std::min(room, u.size() - i);
        AddChars(*c, u.substr(i, n), wide);
        i += n;
    }
    sst.arena += utf8;
    sst.ends.push_back(static_cast<uint32_t>(sst.arena.size()));
    sst.plain.push_back(1);
    sst.endChunk = sst.Chunks() - 1;
    sst.endOff = sst.added.back().size();
    sst.changed = true;
    const uint32_t index = static_cast<uint32_t>(sst.Count() - 1);
    if (sst.table.size() < (sst.Count() - sst.hashFrom) * 2 + 2)
        grow();
    else
        sst.table[slot(utf8)] = index + 1;
    return index;
}

void Workbook::Impl::WriteSst(std::string& out, std::vector<uint32_t>& chunkPos) {
    chunkPos.clear();
    for (size_t k = 0; k < sst.Chunks(); ++k) {
        chunkPos.push_back(static_cast<uint32_t>(out.size()));
        const std::string_view c = sst.Chunk(k);
        AddRecord(out, k == 0 ? kSst : kContinue, c);
        if (k == 0) {
            Put32(out.data() + out.size() - c.size(), sst.total);
            Put32(out.data() + out.size() - c.size() + 4, static_cast<uint32_t>(sst.Count()));
        }
    }
}

void Workbook::Impl::WriteBoundSheet(std::string& out, Sheet* s,
                                     std::vector<std::pair<size_t, Sheet*>>& posFields) {
    posFields.push_back({out.size() + 4, s});
    if (s->bsRec >= 0 && !s->renamed) {
        const GRec& g = grecs[static_cast<size_t>(s->bsRec)];
        out.append(stream, g.off, 4u + g.len);
    } else {
        AddRecord(out, kBoundSheet, BoundSheetData(0, s->state, s->dt, s->name16));
    }
    if (!s->hasSub) posFields.pop_back();
}

void Workbook::Impl::WriteExtSst(std::string& out, const std::vector<uint32_t>& chunkPos) {
    const size_t n = sst.Count();
    const size_t dsst = std::max<size_t>(8, (n + 127) / 128);
    std::string d;
    Add16(d, static_cast<uint16_t>(dsst));
    for (size_t i = 0; i < n; i += dsst) {
        const uint32_t chunk = sst.starts[i] >> 16, off = sst.starts[i] & 0xFFFF;
        Add32(d, chunkPos[chunk] + 4 + off);
        Add16(d, static_cast<uint16_t>(4 + off));
        Add16(d, 0);
    }
    AddRecord(out, kExtSst, d);
}

void Workbook::Impl::CopyOrWriteSst(std::string& out, std::vector<uint32_t>& chunkPos) {
    if (sst.changed) {
        WriteSst(out, chunkPos);
        return;
    }
    for (int k = 0; k < sst.recCount; ++k) {
        const GRec& g = grecs[static_cast<size_t>(sst.rec + k)];
        chunkPos.push_back(static_cast<uint32_t>(out.size()));
        out.append(stream, g.off, 4u + g.len);
    }
}

void Workbook::Impl::WriteGlobals(std::string& out,
                                  std::vector<std::pair<size_t, Sheet*>>& posFields) {
    std::vector<Sheet*> byRec(grecs.size(), nullptr);
    std::vector<Sheet*> added;
    for (auto& s : sheets) {
        if (s->bsRec >= 0)
            byRec[static_cast<size_t>(s->bsRec)] = s.get();
        else
            added.push_back(s.get());
    }
    auto boundSheet = [&](Sheet* s) { WriteBoundSheet(out, s, posFields); };
    auto addedSheets = [&]() {
        for (Sheet* s : added)
            boundSheet(s);
        added.clear();
    };
    std::vector<uint32_t> chunkPos;
    bool sstWritten = false, extWritten = false;
    uint32_t sstNewPos = 0;
    auto extSst = [&]() {
        extWritten = true;
        WriteExtSst(out, chunkPos);
    };
    auto writeSst = [&]() {
        sstWritten = true;
        sstNewPos = static_cast<uint32_t>(out.size());
        CopyOrWriteSst(out, chunkPos);
    };
    for (size_t i = 0; i < grecs.size(); ++i) {
        const GRec& g = grecs[i];
        if (g.type == kBoundSheet && byRec[i]) {
            boundSheet(byRec[i]);
            if (static_cast<int>(i) == lastBoundSheet) addedSheets();
            continue;
        }
        if (static_cast<int>(i) == sst.rec) {
            addedSheets();
            writeSst();
            i += static_cast<size_t>(sst.recCount - 1);
            const bool nextIsExt = i + 1 < grecs.size() && grecs[i + 1].type == kExtSst;
            if (!nextIsExt && sst.changed) extSst();
            continue;
        }
        if (g.type == kExtSst && sstWritten && !extWritten) {
            if (sst.changed || sstNewPos != sst.oldPos)
                extSst();
            else
                out.append(stream, g.off, 4u + g.len);
            extWritten = true;
            continue;
        }
        if (static_cast<int>(i) == supBook &&
            std::any_of(sheets.begin(), sheets.end(), [](auto& s) { return s->bsRec < 0; })) {
            std::string d(Data(g));
            Put16(d.data(), static_cast<uint16_t>(sheets.size()));
            AddRecord(out, kSupBook, d);
            continue;
        }
        if (g.type == kEof) {
            addedSheets();
            if (!sstWritten && sst.present) {
                writeSst();
                extSst();
            }
        }
        out.append(stream, g.off, 4u + g.len);
    }
    out.append(stream, tailBegin, tailEnd - tailBegin);
}

namespace {

// An unchanged sheet goes out as it came in; only its INDEX moves with it.
void CopyUnmodifiedSheet(std::string& out, const Sheet& s, size_t start) {
    out.append(s.src);
    if (s.indexOff >= 0) {
        char* d = out.data() + start + static_cast<size_t>(s.indexOff) + 4;
        const uint16_t len = U16(d - 2);
        const uint32_t delta = s.newStart - s.oldStart;
        if (U32(d + 12) != 0) Put32(d + 12, U32(d + 12) + delta);
        for (size_t k = 16; k + 4 <= len; k += 4)
            Put32(d + k, U32(d + k) + delta);
    }
}

struct RowKey {
    uint16_t row;
    size_t r0, r1, g0, g1;
};

// Row keys: every row holding a ROW record or a cell, in order.
std::vector<RowKey> RowKeys(const Sheet& s) {
    std::vector<RowKey> keys;
    size_t ri = 0, gi = 0;
    while (ri < s.rows.size() || gi < s.groups.size()) {
        uint16_t row = 0xFFFF;
        if (ri < s.rows.size()) row = s.rows[ri].row;
        if (gi < s.groups.size()) row = std::min(row, s.groups[gi].row);
        RowKey k{row, ri, ri, gi, gi};
        while (k.r1 < s.rows.size() && s.rows[k.r1].row == row)
            ++k.r1;
        while (k.g1 < s.groups.size() && s.groups[k.g1].row == row)
            ++k.g1;
        if (k.r1 == ri && k.g1 == gi) break; // cannot happen; guards the loop
        ri = k.r1;
        gi = k.g1;
        keys.push_back(k);
    }
    return keys;
}

// Rows k0..k1 (their ROW records, then their cells, then DBCELL); the
// DBCELL's offset.
uint32_t WriteRowBlock(std::string& out, const Sheet& s, const std::vector<RowKey>& keys, size_t k0,
                       size_t k1) {
    const size_t blockStart = out.size();
    size_t firstRow = 0;
    bool anyRow = false;
    for (size_t k = k0; k < k1; ++k) {
        for (size_t r = keys[k].r0; r < keys[k].r1; ++r) {
            const RowRec& rr = s.rows[r];
            if (!anyRow) firstRow = out.size();
            anyRow = true;
            const size_t at = out.size();
            out.append(s.RowBytes(rr));
            if (rr.dirty) {
                uint16_t c1 = 0xFFFF, c2 = 0;
                for (size_t g = keys[k].g0; g < keys[k].g1; ++g) {
                    c1 = std::min(c1, s.groups[g].col1);
                    c2 = std::max<uint16_t>(
                        c2, static_cast<uint16_t>(std::min<int>(s.groups[g].col2 + 1, 256)));
                }
                if (c1 == 0xFFFF) c1 = c2 = 0;
                Put16(out.data() + at + 6, c1);
                Put16(out.data() + at + 8, c2);
            }
        }
    }
    std::vector<uint16_t> offsets;
    size_t ref = anyRow ? firstRow + 20 : blockStart;
    for (size_t k = k0; k < k1; ++k) {
        const size_t first = out.size();
        for (size_t g = keys[k].g0; g < keys[k].g1; ++g)
            out.append(s.Bytes(s.groups[g]));
        if (keys[k].r1 > keys[k].r0) {
            offsets.push_back(static_cast<uint16_t>(std::min<size_t>(first - ref, 0xFFFF)));
            ref = first;
        }
    }
    const size_t dbAt = out.size();
    std::string d;
    Add32(d, static_cast<uint32_t>(dbAt - (anyRow ? firstRow : blockStart)));
    for (uint16_t o : offsets)
        Add16(d, o);
    AddRecord(out, kDbCell, d);
    return static_cast<uint32_t>(dbAt);
}

} // namespace

void Workbook::Impl::WriteSheet(std::string& out, Sheet& s) {
    const size_t start = out.size();
    s.newStart = static_cast<uint32_t>(start);
    if (!s.modified) {
        CopyUnmodifiedSheet(out, s, start);
        return;
    }

    const std::vector<RowKey> keys = RowKeys(s);
    const size_t blocks = (keys.size() + RowsPerBlock - 1) / RowsPerBlock;
    const bool withIndex = s.indexOff >= 0 && static_cast<uint32_t>(s.indexOff) < s.ctBegin &&
                           16 + 4 * blocks <= MaxRecordData;

    // Everything before the cell table, with INDEX and DIMENSIONS renewed.
    size_t indexAt = 0, defColAt = 0;
    bool dimWritten = false;
    auto dimensions = [&]() {
        std::string d;
        Add32(d, s.dimR1);
        Add32(d, s.dimR2);
        Add16(d, s.dimC1);
        Add16(d, s.dimC2);
        Add16(d, 0);
        AddRecord(out, kDimensions, d);
        dimWritten = true;
    };
    for (size_t p = 0; p < s.ctBegin;) {
        const uint16_t len = U16(s.src.data() + p + 2);
        if (static_cast<int64_t>(p) == s.indexOff && withIndex) {
            indexAt = out.size();
            AddRecord(out, kIndex, std::string(16 + 4 * blocks, '\0'));
        } else if (static_cast<int64_t>(p) == s.dimOff) {
            dimensions();
        } else {
            if (static_cast<int64_t>(p) == s.defColOff) defColAt = out.size();
            out.append(s.src.substr(p, 4u + len));
        }
        p += 4u + len;
    }
    if (!dimWritten) dimensions();
    for (const auto& [off, len] : s.loose)
        out.append(s.src.substr(off, len));

    std::vector<uint32_t> dbcells;
    for (size_t b = 0; b < blocks; ++b) {
        const size_t k0 = b * RowsPerBlock, k1 = std::min(keys.size(), k0 + RowsPerBlock);
        dbcells.push_back(WriteRowBlock(out, s, keys, k0, k1));
    }
    out.append(s.src.substr(s.ctEnd));

    if (withIndex) {
        char* d = out.data() + indexAt + 4;
        Put32(d + 4, keys.empty() ? 0 : keys.front().row);
        Put32(d + 8, keys.empty() ? 0 : keys.back().row + 1u);
        Put32(d + 12, s.defColOff >= 0 && static_cast<uint32_t>(s.defColOff) < s.ctBegin
                          ? static_cast<uint32_t>(defColAt)
                          : 0);
        for (size_t b = 0; b < dbcells.size(); ++b)
            Put32(d + 16 + 4 * b, dbcells[b]);
    }
}

bool Workbook::Impl::Serialise(std::string& out) {
    out.clear();
    out.reserve(stream.size() + stream.size() / 8 + 4096);
    std::vector<std::pair<size_t, Sheet*>> posFields;
    WriteGlobals(out, posFields);
    std::vector<int> order = layout;
    for (size_t i = 0; i < sheets.size(); ++i)
        if (sheets[i]->bsRec < 0) order.push_back(static_cast<int>(i));
    for (int i : order) {
        WriteSheet(out, *sheets[static_cast<size_t>(i)]);
        if (out.size() > 0x7FFFFFF0u) return Fail("workbook too large for the file format");
    }
    for (const auto& [at, s] : posFields)
        Put32(out.data() + at, s->newStart);
    return true;
}

bool Workbook::Impl::ValidName(const std::string& name, const Sheet* self) {
    const std::u16string u = text::Utf8ToUtf16(name);
    if (u.empty() || u.size() > MaxSheetNameLength)
        return Fail("sheet name must have 1 to 31 characters: \"" + name + "\"");
    if (u.find_first_of(u"[]:*?/\\") != std::u16string::npos)
        return Fail("sheet name must not contain [ ] : * ? / \\: \"" + name + "\"");
    if (u.front() == u'\'' || u.back() == u'\'')
        return Fail("sheet name must not start or end with an apostrophe: \"" + name + "\"");
    for (const auto& s : sheets)
        if (s.get() != self && SameNameNoCase(s->name16, u))
            return Fail("a sheet named \"" + name + "\" exists already");
    return true;
}

// ---------------------------------------------------------------------------

Workbook::Workbook() : impl_(std::make_unique<Impl>()) {}
Workbook::~Workbook() = default;
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;

Workbook Workbook::CreateNew() {
    Workbook w;
    Impl& m = *w.impl_;
    m.file = cfb::MakeSingleStream("Workbook", {});
    m.wbEntry = 1;
    m.stream = NewWorkbookStream();
    if (!m.LoadStream()) { // cannot happen for the built-in template
        auto err = m.error;
        w.impl_ = std::make_unique<Impl>();
        w.impl_->error = err;
    }
    return w;
}

bool Workbook::Load(const std::string& path) {
    std::string bytes;
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            impl_ = std::make_unique<Impl>();
            impl_->error = "a folder stands where the workbook should be: " + path;
            return false;
        }
        std::ifstream f(path, std::ios::binary | std::ios::ate);
        if (!f) {
            impl_ = std::make_unique<Impl>();
            impl_->error = "cannot open " + path + ": " + std::strerror(errno);
            return false;
        }
        const std::streamoff size = f.tellg();
        f.seekg(0);
        if (size < 0) {
            impl_ = std::make_unique<Impl>();
            impl_->error = "cannot read " + path;
            return false;
        }
        try {
            bytes.resize(static_cast<size_t>(size));
        } catch (const std::exception&) {
            impl_ = std::make_unique<Impl>();
            impl_->error = "not enough memory to load " + path;
            return false;
        }
        if (!f.read(bytes.data(), size)) {
            impl_ = std::make_unique<Impl>();
            impl_->error = "cannot read " + path;
            return false;
        }
    }
    return LoadBytes(std::move(bytes));
}

bool Workbook::LoadFromBytes(const std::string& bytes) {
    return LoadBytes(std::string(bytes));
}

bool Workbook::LoadBytes(std::string&& bytes) {
    auto m = std::make_unique<Impl>();
    bool ok = false;
    try {
        if (cfb::Read(bytes, m->file, m->error)) {
            std::string().swap(bytes); // the streams hold what is needed now
            m->wbEntry = m->file.FindRootStream("Workbook");
            if (m->wbEntry < 0) {
                if (m->file.FindRootStream("Book") >= 0)
                    m->error = "workbook older than Excel 97 (BIFF5 or earlier) is not supported";
                else
                    m->error = "not an Excel workbook (no Workbook stream)";
            } else {
                m->stream = std::move(m->file.entries[static_cast<size_t>(m->wbEntry)].data);
                m->file.entries[static_cast<size_t>(m->wbEntry)].data.clear();
                ok = m->LoadStream();
            }
        }
    } catch (const std::bad_alloc&) {
        m->error = "not enough memory to load the workbook";
        ok = false;
    } catch (const std::exception& e) {
        m->error = std::string("cannot load the workbook: ") + e.what();
        ok = false;
    }
    if (!ok) {
        const std::string err = m->error;
        impl_ = std::make_unique<Impl>();
        impl_->error = err;
        return false;
    }
    impl_ = std::move(m);
    return true;
}

bool Workbook::SaveTo(const std::function<bool(std::string_view)>& sink) {
    Impl& m = *impl_;
    if (!m.loaded) return m.Fail("no workbook to save");
    if (m.refused)
        return m.Fail("not saved: an earlier change to the workbook was refused (" + m.error + ")");
    cfb::Entry& e = m.file.entries[static_cast<size_t>(m.wbEntry)];
    bool ok = false;
    try {
        ok = m.Serialise(e.data) && cfb::Write(m.file, sink, m.error);
    } catch (const std::bad_alloc&) {
        ok = m.Fail("not enough memory to save the workbook");
    } catch (const std::exception& ex) {
        ok = m.Fail(std::string("cannot save the workbook: ") + ex.what());
    }
    std::string().swap(e.data);
    return ok;
}

bool Workbook::SaveToBytes(std::string& out) {
    out.clear();
    return SaveTo([&out](std::string_view piece) {
        out.append(piece);
        return true;
    });
}

bool Workbook::Save(const std::string& path) {
    Impl& m = *impl_;
    if (!m.loaded) return m.Fail("no workbook to save");
    if (m.refused)
        return m.Fail("not saved: an earlier change to the workbook was refused (" + m.error + ")");
    std::string why;
    if (ReplaceFile(
            path, [this](const FileSink& sink) { return SaveTo(sink); }, why))
        return true;
    // An empty reason: building the workbook failed and SaveTo said why.
    return why.empty() ? false : m.Fail(why);
}

const std::string& Workbook::Error() const {
    return impl_->error;
}

int Workbook::SheetCount() const {
    return static_cast<int>(impl_->worksheets.size());
}

std::string Workbook::SheetName(int index) const {
    const Sheet* s = impl_->Work(index);
    return s ? s->name : std::string();
}

bool Workbook::SetSheetName(int index, const std::string& name) {
    Impl& m = *impl_;
    Sheet* s = m.Work(index);
    if (!s) return m.Fail("no sheet number " + std::to_string(index + 1));
    if (s->name == name) return true;
    if (!m.ValidName(name, s)) return false;
    s->name = name;
    s->name16 = text::Utf8ToUtf16(name);
    s->renamed = true;
    return true;
}

int Workbook::AddSheet(const std::string& name) {
    Impl& m = *impl_;
    if (!m.loaded) {
        m.Fail("no workbook to add a sheet to");
        return -1;
    }
    if (!m.ValidName(name, nullptr)) return -1;
    if (m.sheets.size() >= 0xFFFF) {
        m.Fail("too many sheets");
        return -1;
    }
    auto s = std::make_unique<Sheet>();
    s->name = name;
    s->name16 = text::Utf8ToUtf16(name);
    s->own = NewSheetStream(m.worksheets.empty());
    s->src = s->own;
    s->hasSub = true;
    s->modified = true;
    if (!m.ParseSubstream(*s, true)) return -1;
    m.sheets.push_back(std::move(s));
    m.worksheets.push_back(static_cast<int>(m.sheets.size() - 1));
    return static_cast<int>(m.worksheets.size() - 1);
}

std::string Workbook::CellText(int sheet, int row, int col) const {
    const Sheet* s = impl_->Work(sheet);
    if (!s || row < 1 || row > MaxRows || col < 1 || col > MaxColumns) return {};
    const Group* g = impl_->Find(*s, row, col);
    return g ? impl_->Value(*s, *g, col) : std::string();
}

namespace {

// A record appended to the sheet's fresh bytes, as a group to place.
Group FreshRecord(Sheet& s, uint16_t type, const std::string& data) {
    Group g;
    g.fresh = true;
    g.off = static_cast<uint32_t>(s.fresh.size());
    AddRecord(s.fresh, type, data);
    g.len = static_cast<uint32_t>(s.fresh.size()) - g.off;
    return g;
}

Group FreshCell(Sheet& s, uint16_t type, const std::string& data, uint16_t r, uint16_t c) {
    Group g = FreshRecord(s, type, data);
    g.row = r;
    g.col1 = g.col2 = c;
    return g;
}

std::string CellHead(uint16_t r, uint16_t c, uint16_t ixfe) {
    std::string d;
    Add16(d, r);
    Add16(d, c);
    Add16(d, ixfe);
    return d;
}

bool AnchorsSharedFormula(const Sheet& s, const Group& found) {
    const std::string_view b = s.Bytes(found);
    if (U16(b.data()) != kFormula) return false;
    for (size_t p = 4u + U16(b.data() + 2); p + 4 <= b.size(); p += 4u + U16(b.data() + p + 2)) {
        const uint16_t ft = U16(b.data() + p);
        if (ft == kShrFmla || ft == kArray || ft == kTable) return true;
    }
    return false;
}

// A run (MULRK, MULBLANK) split into single cells around column c.
void SplitRun(Sheet& s, const Group& run, uint16_t c, std::vector<Group>& out) {
    const std::string_view b = s.Bytes(run);
    const uint16_t t = U16(b.data());
    if (t != kMulRk && t != kMulBlank) return;
    const std::string_view d = b.substr(4);
    for (uint16_t k = run.col1; k <= run.col2; ++k) {
        if (k == c) continue;
        const size_t i = k - run.col1;
        if (t == kMulRk) {
            std::string rd = CellHead(run.row, k, U16(d.data() + 4 + i * 6));
            rd.append(d.substr(6 + i * 6, 4));
            out.push_back(FreshCell(s, kRk, rd, run.row, k));
        } else {
            out.push_back(
                FreshCell(s, kBlank, CellHead(run.row, k, U16(d.data() + 4 + i * 2)), run.row, k));
        }
    }
}

std::vector<RowRec>::iterator RowAt(Sheet& s, uint16_t r) {
    return std::lower_bound(s.rows.begin(), s.rows.end(), r,
                            [](const RowRec& x, uint16_t v) { return x.row < v; });
}

// A new cell takes the format its row or column carries.
uint16_t NewCellXf(Sheet& s, uint16_t r, uint16_t c, uint16_t xf) {
    auto ri = RowAt(s, r);
    if (ri != s.rows.end() && ri->row == r) {
        const uint32_t flags = U32(s.RowBytes(*ri).data() + 16);
        if (flags & 0x80) return static_cast<uint16_t>((flags >> 16) & 0x0FFF);
    }
    for (const ColInfo& ci : s.cols)
        if (c >= ci.c1 && c <= ci.c2 && ci.ixfe != 0) xf = ci.ixfe;
    return xf;
}

size_t GroupSlot(const Sheet& s, uint16_t r, uint16_t c) {
    return static_cast<size_t>(
        std::lower_bound(s.groups.begin(), s.groups.end(), std::make_pair(r, c),
                         [](const Group& g, std::pair<uint16_t, uint16_t> v) {
                             return g.row != v.first ? g.row < v.first : g.col1 < v.second;
                         }) -
        s.groups.begin());
}

// Row r gets a ROW record if it has none, and is written again.
void TouchRow(Sheet& s, uint16_t r, uint16_t c) {
    auto ri = RowAt(s, r);
    if (ri == s.rows.end() || ri->row != r) {
        std::string d;
        Add16(d, r);
        Add16(d, c);
        Add16(d, static_cast<uint16_t>(c + 1));
        Add16(d, s.defaultRowHeight);
        Add16(d, 0);
        Add16(d, 0);
        Add16(d, 0x0100);
        Add16(d, 0x000F);
        RowRec nr;
        nr.row = r;
        nr.fresh = true;
        nr.off = static_cast<uint32_t>(s.fresh.size());
        AddRecord(s.fresh, kRow, d);
        ri = s.rows.insert(ri, nr);
    }
    ri->dirty = true;
}

void GrowDimensions(Sheet& s, uint16_t r, uint16_t c) {
    if (s.dimR2 <= s.dimR1 || s.dimC2 <= s.dimC1) {
        s.dimR1 = r;
        s.dimR2 = r + 1u;
        s.dimC1 = c;
        s.dimC2 = static_cast<uint16_t>(c + 1);
    } else {
        s.dimR1 = std::min<uint32_t>(s.dimR1, r);
        s.dimR2 = std::max<uint32_t>(s.dimR2, r + 1u);
        s.dimC1 = std::min<uint16_t>(s.dimC1, c);
        s.dimC2 = std::max<uint16_t>(s.dimC2, static_cast<uint16_t>(c + 1));
    }
}

} // namespace

bool Workbook::SetCellText(int sheet, int row, int col, const std::string& value) {
    Impl& m = *impl_;
    Sheet* s = m.Work(sheet);
    auto refuse = [&m](const std::string& why) {
        m.refused = true;
        return m.Fail(why);
    };
    if (!s) return refuse("no sheet number " + std::to_string(sheet + 1));
    if (row < 1 || row > MaxRows || col < 1 || col > MaxColumns)
        return refuse("cell row " + std::to_string(row) + ", column " + std::to_string(col) +
                      " lies outside the sheet");
    const std::u16string u = text::Utf8ToUtf16(value);
    if (u.size() > static_cast<size_t>(MaxCellChars))
        return refuse("text for cell " + CellRef(row, col) + " is longer than 32767 characters");

    const uint16_t r = static_cast<uint16_t>(row - 1), c = static_cast<uint16_t>(col - 1);
    const Group* found = m.Find(*s, row, col);
    if (found && AnchorsSharedFormula(*s, *found))
        return refuse("cell " + CellRef(row, col) +
                      " anchors a shared or array formula; it is left as it was");
    uint32_t sstIndex = 0;
    if (!value.empty()) {
        try {
            sstIndex = m.AddString(value);
        } catch (const std::exception& e) {
            return refuse(std::string("cannot store the text of cell ") + CellRef(row, col) + ": " +
                          e.what());
        }
    }
    uint16_t xf = m.defaultXf;
    size_t at; // where the new group goes in s->groups
    std::vector<Group> replacement;
    if (found) {
        xf = m.CellXf(*s, *found, col);
        if (U16(s->Bytes(*found).data()) == kLabelSst && m.sst.total > 0) --m.sst.total;
        at = static_cast<size_t>(found - s->groups.data());
        SplitRun(*s, *found, c, replacement);
        s->groups.erase(s->groups.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
        if (value.empty()) return true;
        xf = NewCellXf(*s, r, c, xf);
        at = GroupSlot(*s, r, c);
    }

    const bool have = !value.empty() || found;
    if (!value.empty()) {
        std::string d = CellHead(r, c, xf);
        Add32(d, sstIndex);
        replacement.push_back(FreshCell(*s, kLabelSst, d, r, c));
        ++m.sst.total;
    } else if (found) {
        replacement.push_back(
            FreshCell(*s, kBlank, CellHead(r, c, xf), r, c)); // emptied, but keeps its format
    }
    std::sort(replacement.begin(), replacement.end(),
              [](const Group& a, const Group& b) { return a.col1 < b.col1; });
    s->groups.insert(s->groups.begin() + static_cast<std::ptrdiff_t>(at), replacement.begin(),
                     replacement.end());
    TouchRow(*s, r, c);
    if (have) GrowDimensions(*s, r, c);
    s->modified = true;
    return true;
}

int Workbook::LastRow(int sheet) const {
    const Sheet* s = impl_->Work(sheet);
    if (!s) return 0;
    for (auto it = s->groups.rbegin(); it != s->groups.rend(); ++it)
        if (it->col1 < MaxColumns) return it->row + 1;
    return 0;
}

int Workbook::LastColumn(int sheet) const {
    const Sheet* s = impl_->Work(sheet);
    if (!s) return 0;
    int last = 0;
    for (const Group& g : s->groups)
        if (g.col1 < MaxColumns) last = std::max(last, std::min<int>(g.col2, MaxColumns - 1) + 1);
    return last;
}

} // namespace pelkor::xls
