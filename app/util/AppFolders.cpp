#include "util/AppFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "util/Path.h"

// Paths from the installed program folder to the data and library folders,
// from the install layout (so a tree copied to another prefix still works).
#ifndef PELKOR_REL_DATADIR
#define PELKOR_REL_DATADIR "../share/pelkor/shipped"
#endif
#ifndef PELKOR_REL_LIBDIR
#define PELKOR_REL_LIBDIR "../lib"
#endif

namespace pelkor {

namespace {

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace

std::string ExecutableFolder() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    const std::string path(buf, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

std::string UserDataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    // Relative values are invalid by the XDG rules and ignored.
    if (xdg && xdg[0] == '/') return JoinPath(xdg, "pelkor");
    std::string home;
    if (const char* h = std::getenv("HOME"); h && h[0]) {
        home = h;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    }
    if (home.empty()) home = "/";
    return JoinPath(home, ".local/share/pelkor");
}

std::vector<std::string> ShippedFileFolders(const std::string& programFolder) {
    if (programFolder.empty()) return {};
    return {programFolder, JoinPath(programFolder, PELKOR_REL_DATADIR)};
}

std::string FindShippedFile(const std::string& name, const std::string& programFolder) {
    for (const auto& folder : ShippedFileFolders(programFolder)) {
        const std::string path = JoinPath(folder, name);
        if (IsFile(path)) return path;
    }
    return JoinPath(programFolder, name);
}

std::vector<std::string> ShippedLibraryFolders(const std::string& programFolder) {
    if (programFolder.empty()) return {};
    return {programFolder, JoinPath(programFolder, PELKOR_REL_LIBDIR)};
}

} // namespace pelkor
