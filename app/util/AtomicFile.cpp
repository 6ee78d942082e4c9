#include "util/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

namespace pelkor {

namespace {

std::mutex hookMutex;
FileFaultHook faultHook;
std::atomic<unsigned> tempCounter{0};

} // namespace

int FileFault(FileStep step) {
    FileFaultHook hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex);
        hook = faultHook;
    }
    return hook ? hook(step) : 0;
}

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Read-only like the Windows attribute: no write permission bit at all, even
// for a privileged user; otherwise whatever this process may do. Empty when
// writable, else why not: a read-only file system is not a read-only file.
std::string NotWritable(const std::string& path, const struct stat& st, const std::string& what) {
    if (::access(path.c_str(), W_OK) != 0 && errno == EROFS) return std::strerror(EROFS);
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0)
        return what + " is read-only";
    return "";
}

// The pid in a name of our temporary files (".NAME.PID.N.tmp"), 0 for any
// other name.
pid_t TempOwner(const std::string& name) {
    const std::string tail = ".tmp";
    if (name.size() < 8 || name[0] != '.' ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
        return 0;
    const std::string stem = name.substr(0, name.size() - tail.size());
    const std::size_t counterDot = stem.find_last_of('.');
    if (counterDot == std::string::npos || counterDot == 0) return 0;
    const std::size_t pidDot = stem.find_last_of('.', counterDot - 1);
    if (pidDot == std::string::npos || pidDot == 0) return 0;
    const std::string counter = stem.substr(counterDot + 1),
                      pid = stem.substr(pidDot + 1, counterDot - pidDot - 1);
    auto digits = [](const std::string& t) {
        return !t.empty() && t.size() <= 10 &&
               t.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!digits(counter) || !digits(pid)) return 0;
    const long long value = std::stoll(pid);
    return value > 0 && value <= 0x7fffffff ? static_cast<pid_t>(value) : 0;
}

// A crash between creating a temporary file and renaming it leaves it
// behind; the next write to the folder removes those of programs no longer
// running (never one a live writer may still be filling).
void RemoveStaleTemps(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    int looked = 0;
    for (dirent* e = ::readdir(dir); e && looked < 100000; e = ::readdir(dir), ++looked) {
        const pid_t owner = TempOwner(e->d_name);
        if (owner == 0 || owner == ::getpid()) continue;
        if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
        (void)::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

void SetFileFaultHook(FileFaultHook hook) {
    std::lock_guard<std::mutex> lock(hookMutex);
    faultHook = std::move(hook);
}

std::string ResolveLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) { // the kernel's own limit on link chains
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        char buf[4096];
        const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
        if (n <= 0) return current;
        std::string target(buf, static_cast<std::size_t>(n));
        current = target.front() == '/' ? target : FolderOf(current) + "/" + target;
    }
    return current;
}

namespace {

// Why the file at target (and its folder) cannot be replaced, or "".
std::string TargetProblem(const std::string& target, struct stat& st, bool& exists) {
    exists = ::stat(target.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) return "a folder stands where the file should be";
        if (!S_ISREG(st.st_mode)) return "not a regular file";
        if (std::string why = NotWritable(target, st, "the file"); !why.empty()) return why;
    } else if (errno != ENOENT) {
        return std::strerror(errno);
    }
    const std::string folder = FolderOf(target);
    struct stat fst {};
    if (::stat(folder.c_str(), &fst) != 0) return "the folder " + folder + " does not exist";
    if (!S_ISDIR(fst.st_mode)) return folder + " is not a folder";
    return NotWritable(folder, fst, "the folder " + folder);
}

// A new hidden temporary file beside target; -1 with err set (0: every
// name was taken).
int OpenTemp(const std::string& folder, const std::string& target, std::string& temp, int& err) {
    const std::size_t slash = target.find_last_of('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    int fd = -1;
    err = FileFault(FileStep::CreateTemp);
    for (int attempt = 0; !err && attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/." + base + "." + std::to_string(::getpid()) + "." +
               std::to_string(tempCounter++) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) err = errno;
    }
    return fd;
}

} // namespace

bool ReplaceFile(const std::string& path, const FileProducer& produce, std::string& error) {
    error.clear();
    const std::string target = ResolveLinks(path);
    const std::string named = target == path ? path : path + " (" + target + ")";
    auto fail = [&](const std::string& why) {
        error = "Cannot write " + named + " : " + why;
        return false;
    };

    struct stat st {};
    bool exists = false;
    if (const std::string why = TargetProblem(target, st, exists); !why.empty()) return fail(why);
    const std::string folder = FolderOf(target);
    RemoveStaleTemps(folder);

    std::string temp;
    int err = 0;
    const int fd = OpenTemp(folder, target, temp, err);
    if (fd < 0)
        return fail("cannot create a temporary file: " +
                    std::string(std::strerror(err ? err : EEXIST)));
    auto abandon = [&](int why) {
        ::close(fd);
        ::unlink(temp.c_str());
        return fail(std::strerror(why));
    };

    if (exists) {
        if (::fchmod(fd, st.st_mode & 07777) != 0) return abandon(errno);
        (void)!::fchown(fd, st.st_uid,
                        st.st_gid); // only a privileged user may; the mode is what matters
    }
    int writeErr = 0;
    const FileSink sink = [&](std::string_view piece) {
        if (writeErr) return false;
        if (int e = FileFault(FileStep::Write))
            writeErr = e;
        else if (!WriteAll(fd, piece))
            writeErr = errno;
        return writeErr == 0;
    };
    const bool produced = produce(sink);
    if (writeErr) return abandon(writeErr);
    if (!produced) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    if (int e = FileFault(FileStep::SyncFile)) return abandon(e);
    if (::fsync(fd) != 0) return abandon(errno);
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        return fail(std::strerror(e));
    }
    err = FileFault(FileStep::Rename);
    if (err || ::rename(temp.c_str(), target.c_str()) != 0) {
        const int e = err ? err : errno;
        ::unlink(temp.c_str());
        return fail(std::strerror(e));
    }
    // Make the rename itself durable; the new file is in place either way.
    if (FileFault(FileStep::SyncFolder) == 0) {
        const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            (void)::fsync(dfd);
            ::close(dfd);
        }
    }
    return true;
}

bool ReplaceFile(const std::string& path, std::string_view content, std::string& error) {
    return ReplaceFile(
        path, [content](const FileSink& sink) { return sink(content); }, error);
}

} // namespace pelkor
