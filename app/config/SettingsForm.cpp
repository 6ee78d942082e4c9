#include "config/SettingsForm.h"

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

bool SettingsEditable(const AppContext& app) { return app.Settings.StartMode == 1; }

bool CopyPg5Allowed(const AppContext& app) { return app.Settings.DLL >= 1; }

std::string BrowsedLogFolder(const AppContext& app, const std::string& picked) {
    if (picked == app.Settings.LogFolder) return {};
    return picked.find('/') == std::string::npos ? app.UserDataFolder : picked;
}

SettingsSaveResult SaveSettingsForm(AppContext& app, const SettingsForm& form) {
    const std::string folder = Trim(form.LogFolder);
    if (!EnsureFolder(app, folder)) return SettingsSaveResult::FolderFailed;
    AppSettings& s = app.Settings;
    s.LogUsed = form.LogUsed ? 1 : 0;
    SetLogFolder(s, folder);
    s.ReadWindow = form.ShowMessages ? 1 : 0;
    s.AutoConnect = form.AutoConnect ? 1 : 0;
    app.Status.AutoConnectActive = s.AutoConnect;
    return WriteStartFileSettings(app) ? SettingsSaveResult::Saved : SettingsSaveResult::WriteFailed;
}

bool SaveChannelSettings(AppContext& app, const std::string& rawPort, int32_t baudrate) {
    const std::string port = Trim(rawPort);
    const std::string& file = app.Settings.StartFile;
    std::string error;
    if (!WriteProfileStrings(file, {{"Connection", "Port", port}, {"Connection", "Baudrate", std::to_string(baudrate)}},
                             &error)) {
        app.Status.LastErrorText = error;
        app.Ui.MessageBox("Settings writing aborted in the file : " + file, "Pelkor", MsgIcon::Critical,
                          MsgButtons::Ok, MsgAnswer::Ok);
        return false;
    }
    app.Settings.Port = port;
    app.Settings.Baudrate = baudrate;
    return true;
}

}  // namespace pelkor
