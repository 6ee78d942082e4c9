#include "xls/Cfb.h"

#include <algorithm>
#include <cctype>

#include "xls/Bytes.h"

namespace pelkor::xls::cfb {

using namespace bytes;

namespace {

constexpr uint32_t FreeSect = 0xFFFFFFFFu;
constexpr uint32_t EndOfChain = 0xFFFFFFFEu;
constexpr uint32_t FatSect = 0xFFFFFFFDu;
constexpr uint32_t DifSect = 0xFFFFFFFCu;
constexpr uint32_t MaxRegSect = 0xFFFFFFFAu;
constexpr char Signature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};
constexpr uint32_t MiniCutoff = 4096;
constexpr uint32_t MiniSize = 64;
constexpr uint32_t WriteSector = 512;

class Reader {
public:
    Reader(const std::string& b, std::string& err) : bytes_(b), error_(err) {}

    bool Run(File& out) {
        if (bytes_.size() < 512 || std::memcmp(bytes_.data(), Signature, 8) != 0)
            return Fail("not an Excel 97-2003 workbook (no compound-file signature)");
        const char* h = bytes_.data();
        const uint16_t major = U16(h + 26);
        const uint16_t shift = U16(h + 30);
        if (U16(h + 28) != 0xFFFE || !((major == 3 && shift == 9) || (major == 4 && shift == 12)) ||
            U16(h + 32) != 6)
            return Fail("damaged compound-file header");
        ss_ = 1u << shift;
        if (bytes_.size() < ss_) return Fail("file truncated inside the compound-file header");
        sectors_ = static_cast<uint32_t>(
            std::min<uint64_t>((bytes_.size() - ss_ + ss_ - 1) / ss_, MaxRegSect));
        cutoff_ = U32(h + 56);
        if (cutoff_ == 0 || cutoff_ > 0x100000) cutoff_ = MiniCutoff;
        stamp_.assign(sectors_, 0);

        if (!ReadFat(h)) return false;
        std::string dir;
        if (!ReadChain(U32(h + 48), 0, true, dir)) return Fail("damaged directory chain");
        const size_t count = std::min<size_t>(dir.size() / 128, 1u << 20);
        if (count == 0) return Fail("compound file without a directory");
        out.entries.resize(count);
        for (size_t i = 0; i < count; ++i) {
            Entry& e = out.entries[i];
            e.raw = dir.substr(i * 128, 128);
            const char* p = e.raw.data();
            e.type = static_cast<uint8_t>(p[66]);
            const uint16_t nameBytes = U16(p + 64);
            if (e.type != 0 && (nameBytes > 64 || nameBytes % 2 != 0))
                return Fail("damaged directory entry");
            for (uint16_t k = 0; e.type != 0 && k + 2 < nameBytes; k += 2)
                e.name.push_back(U16(p + k));
            e.left = U32(p + 68);
            e.right = U32(p + 72);
            e.child = U32(p + 76);
        }
        if (out.entries[0].type != 5) return Fail("compound file without a root entry");
        if (!MarkTree(out)) return Fail("damaged directory tree");

        // The root entry's stream is the mini stream; v3 files may hold junk in the size's high
        // half.
        const Entry& root = out.entries[0];
        if (!ReadStream(root.raw, major, false, mini_)) return Fail("damaged mini stream");
        std::string miniFatBytes;
        if (!ReadChain(U32(h + 60), 0, true, miniFatBytes))
            return Fail("damaged mini allocation table");
        miniFat_.resize(miniFatBytes.size() / 4);
        for (size_t i = 0; i < miniFat_.size(); ++i)
            miniFat_[i] = U32(miniFatBytes.data() + i * 4);
        miniStamp_.assign(mini_.size() / MiniSize, 0);

        for (size_t i = 1; i < count; ++i) {
            Entry& e = out.entries[i];
            if (!e.reachable || e.type != 2) continue;
            if (!ReadStream(e.raw, major, true, e.data))
                return Fail("damaged stream \"" + Ascii(e.name) + "\"");
        }
        return true;
    }

private:
    bool Fail(const std::string& text) {
        error_ = text;
        return false;
    }

    static std::string Ascii(const std::u16string& n) {
        std::string s;
        for (char16_t c : n)
            s.push_back(c >= 32 && c < 127 ? static_cast<char>(c) : '?');
        return s;
    }

    bool SectorOk(uint32_t s) const {
        return s < sectors_ && static_cast<uint64_t>(s + 1) * ss_ < bytes_.size();
    }
    // Table sectors are read in place, so they must lie wholly in the file.
    bool SectorWhole(uint32_t s) const {
        return s < sectors_ && static_cast<uint64_t>(s + 2) * ss_ <= bytes_.size();
    }

    void AppendSector(uint32_t s, std::string& out) const {
        const size_t off = static_cast<size_t>(s + 1) * ss_;
        out.append(bytes_, off, std::min<size_t>(ss_, bytes_.size() - off));
        out.resize(out.size() + (ss_ - std::min<size_t>(ss_, bytes_.size() - off)), '\0');
    }

    bool ReadFat(const char* h) {
        const uint32_t fatCount = U32(h + 44);
        if (fatCount > sectors_)
            return Fail("damaged compound-file header (allocation table size)");
        std::vector<uint32_t> fatSectors;
        for (uint32_t i = 0; i < 109 && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(U32(h + 76 + i * 4));
        uint32_t dif = U32(h + 68);
        const uint32_t perDif = ss_ / 4 - 1;
        for (uint32_t n = 0; fatSectors.size() < fatCount; ++n) {
            if (n >= sectors_ || !SectorWhole(dif) || stamp_[dif] != 0)
                return Fail("damaged allocation-table index");
            stamp_[dif] = 1;
            const char* p = bytes_.data() + static_cast<size_t>(dif + 1) * ss_;
            for (uint32_t i = 0; i < perDif && fatSectors.size() < fatCount; ++i)
                fatSectors.push_back(U32(p + i * 4));
            dif = U32(p + perDif * 4);
        }
        fat_.reserve(static_cast<size_t>(fatCount) * (ss_ / 4));
        for (uint32_t s : fatSectors) {
            if (!SectorWhole(s)) return Fail("allocation-table sector outside the file");
            const char* p = bytes_.data() + static_cast<size_t>(s + 1) * ss_;
            for (uint32_t i = 0; i < ss_ / 4; ++i)
                fat_.push_back(U32(p + i * 4));
        }
        std::fill(stamp_.begin(), stamp_.end(), 0);
        return true;
    }

    // Follows a chain: `size` bytes, or to its end when `toEnd`. Each read
    // gets a fresh stamp, so revisiting a sector (a cycle) is caught at once.
    bool ReadChain(uint32_t start, uint64_t size, bool toEnd, std::string& out) {
        ++stampNo_;
        out.clear();
        if (!toEnd) {
            if (size > static_cast<uint64_t>(sectors_) * ss_) return false;
            out.reserve(static_cast<size_t>(size));
        }
        uint32_t s = start;
        while (toEnd ? s != EndOfChain : out.size() < size) {
            if (!SectorOk(s) || s >= fat_.size() || stamp_[s] == stampNo_) return false;
            stamp_[s] = stampNo_;
            AppendSector(s, out);
            s = fat_[s];
        }
        if (!toEnd) out.resize(static_cast<size_t>(size));
        return true;
    }

    bool ReadMini(uint32_t start, uint64_t size, std::string& out) {
        ++stampNo_;
        out.clear();
        if (size > mini_.size()) return false;
        uint32_t s = start;
        while (out.size() < size) {
            if (s >= miniStamp_.size() || s >= miniFat_.size() || miniStamp_[s] == stampNo_)
                return false;
            miniStamp_[s] = stampNo_;
            out.append(mini_, static_cast<size_t>(s) * MiniSize, MiniSize);
            s = miniFat_[s];
        }
        out.resize(static_cast<size_t>(size));
        return true;
    }

    bool ReadStream(const std::string& raw, uint16_t major, bool allowMini, std::string& out) {
        const uint32_t start = U32(raw.data() + 116);
        uint64_t size = major == 3 ? U32(raw.data() + 120) : U64(raw.data() + 120);
        if (size == 0) {
            out.clear();
            return true;
        }
        if (allowMini && size < cutoff_) return ReadMini(start, size, out);
        return ReadChain(start, size, false, out);
    }

    bool MarkTree(File& f) {
        const size_t n = f.entries.size();
        std::vector<uint32_t> stack{0};
        size_t steps = 0;
        while (!stack.empty()) {
            const uint32_t i = stack.back();
            stack.pop_back();
            if (i >= n || f.entries[i].reachable || ++steps > n) return false;
            Entry& e = f.entries[i];
            if (e.type == 0) return false;
            e.reachable = true;
            if (i != 0) { // the root has no siblings
                if (e.left != NoStream) stack.push_back(e.left);
                if (e.right != NoStream) stack.push_back(e.right);
            }
            if (e.type != 2 && e.child != NoStream) stack.push_back(e.child);
        }
        return true;
    }

    const std::string& bytes_;
    std::string& error_;
    uint32_t ss_ = 512, sectors_ = 0, cutoff_ = MiniCutoff, stampNo_ = 1;
    std::vector<uint32_t> fat_, miniFat_, stamp_, miniStamp_;
    std::string mini_;
};

bool SameName(const std::u16string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char16_t x =
            a[i] < 128 ? static_cast<char16_t>(std::toupper(static_cast<int>(a[i]))) : a[i];
        const char16_t y = static_cast<char16_t>(std::toupper(static_cast<unsigned char>(b[i])));
        if (x != y) return false;
    }
    return true;
}

std::string EmptyEntry() {
    std::string e(128, '\0');
    Put32(e.data() + 68, NoStream);
    Put32(e.data() + 72, NoStream);
    Put32(e.data() + 76, NoStream);
    return e;
}

void AppendChain(std::vector<uint32_t>& table, uint32_t first, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        table.push_back(i + 1 < count ? first + i + 1 : EndOfChain);
}

} // namespace

int File::FindRootStream(const std::string& name) const {
    if (entries.empty()) return -1;
    std::vector<uint32_t> stack;
    if (entries[0].child != NoStream) stack.push_back(entries[0].child);
    size_t steps = 0;
    while (!stack.empty() && ++steps <= entries.size()) {
        const uint32_t i = stack.back();
        stack.pop_back();
        if (i >= entries.size()) continue;
        const Entry& e = entries[i];
        if (e.type == 2 && SameName(e.name, name)) return static_cast<int>(i);
        if (e.left != NoStream) stack.push_back(e.left);
        if (e.right != NoStream) stack.push_back(e.right);
    }
    return -1;
}

bool Read(const std::string& bytes, File& out, std::string& error) {
    out.entries.clear();
    Reader r(bytes, error);
    if (!r.Run(out)) {
        out.entries.clear();
        return false;
    }
    return true;
}

File MakeSingleStream(const std::string& name, std::string data) {
    File f;
    Entry root;
    root.raw = EmptyEntry();
    root.type = 5;
    root.name = u"Root Entry";
    Entry s;
    s.raw = EmptyEntry();
    s.type = 2;
    for (char c : name)
        s.name.push_back(static_cast<char16_t>(c));
    s.data = std::move(data);
    for (Entry* e : {&root, &s}) {
        for (size_t i = 0; i < e->name.size(); ++i)
            Put16(e->raw.data() + i * 2, e->name[i]);
        Put16(e->raw.data() + 64, static_cast<uint16_t>((e->name.size() + 1) * 2));
        e->raw[66] = static_cast<char>(e->type);
        e->raw[67] = 1; // black
        e->reachable = true;
    }
    root.child = 1;
    Put32(root.raw.data() + 76, 1);
    f.entries.push_back(std::move(root));
    f.entries.push_back(std::move(s));
    return f;
}

bool Write(const File& file, std::string& out, std::string& error) {
    out.clear();
    return Write(
        file,
        [&out](std::string_view piece) {
            out.append(piece);
            return true;
        },
        error);
}

namespace {

// Where everything goes: FAT, DIFAT, directory, mini FAT, mini stream, then
// the large streams.
struct Layout {
    std::vector<uint32_t> miniStart, bigStart;
    uint64_t miniSectors = 0, bigSectors = 0, dirSecs = 0, miniFatSecs = 0, miniBytes = 0,
             miniStreamSecs = 0;
    uint64_t fatSecs = 1, difSecs = 0;
    uint32_t firstDif = 0, firstDir = 0, firstMiniFat = 0, firstMiniStream = 0;
};

bool CountSectors(const File& file, Layout& l, std::string& error) {
    const size_t n = file.entries.size();
    l.miniStart.assign(n, EndOfChain);
    l.bigStart.assign(n, EndOfChain);
    for (size_t i = 1; i < n; ++i) {
        const Entry& e = file.entries[i];
        if (!e.reachable || e.type != 2 || e.data.empty()) continue;
        if (e.data.size() > 0x7FFFFFFFu) {
            error = "stream too large for the file format";
            return false;
        }
        if (e.data.size() < MiniCutoff) {
            l.miniStart[i] = static_cast<uint32_t>(l.miniSectors);
            l.miniSectors += (e.data.size() + MiniSize - 1) / MiniSize;
        } else {
            l.bigSectors += (e.data.size() + WriteSector - 1) / WriteSector;
        }
    }
    return true;
}

bool PlanLayout(const File& file, Layout& l, std::string& error) {
    if (!CountSectors(file, l, error)) return false;
    const size_t n = file.entries.size();
    l.dirSecs = (n * 128 + WriteSector - 1) / WriteSector;
    l.miniFatSecs = (l.miniSectors * 4 + WriteSector - 1) / WriteSector;
    l.miniBytes = l.miniSectors * MiniSize;
    l.miniStreamSecs = (l.miniBytes + WriteSector - 1) / WriteSector;
    const uint64_t other = l.dirSecs + l.miniFatSecs + l.miniStreamSecs + l.bigSectors;
    for (;;) {
        const uint64_t total = other + l.fatSecs + l.difSecs;
        const uint64_t needFat = (total + 127) / 128;
        const uint64_t needDif = needFat > 109 ? (needFat - 109 + 126) / 127 : 0;
        if (needFat <= l.fatSecs && needDif <= l.difSecs) break;
        l.fatSecs = std::max(l.fatSecs, needFat);
        l.difSecs = std::max(l.difSecs, needDif);
    }
    if ((other + l.fatSecs + l.difSecs) * WriteSector > 0x7FFFFFFFu) {
        error = "workbook too large for the file format";
        return false;
    }
    l.firstDif = static_cast<uint32_t>(l.fatSecs);
    l.firstDir = static_cast<uint32_t>(l.fatSecs + l.difSecs);
    l.firstMiniFat = static_cast<uint32_t>(l.firstDir + l.dirSecs);
    l.firstMiniStream = static_cast<uint32_t>(l.firstMiniFat + l.miniFatSecs);
    uint32_t next = static_cast<uint32_t>(l.firstMiniStream + l.miniStreamSecs);
    for (size_t i = 1; i < n; ++i) {
        const Entry& e = file.entries[i];
        if (!e.reachable || e.type != 2 || e.data.size() < MiniCutoff) continue;
        l.bigStart[i] = next;
        next += static_cast<uint32_t>((e.data.size() + WriteSector - 1) / WriteSector);
    }
    return true;
}

void BuildFats(const File& file, const Layout& l, std::vector<uint32_t>& fat,
               std::vector<uint32_t>& miniFat) {
    fat.reserve(static_cast<size_t>(l.fatSecs) * 128);
    fat.insert(fat.end(), static_cast<size_t>(l.fatSecs), FatSect);
    fat.insert(fat.end(), static_cast<size_t>(l.difSecs), DifSect);
    AppendChain(fat, l.firstDir, static_cast<uint32_t>(l.dirSecs));
    AppendChain(fat, l.firstMiniFat, static_cast<uint32_t>(l.miniFatSecs));
    AppendChain(fat, l.firstMiniStream, static_cast<uint32_t>(l.miniStreamSecs));
    for (size_t i = 1; i < file.entries.size(); ++i) {
        const Entry& e = file.entries[i];
        if (l.bigStart[i] != EndOfChain)
            AppendChain(fat, l.bigStart[i],
                        static_cast<uint32_t>((e.data.size() + WriteSector - 1) / WriteSector));
        else if (l.miniStart[i] != EndOfChain)
            AppendChain(miniFat, l.miniStart[i],
                        static_cast<uint32_t>((e.data.size() + MiniSize - 1) / MiniSize));
    }
    fat.resize(static_cast<size_t>(l.fatSecs) * 128, FreeSect);
    miniFat.resize(static_cast<size_t>(l.miniFatSecs) * 128, FreeSect);
}

void AppendHeader(const Layout& l, std::string& out) {
    out.resize(512, '\0');
    char* h = out.data();
    std::memcpy(h, Signature, 8);
    Put16(h + 24, 0x003E);
    Put16(h + 26, 3);
    Put16(h + 28, 0xFFFE);
    Put16(h + 30, 9);
    Put16(h + 32, 6);
    Put32(h + 44, static_cast<uint32_t>(l.fatSecs));
    Put32(h + 48, l.firstDir);
    Put32(h + 56, MiniCutoff);
    Put32(h + 60, l.miniFatSecs ? l.firstMiniFat : EndOfChain);
    Put32(h + 64, static_cast<uint32_t>(l.miniFatSecs));
    Put32(h + 68, l.difSecs ? l.firstDif : EndOfChain);
    Put32(h + 72, static_cast<uint32_t>(l.difSecs));
    for (uint32_t i = 0; i < 109; ++i)
        Put32(h + 76 + i * 4, i < l.fatSecs ? i : FreeSect);
}

void AppendTable(const std::vector<uint32_t>& t, std::string& out) {
    for (uint32_t v : t)
        Add32(out, v);
}

void AppendDifat(const Layout& l, std::string& out) {
    for (uint64_t d = 0; d < l.difSecs; ++d) {
        for (uint64_t k = 0; k < 127; ++k) {
            const uint64_t fatIndex = 109 + d * 127 + k;
            Add32(out, fatIndex < l.fatSecs ? static_cast<uint32_t>(fatIndex) : FreeSect);
        }
        Add32(out, d + 1 < l.difSecs ? static_cast<uint32_t>(l.firstDif + d + 1) : EndOfChain);
    }
}

void AppendDirectory(const File& file, const Layout& l, std::string& out) {
    const size_t dirAt = out.size();
    for (size_t i = 0; i < file.entries.size(); ++i) {
        const Entry& e = file.entries[i];
        if (!e.reachable) {
            out += EmptyEntry();
            continue;
        }
        std::string raw = e.raw;
        raw.resize(128, '\0');
        if (e.type == 5) {
            Put32(raw.data() + 116, l.miniStreamSecs ? l.firstMiniStream : EndOfChain);
            Put64(raw.data() + 120, l.miniBytes);
        } else if (e.type == 2) {
            Put32(raw.data() + 116, l.bigStart[i] != EndOfChain ? l.bigStart[i] : l.miniStart[i]);
            Put64(raw.data() + 120, e.data.size());
        }
        out += raw;
    }
    while ((out.size() - dirAt) % WriteSector)
        out += EmptyEntry();
}

void AppendMiniStream(const File& file, const Layout& l, std::string& out) {
    for (size_t i = 1; i < file.entries.size(); ++i) {
        if (l.miniStart[i] == EndOfChain) continue;
        const std::string& d = file.entries[i].data;
        out += d;
        out.resize(out.size() + (MiniSize - d.size() % MiniSize) % MiniSize, '\0');
    }
    out.resize(out.size() + (WriteSector - out.size() % WriteSector) % WriteSector, '\0');
}

} // namespace

bool Write(const File& file, const Sink& sink, std::string& error) {
    const size_t n = file.entries.size();
    if (n == 0 || file.entries[0].type != 5) {
        error = "compound file without a root entry";
        return false;
    }
    Layout l;
    if (!PlanLayout(file, l, error)) return false;
    std::vector<uint32_t> fat, miniFat;
    BuildFats(file, l, fat, miniFat);

    std::string out; // everything up to the large streams
    out.reserve(static_cast<size_t>((l.firstMiniStream + l.miniStreamSecs + 1) * WriteSector));
    AppendHeader(l, out);
    AppendTable(fat, out);
    AppendDifat(l, out);
    AppendDirectory(file, l, out);
    AppendTable(miniFat, out);
    AppendMiniStream(file, l, out);
    auto failed = [&error]() {
        if (error.empty()) error = "the file could not be written";
        return false;
    };
    error.clear();
    if (!sink(out)) return failed();
    const std::string padding(WriteSector, '\0');
    for (size_t i = 1; i < n; ++i) {
        if (l.bigStart[i] == EndOfChain) continue;
        const std::string& d = file.entries[i].data;
        if (!sink(d) || !sink(std::string_view(padding).substr(
                            0, (WriteSector - d.size() % WriteSector) % WriteSector)))
            return failed();
    }
    return true;
}

} // namespace pelkor::xls::cfb
