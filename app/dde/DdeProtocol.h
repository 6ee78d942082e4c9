#pragma once
// Pieces of the DDE line protocol shared by the server and the pkdde client
// (docs/dde.md describes the protocol).

#include <string>
#include <string_view>

namespace pelkor::dde {

// $PELKOR_DDE_SOCKET when set and not empty, else $XDG_RUNTIME_DIR/PKDDE,
// else /tmp/PKDDE-<uid> (the uid keeps users of a shared /tmp apart).
std::string SocketPathFromEnvironment();

// A text made fit for one protocol line: cut at a NUL (the data is a C text),
// CR and LF become blanks.
std::string LineSafe(std::string_view text);

// Splits "VERB rest of line" at the first blank; the rest keeps its inner
// blanks. Leading blanks of the line and of the rest are skipped.
void SplitVerb(std::string_view line, std::string& verb, std::string& rest);

} // namespace pelkor::dde
