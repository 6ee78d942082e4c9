#include "dde/DdeProtocol.h"

#include <unistd.h>

#include <cstdlib>

#include "util/Path.h"

namespace pelkor::dde {

std::string SocketPathFromEnvironment() {
    const char* over = std::getenv("PELKOR_DDE_SOCKET");
    if (over && *over) return over;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        return JoinPath(runtime, "PKDDE");
    }
    return "/tmp/PKDDE-" + std::to_string(static_cast<unsigned long>(getuid()));
}

std::string LineSafe(std::string_view text) {
    std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::string out(text);
    for (char& ch : out)
        if (ch == '\r' || ch == '\n') ch = ' ';
    return out;
}

void SplitVerb(std::string_view line, std::string& verb, std::string& rest) {
    auto blank = [](char ch) { return ch == ' ' || ch == '\t'; };
    std::size_t i = 0;
    while (i < line.size() && blank(line[i]))
        ++i;
    std::size_t v = i;
    while (i < line.size() && !blank(line[i]))
        ++i;
    verb.assign(line.substr(v, i - v));
    while (i < line.size() && blank(line[i]))
        ++i;
    rest.assign(line.substr(i));
}

} // namespace pelkor::dde
