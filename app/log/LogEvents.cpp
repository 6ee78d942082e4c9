#include "log/LogEvents.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "log/Folders.h"
#include "util/DateTime.h"
#include "util/Path.h"

namespace pelkor {

namespace {

const char* const kStarLine = "* * * * * * * * * * * * * * * * * * * * *";
const char* const kEqualLine = "= = = = = = = = = = = = = = = = = = = = = = = = = = = = = = = = =";

// Appends text to the file (created when missing) as a whole: a write that
// stops part-way (a full disk) is taken back, so no later event is glued
// onto a torn line. False with errno set when the file cannot be opened or
// not everything was written.
bool AppendToFile(const std::string& file, const std::string& data) {
    int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) st.st_size = -1;
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            if (st.st_size >= 0) (void)!::ftruncate(fd, st.st_size);
            ::close(fd);
            errno = e;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) return false;
    return true;
}

void RollOver(const std::string& file, const std::string& stamp) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || st.st_size <= LogFileLimit) return;
    // Failures here must not stop the event itself from being written.
    AppendToFile(file, std::string("\r\n") + kEqualLine + "\r\n" + stamp +
                           " - End of this loging file (max. 100'000 bytes).\r\n" + kEqualLine +
                           "\r\n");
    std::string backup = LogBackupName(file);
    ::unlink(backup.c_str());
    ::rename(file.c_str(), backup.c_str());
}

} // namespace

namespace {
std::string FallbackLogFolder(const AppContext& app) {
    if (!app.UserDataFolder.empty()) return app.UserDataFolder;
    std::error_code ec;
    const std::string cwd = std::filesystem::current_path(ec).string();
    return ec ? std::string(".") : cwd;
}
} // namespace

std::string LogFileOf(const std::string& logFolder) {
    // An empty folder means the root, as it always has.
    return JoinPath(logFolder.empty() ? "/" : logFolder, "Pelkor.txt");
}

void SetLogFolder(AppSettings& settings, const std::string& folder) {
    settings.LogFolder = folder;
    settings.LogFile = LogFileOf(folder);
}

std::string LogBackupName(const std::string& logFile) {
    std::size_t slash = logFile.find_last_of('/');
    std::size_t dot = logFile.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return logFile + ".bak";
    return logFile.substr(0, dot + 1) + "bak";
}

bool LogEvent(AppContext& app, int code, const std::string& text) {
    app.Ui.SetStatusLine(text);
    AppSettings& s = app.Settings;
    if (s.LogUsed == 0) return true;

    const std::string stamp = GeneralDateText(app.Clk.Now());
    std::string line;
    if (code == 0) {
        line = kStarLine;
    } else if (code == 1) {
        if (!text.empty() && text == app.Log.LastInformation) return true;
        app.Log.LastInformation = text;
        line = stamp + " - " + text;
    } else {
        app.Log.ErrorCounter = app.Log.ErrorCounter == INT32_MAX ? 0 : app.Log.ErrorCounter + 1;
        line = stamp + " - Err " + std::to_string(app.Log.ErrorCounter) + " - " + text;
    }

    // The current folder is "/" for some starts: the user's data folder is
    // the one place that is surely the user's.
    if (!FolderExists(s.LogFolder)) SetLogFolder(s, FallbackLogFolder(app));
    if (s.LogFile.empty()) s.LogFile = LogFileOf(s.LogFolder);

    RollOver(s.LogFile, stamp);
    if (AppendToFile(s.LogFile, line + "\r\n")) return true;
    const std::string failed =
        "Cannot write the event log " + s.LogFile + " : " + std::strerror(errno);
    app.Status.LastErrorText = failed;
    const std::string fallback = LogFileOf(FallbackLogFolder(app));
    if (fallback == s.LogFile || !FolderExists(FallbackLogFolder(app))) return false;
    // Said once: later lines go to the fallback file. LogFolder stays as
    // set, so a save of the settings keeps the user's choice.
    s.LogFile = fallback;
    const std::string note = failed + "; the log goes on in " + fallback;
    app.Ui.SetStatusLine(note);
    return AppendToFile(s.LogFile, stamp + " - " + note + "\r\n") &&
           AppendToFile(s.LogFile, line + "\r\n");
}

} // namespace pelkor
