#pragma once
// The desktop shortcut that starts Pelkor on a start file: a freedesktop
// launcher (".desktop" file) in the user's desktop folder.

#include <functional>
#include <string>

namespace pelkor {

// Reads an environment variable ("" when unset).
using EnvReader = std::function<std::string(const std::string& name)>;
std::string ProcessEnv(const std::string& name);

// The user's desktop folder: XDG_DESKTOP_DIR of user-dirs.dirs (in
// $XDG_CONFIG_HOME, else ~/.config), else ~/Desktop. No trailing "/".
std::string DesktopFolder(const EnvReader& env = ProcessEnv);

// The launcher's file name for a start file: the name after the last "/" up
// to its last ".", + ".desktop". False when the start file has no extension
// after its last "/" (the shortcut is then refused).
bool ShortcutFileName(const std::string& startFile, std::string& fileName);

// One Exec argument quoted as the Desktop Entry Specification requires
// (only when it holds a reserved character).
std::string QuoteExecArgument(const std::string& argument);
// A value with the specification's string escapes (\\ \n \t \r).
std::string EscapeDesktopValue(const std::string& value);

struct ShortcutTarget {
    std::string StartFile;
    int Dll = 0;               // the PG5 version passed as "PG5=" + Dll + "000"
    std::string Program;       // the pelkor program to start
    std::string WorkingFolder; // Path
    std::string Icon;          // an icon file or icon name
};

// The launcher's text.
std::string DesktopEntryText(const ShortcutTarget& target);

enum class ShortcutResult { Created, InvalidName, Exists, Failed };

// Writes the launcher into `desktopFolder` (created when missing), never
// over an existing file, executable, so desktops run it. `file` receives the
// launcher's path, `error` the reason of a failure.
ShortcutResult WriteDesktopShortcut(const ShortcutTarget& target, const std::string& desktopFolder,
                                    std::string& file, std::string& error);

// Marks a launcher trusted for desktops that ask for it (GNOME's
// metadata::trusted through gio, when gio is installed); quietly does
// nothing otherwise. Waits at most two seconds.
void MarkLauncherTrusted(const std::string& file);

} // namespace pelkor
