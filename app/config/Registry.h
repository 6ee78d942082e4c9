#pragma once
// Reading one string value of the machine registry. Linux has no registry:
// the values come from a registry file in Wine's text format (system.reg)
// named by the environment variable PELKOR_REGISTRY; without it every value
// is empty.
//
// Format read:
//   WINE REGISTRY Version 2
//   ;; comment lines start with ";"; "#" lines are attributes
//   [SOFTWARE\\SAIA-Burgess\\PG5 1.4] 1415181231
//   "ProgramFolder"="C:\\Program Files\\PG5 1.4\\"
//   @="the key's default value"
//   "Count"=dword:00000003
// Key paths are relative to HKEY_LOCAL_MACHINE; "\" inside names is written
// "\\". Key paths and value names compare without regard to ASCII case.
// String values understand the escapes \\ \" \n \r \t \a \b \e \f \v, \xHHHH
// (a character code, stored as UTF-8) and octal \ooo; a NUL (\0) cuts the
// value. Every other type (dword:, hex:, str(n): ...) reads as empty, as does
// a missing file, key or value. Nothing is ever shown to the user.

#include <string>

namespace pelkor {

// keyPath as under HKEY_LOCAL_MACHINE with single "\" separators, for
// example "SOFTWARE\\SAIA-Burgess\\PG5 1.4" in C++ source; an empty
// valueName reads the key's default value ("@").
std::string GetRegString(const std::string& keyPath, const std::string& valueName);

// The same over a given registry file (tests, tools).
std::string GetRegStringFrom(const std::string& registryFile, const std::string& keyPath,
                             const std::string& valueName);

} // namespace pelkor
