// Whether another program holds a workbook. Renaming a file onto itself
// always succeeds here, so the signs that spreadsheet programs leave are
// checked instead: their lock files beside the workbook and file locks.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "output/ExcelWriter.h"

namespace pelkor {

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

std::string WorkbookLockFile(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return "";
    for (const std::string& lock : {folder + ".~lock." + name + "#", folder + "~$" + name})
        if (Exists(lock)) return lock;
    return "";
}

bool IsWorkbookOpen(const std::string& path) {
    if (path.empty() || path.back() == '/') return false;
    if (!WorkbookLockFile(path).empty()) return true;

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false; // unreadable: the load reports why
    bool held = false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK) held = true;
    if (!held) {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            held = errno == EWOULDBLOCK;
        else
            ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return held;
}

} // namespace pelkor
