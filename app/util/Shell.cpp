#include "util/Shell.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "util/Text.h"

extern char** environ;

namespace pelkor {

namespace {

constexpr long kObjectErrorBase = 2147220456L;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

bool LooksLikeAddress(const std::string& file) {
    return file.find("://") != std::string::npos || StartsWithNoCase(file, "mailto:");
}

int ResultOfExit(int status) {
    if (WIFEXITED(status)) {
        switch (WEXITSTATUS(status)) {
        case 0:
            return 42;
        case 2:
            return 2; // file does not exist
        case 3:
            return 31; // no tool to open it with
        default:
            return 1; // 4: the action failed, and anything else
        }
    }
    return 1;
}

} // namespace

int XdgOpenLauncher(const ShellRequest& request) {
    std::string file = request.File;
    if (file.empty()) return 2;
    if (!LooksLikeAddress(file)) {
        std::string full = file;
        if (file[0] != '/' && !request.Folder.empty()) full = request.Folder + "/" + file;
        struct stat st {};
        if (::stat(full.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return 2;
            return errno == EACCES || errno == EPERM ? 5 : 1;
        }
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    struct stat st {};
    if (!request.Folder.empty() && ::stat(request.Folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        posix_spawn_file_actions_addchdir_np(&actions, request.Folder.c_str());
    std::string prog = "xdg-open";
    char* argv[] = {prog.data(), file.data(), nullptr};
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, prog.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return rc == ENOENT ? 31 : (rc == ENOMEM ? 8 : 1);

    // xdg-open normally hands over and ends at once; one that is still busy
    // after a while has started something, and is reaped in the background.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        int status = 0;
        pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) return ResultOfExit(status);
        if (w < 0 && errno != EINTR) return 1;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return 42;
}

ShellError ShellErrorFor(int r) {
    ShellError e;
    e.Source = "Pelkor.GShell";
    switch (r) {
    case 0:
    case 8:
        e.Number = 7;
        e.Description = "Out of memory";
        break;
    case 2:
        e.Number = 53;
        e.Description = "File not found";
        break;
    case 3:
        e.Number = 76;
        e.Description = "Path not found";
        break;
    case 5:
        e.Number = 75;
        e.Description = "Path/file access error";
        break;
    case 11:
        e.Number = r - kObjectErrorBase;
        e.Description = "The executable file is invalid or corrupt";
        break;
    case 26:
        e.Number = 75;
        e.Description = "A sharing violation occurred.";
        break;
    case 27:
        e.Number = r - kObjectErrorBase;
        e.Description = "This file type does not have a valid file association.";
        break;
    case 28:
        e.Number = 286;
        e.Description =
            "The file could not be opened due to time out. Please try again in a moment.";
        break;
    case 29:
        e.Number = 285;
        e.Description = "The file could not be opened because the DDE transaction failed. Please "
                        "try again in a moment.";
        break;
    case 30:
        e.Number = 285;
        e.Description = "The file could not be opened because the target application is busy. "
                        "Please try again in a moment.";
        break;
    case 31:
        e.Number = r - kObjectErrorBase;
        e.Description = "No application is associated with this file type.";
        break;
    case 32:
        e.Number = 48;
        e.Description = "The specified dynamic-link library was not found.";
        break;
    default:
        e.Number = r - kObjectErrorBase;
        e.Description =
            "An error occurred occurred whilst trying to open or print the selected file.";
        break;
    }
    return e;
}

bool ShellOpen(const std::string& file, int showCommand, const std::string& parameters,
               const std::string& folder, const std::string& verb, ShellError* error,
               const ShellLauncher& launcher) {
    ShellRequest request;
    if (ContainsNoCase(file, ".EXE")) showCommand = 0;
    if (file.rfind("http://", 0) == 0) {
        request = {file, "", "", verb, 1};
    } else {
        request = {file, parameters, folder, verb, showCommand};
    }
    int result = 1;
    try {
        result = launcher ? launcher(request) : 1;
    } catch (...) {
        result = 1;
    }
    if (result > 32) return true;
    if (result < 0) result = 1;
    if (error) *error = ShellErrorFor(result);
    return false;
}

bool GetDriveRoot(const std::string& path, std::string& root) {
    if (path.empty()) return false;
    if (IsNetworkPath(path)) {
        std::string p = path;
        for (char& c : p)
            if (c == '\\') c = '/';
        std::size_t serverEnd = p.find('/', 2);
        if (serverEnd == std::string::npos || serverEnd < 3 || serverEnd + 1 >= p.size())
            return false;
        std::size_t shareEnd = p.find('/', serverEnd + 1);
        if (shareEnd == serverEnd + 1) return false; // empty share name
        root = shareEnd == std::string::npos ? p + "/" : p.substr(0, shareEnd + 1);
        return true;
    }
    if (IsSeparator(path[0])) {
        root = "/";
        return true;
    }
    return false;
}

bool ListRoot(const std::string& root, std::string& error) {
    DIR* dir = ::opendir(root.c_str());
    if (!dir) {
        error = std::strerror(errno);
        return false;
    }
    errno = 0;
    ::readdir(dir);
    int e = errno;
    ::closedir(dir);
    if (e != 0) {
        error = std::strerror(e);
        return false;
    }
    return true;
}

bool CheckDrive(const DrivePrompt& prompt, const std::string& path, const std::string& caption,
                const RootLister& lister) {
    std::string root;
    if (!GetDriveRoot(path, root)) root = ".";
    for (;;) {
        std::string description;
        if (lister ? lister(root, description) : ListRoot(root, description)) return true;
        if (IsNetworkPath(path)) {
            if (prompt.ShowError)
                prompt.ShowError(description + "\n\nBad drive name " + path, caption);
            return false;
        }
        if (!prompt.AskRetry || !prompt.AskRetry("Cannot read drive " + path, caption))
            return false;
    }
}

bool IsNetworkPath(const std::string& path) {
    return path.size() > 1 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

std::string GetCommonAppDataFolder() {
    const char* v = std::getenv("PELKOR_COMMON_APPDATA");
    if (!v || !*v) return "";
    std::string s = v;
    if (s.back() != '/') s += '/';
    return s;
}

std::string GetCommonDocumentsParent() {
    const char* v = std::getenv("PELKOR_COMMON_DOCUMENTS");
    if (!v || !*v) return "";
    std::string s = v;
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    std::size_t slash = s.find_last_of('/');
    if (slash == std::string::npos) return "";
    return s.substr(0, slash + 1);
}

} // namespace pelkor
