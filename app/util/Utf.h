#pragma once
// The one UTF-8 / UTF-16 codec (start files, the registry file, workbooks).

#include <cstdint>
#include <string>
#include <string_view>

namespace pelkor {

void AppendUtf8(std::string& out, char32_t codePoint);

// What a byte that does not start a valid UTF-8 sequence becomes: U+FFFD, so
// a damaged byte never shifts what follows, or the Latin-1 character of that
// byte (text files written by older Windows tools).
enum class BadUtf8 { Replace, Latin1 };
std::u16string Utf8ToUtf16(std::string_view utf8, BadUtf8 bad = BadUtf8::Replace);
// A lone surrogate becomes U+FFFD rather than being lost silently.
std::string Utf16ToUtf8(std::u16string_view units);

} // namespace pelkor
