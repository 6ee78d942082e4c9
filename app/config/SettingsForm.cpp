#include "config/SettingsForm.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "config/PrivateProfile.h"
#include "config/StartFile.h"
#include "log/Folders.h"
#include "log/LogEvents.h"
#include "util/Text.h"

namespace pelkor {

SettingsForm LoadSettingsForm(const AppContext& app) {
    const AppSettings& s = app.Settings;
    return {s.LogFolder, s.LogUsed != 0, s.ReadWindow != 0, s.AutoConnect != 0};
}

std::string SettingsCaption(const AppContext& app) {
    if (app.Settings.StartMode == 2) return "Pelkor Locked Parameters File";
    return "Pelkor [" + app.Settings.StartFile + "]";
}

bool SettingsEditable(const AppContext& app) {
    return app.Settings.StartMode == 1;
}

// Without a PG5 found on this machine the copy could only fail.
bool CopyPg5Allowed(const AppContext& app) {
    return app.Settings.DLL >= 1 && app.Status.PG5Version >= 1;
}

std::string BrowsedLogFolder(const AppContext& app, const std::string& picked) {
    if (picked == app.Settings.LogFolder) return {};
    return picked.find('/') == std::string::npos ? app.UserDataFolder : picked;
}

namespace {

// A relative folder would land wherever Pelkor happened to be started.
std::string AbsoluteFolder(const AppContext& app, const std::string& folder) {
    if (folder.empty() || folder.front() == '/') return folder;
    const std::filesystem::path base = std::filesystem::path(app.Settings.StartFile).parent_path();
    return (base / folder).lexically_normal().string();
}

// A folder the user may not write in loses the log as surely as one that
// cannot be made: a probe file proves it.
bool FolderWritable(AppContext& app, const std::string& folder) {
    const std::string probe = folder + "/.pelkor-probe-" + std::to_string(::getpid());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.c_str());
        return true;
    }
    app.Status.LastErrorText =
        "Cannot write in the folder : " + folder + " : " + std::strerror(errno);
    app.Ui.MessageBox("Cannot write in the folder :\n" + folder + "\n\nChange the path.",
                      "Create new directory", MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
    return false;
}

} // namespace

SettingsSaveResult SaveSettingsForm(AppContext& app, const SettingsForm& form) {
    const std::string folder = AbsoluteFolder(app, Trim(form.LogFolder));
    if (!EnsureFolder(app, folder) || !FolderWritable(app, folder))
        return SettingsSaveResult::FolderFailed;
    AppSettings& s = app.Settings;
    s.LogUsed = form.LogUsed ? 1 : 0;
    SetLogFolder(s, folder);
    s.ReadWindow = form.ShowMessages ? 1 : 0;
    s.AutoConnect = form.AutoConnect ? 1 : 0;
    app.Status.AutoConnectActive = s.AutoConnect;
    return WriteStartFileSettings(app) ? SettingsSaveResult::Saved
                                       : SettingsSaveResult::WriteFailed;
}

bool SaveChannelSettings(AppContext& app, const std::string& rawPort, int32_t baudrate) {
    const std::string port = Trim(rawPort);
    const std::string& file = app.Settings.StartFile;
    std::string error;
    if (!WriteProfileStrings(
            file,
            {{"Connection", "Port", port}, {"Connection", "Baudrate", std::to_string(baudrate)}},
            &error)) {
        app.Status.LastErrorText = error;
        app.Ui.MessageBox("Settings writing aborted in the file : " + file, "Pelkor",
                          MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
        return false;
    }
    app.Settings.Port = port;
    app.Settings.Baudrate = baudrate;
    return true;
}

} // namespace pelkor
