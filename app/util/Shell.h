#pragma once
// Shell and file-system helpers: opening a document or address with its
// application (xdg-open), roots of paths, readable-drive checks, network
// paths and the machine-wide special folders.

#include <functional>
#include <string>

namespace pelkor {

// The error a failed ShellOpen leaves: number, description and source
// ("Pelkor.GShell").
struct ShellError {
    long Number = 0;
    std::string Description;
    std::string Source;
};

// What ShellOpen asks the launcher to do. ShowCommand is the window state the
// caller asked for (0 hidden, 1 normal ...); xdg-open cannot honour it, but
// it is kept so the rules that change it stay visible.
struct ShellRequest {
    std::string File;
    std::string Parameters;
    std::string Folder;
    std::string Verb;
    int ShowCommand = 1;
};

// Starts the action and returns a shell result: above 32 is success, 0 to 32
// the failure codes of the shell (2 file not found, 31 no application ...).
using ShellLauncher = std::function<int(const ShellRequest&)>;

// Runs xdg-open without a shell (the working folder applied in the child);
// a missing local file gives 2, one that may not be looked at 5, no usable
// opener 31, other failures (xdg-open's "action failed" too) 1.
// Waits at most a few seconds for xdg-open's verdict; one that is still
// busy by then has started the action.
int XdgOpenLauncher(const ShellRequest& request);

// Opens a file or address with its application. The owner window of the
// Windows form has no meaning here and is left out. On failure returns false
// and, when error is given, fills it from the shell-result table.
bool ShellOpen(const std::string& file, int showCommand, const std::string& parameters,
               const std::string& folder, const std::string& verb, ShellError* error = nullptr,
               const ShellLauncher& launcher = XdgOpenLauncher);

// The error ShellOpen reports for a shell result of 0 to 32.
ShellError ShellErrorFor(int shellResult);

// Root of a path: "/" for an absolute path, "//server/share/" for a network
// path ("\" accepted as a separator). False for a relative or empty path or
// a network path without server or share name.
bool GetDriveRoot(const std::string& path, std::string& root);

// How CheckDrive asks the user; the caller's user interface answers
// (core/DrivePrompt.h adapts the application's).
struct DrivePrompt {
    // A drive that cannot be read: true to try again.
    std::function<bool(const std::string& text, const std::string& caption)> AskRetry;
    // A network share that cannot be reached.
    std::function<void(const std::string& text, const std::string& caption)> ShowError;
};

// True when the root of the path (the current folder for a relative path)
// can be listed. Otherwise asks: a network path shows the error and "Bad
// drive name " + path once; any other path "Cannot read drive " + path with
// Retry/Cancel until it can be read or the user cancels.
// lister lists a root (true when it could be read; else the reason in error);
// the default reads the directory.
using RootLister = std::function<bool(const std::string& root, std::string& error)>;
bool ListRoot(const std::string& root, std::string& error);
bool CheckDrive(const DrivePrompt& prompt, const std::string& path, const std::string& caption,
                const RootLister& lister = ListRoot);

// True when the first two characters are each "\" or "/".
bool IsNetworkPath(const std::string& path);

// PELKOR_COMMON_APPDATA with a trailing "/", or empty when unset.
std::string GetCommonAppDataFolder();
// The parent folder of PELKOR_COMMON_DOCUMENTS with a trailing "/", or empty.
std::string GetCommonDocumentsParent();

} // namespace pelkor
