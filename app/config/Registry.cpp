#include "config/Registry.h"

#include <cstdlib>
#include <fstream>
#include <string_view>

#include "util/Text.h"
#include "util/Utf.h"

namespace pelkor {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads an escaped text from line[pos] up to the terminator (not included;
// pos is left after it). False when the terminator never comes. A NUL ends
// the text that is kept, not the parse.
bool ReadEscaped(std::string_view line, std::size_t& pos, char terminator, std::string& out) {
    bool cut = false;
    auto put = [&](unsigned code) {
        if (code == 0) cut = true;
        if (!cut) AppendUtf8(out, code);
    };
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == terminator) return true;
        if (c != '\\' || pos >= line.size()) {
            if (c == '\0') cut = true;
            if (!cut) out += c;
            continue;
        }
        char e = line[pos++];
        switch (e) {
        case 'a':
            put(7);
            break;
        case 'b':
            put(8);
            break;
        case 'e':
            put(27);
            break;
        case 'f':
            put(12);
            break;
        case 'n':
            put(10);
            break;
        case 'r':
            put(13);
            break;
        case 't':
            put(9);
            break;
        case 'v':
            put(11);
            break;
        case 'x': {
            unsigned code = 0;
            int digits = 0;
            while (digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0) {
                code = code * 16 + static_cast<unsigned>(HexDigit(line[pos++]));
                ++digits;
            }
            if (digits == 0)
                put('x');
            else
                put(code);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned code = static_cast<unsigned>(e - '0');
                for (int n = 1; n < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
                     ++n)
                    code = code * 8 + static_cast<unsigned>(line[pos++] - '0');
                put(code);
            } else {
                if (!cut) out += e;
            }
        }
    }
    return false;
}

std::string NormaliseKeyPath(std::string_view path) {
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    return LowerCase(path);
}

} // namespace

std::string GetRegStringFrom(const std::string& registryFile, const std::string& keyPath,
                             const std::string& valueName) {
    std::ifstream in(registryFile, std::ios::binary);
    if (!in) return {};
    const std::string wantKey = NormaliseKeyPath(keyPath);
    const std::string wantValue = LowerCase(valueName);
    // A regedit export names keys with their root and does not escape them.
    bool regedit = false;
    bool first = true;
    bool inKey = false;
    bool keySeen = false;
    std::string raw;
    while (std::getline(in, raw)) {
        std::string_view line(raw);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
            regedit = StartsWithNoCase(line, "REGEDIT4") ||
                      StartsWithNoCase(line, "Windows Registry Editor");
            first = false;
        }
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty()) continue;
        if (line.front() == '[') {
            if (keySeen) break; // the first key of that name wins
            std::string name;
            std::size_t pos = 1;
            if (regedit) {
                std::size_t close = line.rfind(']');
                name = std::string(line.substr(
                    1, close == std::string_view::npos ? std::string_view::npos : close - 1));
                constexpr std::string_view root = "HKEY_LOCAL_MACHINE\\";
                if (!StartsWithNoCase(name, root)) {
                    inKey = false;
                    continue;
                }
                name.erase(0, root.size());
            } else if (!ReadEscaped(line, pos, ']', name)) {
                inKey = false;
                continue;
            }
            inKey = NormaliseKeyPath(name) == wantKey;
            keySeen = inKey;
            continue;
        }
        if (!inKey) continue;
        std::string name;
        std::size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (line.front() == '"') {
            pos = 1;
            if (!ReadEscaped(line, pos, '"', name)) continue;
        } else {
            continue;
        }
        if (LowerCase(name) != wantValue) continue;
        if (pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        if (pos >= line.size() || line[pos] != '"') return {}; // not a plain string
        ++pos;
        std::string value;
        if (!ReadEscaped(line, pos, '"', value)) return {};
        return value;
    }
    return {};
}

std::string GetRegString(const std::string& keyPath, const std::string& valueName) {
    const char* file = std::getenv("PELKOR_REGISTRY");
    if (!file || !*file) return {};
    return GetRegStringFrom(file, keyPath, valueName);
}

} // namespace pelkor
