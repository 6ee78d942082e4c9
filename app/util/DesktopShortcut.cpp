#include "util/DesktopShortcut.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace pelkor {

namespace {

std::string Home(const EnvReader& env) {
    std::string home = env("HOME");
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home;
}

// XDG_DESKTOP_DIR="$HOME/Desktop" or an absolute path; anything else is
// ignored, as xdg-user-dirs does.
std::string DesktopFromUserDirs(const std::string& file, const std::string& home) {
    std::ifstream in(file);
    std::string line;
    for (int guard = 0; guard < 10000 && std::getline(in, line); ++guard) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        if (line.compare(start, 16, "XDG_DESKTOP_DIR=") != 0) continue;
        std::string value = line.substr(start + 16);
        while (!value.empty() &&
               (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.pop_back();
        if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
        value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
            value = home + value.substr(5);
        if (value.empty() || value[0] != '/') continue;
        while (value.size() > 1 && value.back() == '/')
            value.pop_back();
        return value;
    }
    return {};
}

bool IsReserved(char c) {
    return std::strchr(" \t\n\"'\\><~|&;$*?#()`", c) != nullptr && c != '\0';
}

std::string Reason(int err, const std::string& path) {
    return std::string(std::strerror(err)) + " : " + path;
}

bool WriteAllBytes(int fd, const std::string& text) {
    std::size_t done = 0;
    for (int guard = 0; guard < 100000 && done < text.size(); ++guard) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return done == text.size();
}

bool MakeFolders(const std::string& folder, int& err) {
    std::size_t pos = 1;
    for (int guard = 0; guard < 4096; ++guard) {
        std::size_t next = folder.find('/', pos);
        const std::string level = folder.substr(0, next);
        if (!level.empty() && ::mkdir(level.c_str(), 0755) != 0 && errno != EEXIST) {
            err = errno;
            return false;
        }
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        err = ENOTDIR;
        return false;
    }
    return true;
}

std::string FindInPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    for (int guard = 0; guard < 1000; ++guard) {
        std::size_t end = dirs.find(':', start);
        std::string dir =
            dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty()) {
            const std::string candidate = dir + "/" + program;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

} // namespace

std::string ProcessEnv(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    return v ? v : "";
}

std::string DesktopFolder(const EnvReader& env) {
    const std::string home = Home(env);
    std::string config = env("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') config = home + "/.config";
    std::string desktop = DesktopFromUserDirs(config + "/user-dirs.dirs", home);
    return desktop.empty() ? home + "/Desktop" : desktop;
}

bool ShortcutFileName(const std::string& startFile, std::string& fileName) {
    const std::size_t slash = startFile.rfind('/');
    const std::size_t dot = startFile.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && slash > dot)) return false;
    const std::size_t from = slash == std::string::npos ? 0 : slash + 1;
    fileName = startFile.substr(from, dot - from) + ".desktop";
    return true;
}

std::string QuoteExecArgument(const std::string& argument) {
    std::string text;
    bool reserved = argument.empty();
    for (char c : argument) {
        reserved = reserved || IsReserved(c);
        text += c;
        if (c == '%') text += '%'; // a literal percent sign, not a field code
    }
    if (!reserved) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string EscapeDesktopValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string DesktopEntryText(const ShortcutTarget& target) {
    std::string name;
    ShortcutFileName(target.StartFile, name);
    name = name.substr(0, name.size() - 8); // without ".desktop"
    const std::string exec = QuoteExecArgument(target.Program) + " " +
                             QuoteExecArgument(target.StartFile) + " " +
                             QuoteExecArgument("PG5=" + std::to_string(target.Dll) + "000");
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Version=1.0\n"
                       "Name=" +
                       EscapeDesktopValue(name.empty() ? "Pelkor" : name) +
                       "\n"
                       "Comment=Pelkor Desktop Shortcut\n"
                       "Exec=" +
                       EscapeDesktopValue(exec) + "\n";
    if (!target.WorkingFolder.empty())
        text += "Path=" + EscapeDesktopValue(target.WorkingFolder) + "\n";
    if (!target.Icon.empty()) text += "Icon=" + EscapeDesktopValue(target.Icon) + "\n";
    text += "Terminal=false\n";
    return text;
}

ShortcutResult WriteDesktopShortcut(const ShortcutTarget& target, const std::string& desktopFolder,
                                    std::string& file, std::string& error) {
    std::string name;
    if (!ShortcutFileName(target.StartFile, name)) return ShortcutResult::InvalidName;
    file = desktopFolder + "/" + name;
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return ShortcutResult::Exists;

    int err = 0;
    if (!MakeFolders(desktopFolder, err)) {
        error = Reason(err, desktopFolder);
        return ShortcutResult::Failed;
    }
    // O_EXCL: a launcher that appeared meanwhile is never overwritten.
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
    if (fd < 0) {
        if (errno == EEXIST && ::lstat(file.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            return ShortcutResult::Exists;
        error = Reason(errno, file);
        return ShortcutResult::Failed;
    }
    bool ok = WriteAllBytes(fd, DesktopEntryText(target)) && ::fchmod(fd, 0755) == 0;
    err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok) return ShortcutResult::Created;
    ::unlink(file.c_str());
    error = Reason(err, file);
    return ShortcutResult::Failed;
}

void MarkLauncherTrusted(const std::string& file) {
    const std::string gio = FindInPath("gio");
    if (gio.empty()) return;
    std::vector<std::string> args{gio, "set", "-t", "string", file, "metadata::trusted", "true"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, gio.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (int guard = 0; guard < 200; ++guard) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
        if (std::chrono::steady_clock::now() >= until) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

} // namespace pelkor
