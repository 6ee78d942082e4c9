#include "util/AtomicFile.h"

#include <fcntl.h>
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

}  // namespace

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
// for a privileged user; otherwise whatever this process may do.
bool Writable(const std::string& path, const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(path.c_str(), W_OK) == 0;
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

}  // namespace

void SetFileFaultHook(FileFaultHook hook) {
    std::lock_guard<std::mutex> lock(hookMutex);
    faultHook = std::move(hook);
}

std::string ResolveLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {  // the kernel's own limit on link chains
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

bool ReplaceFile(const std::string& path, const FileProducer& produce, std::string& error) {
    error.clear();
    const std::string target = ResolveLinks(path);
    const std::string named = target == path ? path : path + " (" + target + ")";
    auto fail = [&](const std::string& why) {
        error = "Cannot write " + named + " : " + why;
        return false;
    };

    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) return fail("a folder stands where the file should be");
        if (!S_ISREG(st.st_mode)) return fail("not a regular file");
        if (!Writable(target, st)) return fail("the file is read-only");
    } else if (errno != ENOENT) {
        return fail(std::strerror(errno));
    }
    const std::string folder = FolderOf(target);
    struct stat fst {};
    if (::stat(folder.c_str(), &fst) != 0) return fail("the folder " + folder + " does not exist");
    if (!S_ISDIR(fst.st_mode)) return fail(folder + " is not a folder");
    if (!Writable(folder, fst)) return fail("the folder " + folder + " is read-only");

    const std::size_t slash = target.find_last_of('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp;
    int fd = -1;
    int err = FileFault(FileStep::CreateTemp);
    for (int attempt = 0; !err && attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/." + base + "." + std::to_string(::getpid()) + "." + std::to_string(tempCounter++) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) err = errno;
    }
    if (fd < 0) return fail("cannot create a temporary file: " + std::string(std::strerror(err ? err : EEXIST)));
    auto abandon = [&](int why) {
        ::close(fd);
        ::unlink(temp.c_str());
        return fail(std::strerror(why));
    };

    if (exists) {
        if (::fchmod(fd, st.st_mode & 07777) != 0) return abandon(errno);
        (void)!::fchown(fd, st.st_uid, st.st_gid);  // only a privileged user may; the mode is what matters
    }
    int writeErr = 0;
    const FileSink sink = [&](std::string_view piece) {
        if (writeErr) return false;
        if (int e = FileFault(FileStep::Write)) writeErr = e;
        else if (!WriteAll(fd, piece)) writeErr = errno;
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
    return ReplaceFile(path, [content](const FileSink& sink) { return sink(content); }, error);
}

}  // namespace pelkor
