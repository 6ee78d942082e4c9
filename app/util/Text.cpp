#include "util/Text.h"

namespace pelkor {

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
} // namespace

std::string TrimLeft(std::string_view text) {
    std::size_t a = 0;
    while (a < text.size() && IsBlank(text[a]))
        ++a;
    return std::string(text.substr(a));
}

std::string TrimRight(std::string_view text) {
    std::size_t b = text.size();
    while (b > 0 && IsBlank(text[b - 1]))
        --b;
    return std::string(text.substr(0, b));
}

std::string Trim(std::string_view text) {
    std::size_t a = 0, b = text.size();
    while (a < b && IsBlank(text[a]))
        ++a;
    while (b > a && IsBlank(text[b - 1]))
        --b;
    return std::string(text.substr(a, b - a));
}

std::string UpperCase(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        c = Upper(c);
    return s;
}

std::string LowerCase(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        c = Lower(c);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::size_t FindNoCase(std::string_view text, std::string_view part, std::size_t from) {
    if (part.empty()) return from <= text.size() ? from : std::string_view::npos;
    if (text.size() < part.size()) return std::string_view::npos;
    for (std::size_t i = from; i + part.size() <= text.size(); ++i)
        if (EqualsNoCase(text.substr(i, part.size()), part)) return i;
    return std::string_view::npos;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
    return FindNoCase(text, part) != std::string_view::npos;
}

std::vector<std::string> Split(std::string_view text, char separator) {
    return Split(text, std::string_view(&separator, 1));
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
    std::vector<std::string> items;
    if (separator.empty()) {
        items.emplace_back(text);
        return items;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t p = text.find(separator, start);
        if (p == std::string_view::npos) {
            items.emplace_back(text.substr(start));
            return items;
        }
        items.emplace_back(text.substr(start, p - start));
        start = p + separator.size();
    }
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += separator;
        out += items[i];
    }
    return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    std::size_t start = 0;
    for (;;) {
        std::size_t p = text.find(from, start);
        if (p == std::string_view::npos) break;
        out.append(text.substr(start, p - start));
        out.append(to);
        start = p + from.size();
    }
    out.append(text.substr(start));
    return out;
}

} // namespace pelkor
