#include "config/PrivateProfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "util/AtomicFile.h"
#include "util/Text.h"
#include "util/Utf.h"

namespace pelkor {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBom16LE = "\xFF\xFE";
constexpr std::string_view kBom16BE = "\xFE\xFF";

// UTF-16 text (after its mark) as UTF-8; a lone surrogate or odd last byte
// becomes U+FFFD rather than being lost silently.
std::string FromUtf16(std::string_view in, bool bigEndian) {
    std::u16string units;
    units.reserve(in.size() / 2);
    for (std::size_t i = 0; i + 1 < in.size(); i += 2) {
        auto a = static_cast<unsigned char>(in[i]), b = static_cast<unsigned char>(in[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
    }
    std::string out = Utf16ToUtf8(units);
    if (in.size() % 2) AppendUtf8(out, 0xFFFD);
    return out;
}

// UTF-8 as UTF-16; a byte that does not start a valid UTF-8 sequence is
// taken as Latin-1.
std::string ToUtf16(std::string_view in, bool bigEndian) {
    std::string out;
    out.reserve(in.size() * 2);
    for (char16_t u : Utf8ToUtf16(in, BadUtf8::Latin1)) {
        char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

enum class LineKind { Other, Section, Key };

struct LineInfo {
    LineKind Kind = LineKind::Other;
    std::string_view Name;
    std::string_view Value;
};

LineInfo Classify(std::string_view line) {
    LineInfo info;
    std::string_view t = TrimView(line);
    if (t.empty() || t.front() == ';') return info;
    if (t.front() == '[') {
        std::size_t close = t.find(']');
        info.Kind = LineKind::Section;
        info.Name =
            TrimView(close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1));
        return info;
    }
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return info;
    info.Name = TrimView(t.substr(0, eq));
    if (info.Name.empty()) return info;
    info.Kind = LineKind::Key;
    info.Value = TrimView(t.substr(eq + 1));
    return info;
}

// The value as a read returns it: up to a NUL, one pair of matching quotes
// removed, at most ProfileValueLimit bytes without splitting a UTF-8 character.
std::string ReadValue(std::string_view raw, std::size_t limit = ProfileValueLimit) {
    std::size_t nul = raw.find('\0');
    if (nul != std::string_view::npos) raw = TrimView(raw.substr(0, nul));
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
        raw = raw.substr(1, raw.size() - 2);
    if (raw.size() > limit) {
        std::size_t n = limit;
        while (n > 0 && (static_cast<unsigned char>(raw[n]) & 0xC0) == 0x80)
            --n;
        raw = raw.substr(0, n);
    }
    return std::string(raw);
}

bool ValidSectionName(std::string_view name) {
    return !name.empty() && name.find_first_of("]\r\n", 0) == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool ValidKeyName(std::string_view name) {
    return !name.empty() && name.front() != '[' && name.front() != ';' &&
           name.find_first_of("=\r\n") == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

// A value must stay on its line.
std::string LineSafeValue(std::string_view value) {
    std::size_t nul = value.find('\0');
    if (nul != std::string_view::npos) value = value.substr(0, nul);
    std::string v(value);
    for (char& c : v)
        if (c == '\r' || c == '\n') c = ' ';
    return v;
}

std::string Lower(std::string_view s) {
    return LowerCase(s);
}

bool IsBlankLine(const std::string& line) {
    return TrimView(line).empty();
}

std::string ErrnoText() {
    return std::strerror(errno);
}

} // namespace

ProfileDocument ProfileDocument::Parse(std::string_view text) {
    ProfileDocument doc;
    std::string decoded;
    if (text.substr(0, kBom.size()) == kBom) {
        doc.encoding_ = Encoding::Utf8Bom;
        text.remove_prefix(kBom.size());
    } else if (text.substr(0, 2) == kBom16LE || text.substr(0, 2) == kBom16BE) {
        bool big = text.substr(0, 2) == kBom16BE;
        doc.encoding_ = big ? Encoding::Utf16BE : Encoding::Utf16LE;
        decoded = FromUtf16(text.substr(2), big);
        text = decoded;
    }
    // A write keeps the file's own line ends and whether its last line has one.
    if (std::size_t first = text.find_first_of("\r\n"); first != std::string_view::npos) {
        doc.eol_ = text[first] == '\n' ? "\n" : text.substr(first, 2) == "\r\n" ? "\r\n" : "\r";
        doc.finalEol_ = text.back() == '\n' || text.back() == '\r';
    } else {
        doc.finalEol_ = text.empty();
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            doc.lines_.emplace_back(text.substr(start));
            break;
        }
        doc.lines_.emplace_back(text.substr(start, end - start));
        start =
            end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return doc;
}

void ProfileDocument::Reindex() const {
    if (indexed_) return;
    index_.clear();
    SectionIndex* current = nullptr; // null: before any section or in a duplicate
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        LineInfo info = Classify(lines_[i]);
        if (info.Kind == LineKind::Section) {
            if (current) current->end = i;
            auto [it, inserted] = index_.try_emplace(Lower(info.Name));
            current = inserted ? &it->second : nullptr;
            if (current) {
                current->header = i;
                current->lastKey = i;
            }
        } else if (info.Kind == LineKind::Key && current) {
            current->keys.try_emplace(Lower(info.Name), i);
            current->lastKey = i;
        }
    }
    if (current) current->end = lines_.size();
    indexed_ = true;
}

const ProfileDocument::SectionIndex* ProfileDocument::FindSection(std::string_view section) const {
    Reindex();
    auto it = index_.find(Lower(TrimView(section)));
    return it == index_.end() ? nullptr : &it->second;
}

bool ProfileDocument::Find(std::string_view section, std::string_view key, std::string& value,
                           bool whole) const {
    const SectionIndex* s = FindSection(section);
    if (!s) return false;
    auto it = s->keys.find(Lower(TrimView(key)));
    if (it == s->keys.end()) return false;
    value = ReadValue(Classify(lines_[it->second]).Value,
                      whole ? std::string_view::npos : ProfileValueLimit);
    return true;
}

std::string ProfileDocument::GetWhole(std::string_view section, std::string_view key) const {
    std::string value;
    return Find(section, key, value, true) ? value : std::string();
}

std::string ProfileDocument::Get(std::string_view section, std::string_view key,
                                 std::string_view def) const {
    std::string value;
    if (Find(section, key, value)) return value;
    return std::string(def);
}

bool ProfileDocument::HasSection(std::string_view section) const {
    return FindSection(section) != nullptr;
}

std::vector<std::string> ProfileDocument::SectionNames() const {
    std::vector<std::string> names;
    Reindex();
    std::vector<std::pair<std::size_t, std::string>> found;
    for (const auto& [lower, s] : index_)
        found.emplace_back(s.header, std::string(Classify(lines_[s.header]).Name));
    std::sort(found.begin(), found.end());
    for (auto& f : found)
        names.push_back(std::move(f.second));
    return names;
}

std::vector<std::pair<std::string, std::string>>
ProfileDocument::SectionEntries(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> entries;
    const SectionIndex* s = FindSection(section);
    if (!s) return entries;
    for (std::size_t i = s->header + 1; i < s->end; ++i) {
        LineInfo info = Classify(lines_[i]);
        if (info.Kind != LineKind::Key) continue;
        auto it = s->keys.find(Lower(info.Name));
        if (it != s->keys.end() && it->second == i)
            entries.emplace_back(std::string(info.Name), ReadValue(info.Value));
    }
    return entries;
}

bool ProfileDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    section = TrimView(section);
    key = TrimView(key);
    if (!ValidSectionName(section) || !ValidKeyName(key)) return false;
    std::string safe = LineSafeValue(value);
    const SectionIndex* s = FindSection(section);
    if (s) {
        auto it = s->keys.find(Lower(key));
        if (it != s->keys.end()) {
            // Keep the key as the file spells it; the line count is unchanged,
            // so the index stays valid.
            std::string name(Classify(lines_[it->second]).Name);
            lines_[it->second] = name + "=" + safe;
            return true;
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(s->lastKey + 1),
                      std::string(key) + "=" + safe);
    } else {
        if (!lines_.empty() && !IsBlankLine(lines_.back())) lines_.emplace_back();
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(std::string(key) + "=" + safe);
    }
    indexed_ = false;
    return true;
}

bool ProfileDocument::RemoveKey(std::string_view section, std::string_view key) {
    const SectionIndex* s = FindSection(section);
    if (!s) return false;
    std::string lower = Lower(TrimView(key));
    bool removed = false;
    for (std::size_t i = s->end; i-- > s->header + 1;) {
        LineInfo info = Classify(lines_[i]);
        if (info.Kind == LineKind::Key && Lower(info.Name) == lower) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
            removed = true;
        }
    }
    if (removed) indexed_ = false;
    return removed;
}

bool ProfileDocument::RemoveSection(std::string_view section) {
    std::string lower = Lower(TrimView(section));
    // Ranges [header, last key] of every section of that name; comments and
    // blank lines after the last key are left to what follows.
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    bool inside = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        LineInfo info = Classify(lines_[i]);
        if (info.Kind == LineKind::Section) {
            inside = Lower(info.Name) == lower;
            if (inside) ranges.emplace_back(i, i);
        } else if (inside && info.Kind == LineKind::Key) {
            ranges.back().second = i;
        }
    }
    for (auto r = ranges.rbegin(); r != ranges.rend(); ++r) {
        std::size_t h = r->first;
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(h),
                     lines_.begin() + static_cast<std::ptrdiff_t>(r->second + 1));
        // Do not leave two blank lines (or a trailing one) where it stood.
        if (h > 0 && IsBlankLine(lines_[h - 1]) && (h == lines_.size() || IsBlankLine(lines_[h])))
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(h - 1));
    }
    if (!ranges.empty()) indexed_ = false;
    return !ranges.empty();
}

std::string ProfileDocument::Text() const {
    std::string out;
    std::size_t size = kBom.size();
    for (const auto& l : lines_)
        size += l.size() + 2;
    out.reserve(size);
    if (encoding_ == Encoding::Utf8Bom) out += kBom;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i];
        if (i + 1 < lines_.size() || finalEol_) out += eol_;
    }
    if (encoding_ == Encoding::Utf16LE) return std::string(kBom16LE) + ToUtf16(out, false);
    if (encoding_ == Encoding::Utf16BE) return std::string(kBom16BE) + ToUtf16(out, true);
    return out;
}

namespace {

// One key looked up in the file text without building a document: the same
// rules as ProfileDocument::Find, at a fraction of the cost for one value.
bool FindInText(std::string_view text, std::string_view section, std::string_view key,
                std::string& value) {
    if (text.substr(0, 2) == kBom16LE || text.substr(0, 2) == kBom16BE)
        return ProfileDocument::Parse(text).Find(section, key, value);
    if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
    section = TrimView(section);
    key = TrimView(key);
    bool inside = false;
    bool seen = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        LineInfo info = Classify(text.substr(start, end - start));
        start = end + 1;
        if (info.Kind == LineKind::Section) {
            if (inside) return false; // only the first section of that name counts
            inside = !seen && EqualsNoCase(info.Name, section);
            seen = seen || inside;
        } else if (inside && info.Kind == LineKind::Key && EqualsNoCase(info.Name, key)) {
            value = ReadValue(info.Value);
            return true;
        }
    }
    return false;
}

// The whole file; a missing file is empty text.
bool ReadWholeFile(const std::string& file, std::string& text, std::string& error) {
    text.clear();
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return true;
        error = "Cannot read " + file + " : " + ErrnoText();
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = "Cannot read " + file + " : it is a folder";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "Cannot read " + file + " : " + ErrnoText();
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) {
        error = "Cannot read " + file + " : " + ErrnoText();
        return false;
    }
    text = std::move(s).str();
    return true;
}

} // namespace

bool LoadProfileFile(const std::string& file, ProfileDocument& doc, std::string& error) {
    std::string text;
    if (!ReadWholeFile(file, text, error)) return false;
    doc = ProfileDocument::Parse(text);
    return true;
}

bool SaveProfileFile(const std::string& file, const ProfileDocument& doc, std::string& error) {
    return ReplaceFile(file, doc.Text(), error);
}

std::string ReadProfileString(const std::string& file, std::string_view section,
                              std::string_view key, std::string_view def) {
    std::string text, error, value;
    if (!ReadWholeFile(file, text, error) || !FindInText(text, section, key, value))
        return std::string(def);
    return value;
}

bool ReadProfileString(const std::string& file, std::string_view section, std::string_view key,
                       std::string& value, std::string& error) {
    value.clear();
    std::string text;
    if (!ReadWholeFile(file, text, error)) return false;
    FindInText(text, section, key, value);
    return true;
}

bool WriteProfileStrings(const std::string& file, const std::vector<ProfileWrite>& writes,
                         std::string* error) {
    std::string why;
    ProfileDocument doc;
    if (!LoadProfileFile(file, doc, why)) {
        if (error) *error = why;
        return false;
    }
    bool changed = false;
    for (const ProfileWrite& w : writes) {
        if (w.Erase) {
            changed = doc.RemoveKey(w.Section, w.Key) || changed;
        } else if (doc.Set(w.Section, w.Key, w.Value)) {
            changed = true;
        } else {
            if (error)
                *error =
                    "Cannot write [" + w.Section + "] " + w.Key + " : invalid section or key name";
            return false;
        }
    }
    if (!changed) return true;
    if (!SaveProfileFile(file, doc, why)) {
        if (error) *error = why;
        return false;
    }
    return true;
}

bool WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                        std::string_view value, std::string* error) {
    return WriteProfileStrings(
        file, {{std::string(section), std::string(key), std::string(value), false}}, error);
}

bool DeleteProfileKey(const std::string& file, std::string_view section, std::string_view key,
                      std::string* error) {
    return WriteProfileStrings(file, {{std::string(section), std::string(key), {}, true}}, error);
}

bool DeleteProfileSection(const std::string& file, std::string_view section, std::string* error) {
    std::string why;
    ProfileDocument doc;
    if (!LoadProfileFile(file, doc, why)) {
        if (error) *error = why;
        return false;
    }
    if (!doc.RemoveSection(section)) return true;
    if (!SaveProfileFile(file, doc, why)) {
        if (error) *error = why;
        return false;
    }
    return true;
}

} // namespace pelkor
