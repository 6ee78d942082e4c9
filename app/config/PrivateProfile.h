#pragma once
// Private-profile ("ini") files with the Windows semantics start files,
// the command file and PG5's ini files are written for:
//  - section and key names compare without regard to ASCII case;
//  - "[name]" opens a section, "key=value" is a key (blanks around the key
//    and the value are ignored), a line starting with ";" is a comment, other
//    lines are kept but mean nothing; keys before the first section are
//    ignored;
//  - a duplicate section or key: the first one wins;
//  - a value is read up to its first NUL, one pair of matching quotes ('' or
//    "") around it is removed, and it is cut at 2047 characters;
//  - a missing file, section or key reads as the default;
//  - a write keeps every other line (order, comments, blank lines, unknown
//    sections) as it was; a new key goes after the last key of its section, a
//    new section at the end of the file; deleting a section removes its
//    header and keys; the file keeps its own line ends (CR LF, LF or CR)
//    and its final line end or the lack of one; a new file gets CR LF;
//  - the text is UTF-8 (or single-byte text, passed through as it is); a
//    file saved as UTF-16 with its byte-order mark (Notepad's "Unicode") is
//    read as such and written back in the same form, as is a UTF-8 one with
//    its mark;
//  - a write replaces the file atomically (util/AtomicFile.h): a crash never
//    leaves a half-written file, links are followed, and a read-only file
//    (no write permission bit) or folder makes the write fail;
//  - CR and LF inside a written value become blanks (a value cannot start a
//    new line of the file); a key or section name that cannot be written
//    back unambiguously ("=" or line breaks in a key, "]" in a section, empty
//    names) makes the write fail.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pelkor {

// Longest value a read returns (the Windows read buffer of 2048 characters).
constexpr std::size_t ProfileValueLimit = 2047;

// The text of one profile file held in memory.
class ProfileDocument {
public:
    ProfileDocument() = default;
    // Lines may end in CR LF, LF or CR; a leading byte-order mark decides
    // the encoding, which Text() keeps.
    static ProfileDocument Parse(std::string_view text);

    // The value with the read rules above; false when the key is absent.
    bool Find(std::string_view section, std::string_view key, std::string& value,
              bool whole = false) const;
    // The value without the length cut (start files: a long resource list
    // read back whole); empty when absent.
    std::string GetWhole(std::string_view section, std::string_view key) const;
    // The value, or def when the key is absent.
    std::string Get(std::string_view section, std::string_view key,
                    std::string_view def = {}) const;
    bool HasSection(std::string_view section) const;
    // Section names in file order (first occurrence of each).
    std::vector<std::string> SectionNames() const;
    // Keys and values of a section in file order (duplicates left out).
    std::vector<std::pair<std::string, std::string>> SectionEntries(std::string_view section) const;

    // Sets a key (creating the section when needed). False for a name that
    // cannot be written (see above).
    bool Set(std::string_view section, std::string_view key, std::string_view value);
    // Removes every line of the key; true when it was there.
    bool RemoveKey(std::string_view section, std::string_view key);
    // Removes every section of that name with its keys; true when one was there.
    bool RemoveSection(std::string_view section);

    // The file text in the encoding, line ends and final line end it was read with.
    std::string Text() const;
    bool Empty() const { return lines_.empty(); }

private:
    struct SectionIndex {
        std::size_t header = 0;  // line of "[name]"
        std::size_t end = 0;     // one past the last line before the next section
        std::size_t lastKey = 0; // last key line, or the header when it has none
        std::unordered_map<std::string, std::size_t> keys; // lower-case key -> first line
    };
    void Reindex() const;
    const SectionIndex* FindSection(std::string_view section) const;

    enum class Encoding { Plain, Utf8Bom, Utf16LE, Utf16BE };
    Encoding encoding_ = Encoding::Plain;
    std::string eol_ = "\r\n";
    bool finalEol_ = true;
    std::vector<std::string> lines_;
    mutable bool indexed_ = false;
    mutable std::unordered_map<std::string, SectionIndex>
        index_; // lower-case name -> first section
};

// Loads a profile file. A missing file gives an empty document and true;
// false (reason in error) when the file exists but cannot be read.
bool LoadProfileFile(const std::string& file, ProfileDocument& doc, std::string& error);
// Writes a document to the file through a temporary file and a rename.
bool SaveProfileFile(const std::string& file, const ProfileDocument& doc, std::string& error);

// Reads one value (see the rules above); def when the file, the section or
// the key is missing or the file cannot be read.
std::string ReadProfileString(const std::string& file, std::string_view section,
                              std::string_view key, std::string_view def = {});
// The same, telling a file that exists but cannot be read (false, reason in
// error) from a missing one.
bool ReadProfileString(const std::string& file, std::string_view section, std::string_view key,
                       std::string& value, std::string& error);

// One key to write; an Erase entry removes the key instead.
struct ProfileWrite {
    std::string Section;
    std::string Key;
    std::string Value;
    bool Erase = false;
};

// Writes one key (the file is created when missing, its folder is not).
// True on success; otherwise false with the reason in error.
bool WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                        std::string_view value, std::string* error = nullptr);
// Writes several keys in one replacement of the file: all of them or, on
// failure, none.
bool WriteProfileStrings(const std::string& file, const std::vector<ProfileWrite>& writes,
                         std::string* error = nullptr);
bool DeleteProfileKey(const std::string& file, std::string_view section, std::string_view key,
                      std::string* error = nullptr);
// Removes the section and its keys; true also when it was not there.
bool DeleteProfileSection(const std::string& file, std::string_view section,
                          std::string* error = nullptr);

} // namespace pelkor
