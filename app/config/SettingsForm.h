#pragma once
// What the settings window edits, apart from drawing it: loading the values,
// the caption and enabled state by start mode, taking a browsed log folder,
// and saving (the log folder is made first; nothing is saved when that fails).

#include <string>

#include "core/AppContext.h"

namespace pelkor {

struct SettingsForm {
    std::string LogFolder;
    bool LogUsed = false;
    bool ShowMessages = false; // ReadWindow
    bool AutoConnect = false;
};

SettingsForm LoadSettingsForm(const AppContext& app);

// "Pelkor [<start file>]" for a changeable start file, "Pelkor Locked
// Parameters File" for a locked one.
std::string SettingsCaption(const AppContext& app);
// Editing is allowed for a changeable start file only (StartMode 1).
bool SettingsEditable(const AppContext& app);
// "Copy Last PG5 Online Settings" needs a PG5 version (DLL >= 1) and a PG5 found.
bool CopyPg5Allowed(const AppContext& app);

// The log folder after browsing to `picked`: "" when it is the current log
// folder (nothing changes); a path without a "/" means the user's data folder.
std::string BrowsedLogFolder(const AppContext& app, const std::string& picked);

enum class SettingsSaveResult { Saved, FolderFailed, WriteFailed };

// Makes the log folder (trimmed; a relative one is taken from the start
// file's folder) with EnsureFolder's messages and proves it writable; on
// failure nothing is applied or saved. Then applies the form (LogFolder trimmed, LogFile,
// AutoConnectActive = AutoConnect) and writes the start file's settings.
SettingsSaveResult SaveSettingsForm(AppContext& app, const SettingsForm& form);

// Pelkor's own channel: writes [Connection] "Port" (trimmed; empty = port 1
// as before) and "Baudrate" into the start file, both or neither, and only
// then takes them into AppSettings. Failure: critical message "Settings
// writing aborted in the file : <file>", false.
bool SaveChannelSettings(AppContext& app, const std::string& port, int32_t baudrate);

} // namespace pelkor
