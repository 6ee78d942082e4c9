#pragma once
// Where Pelkor's own files are: the files it ships (beside the program, else
// in the installed share and library folders) and the user's data folder,
// where everything the user makes or keeps goes. An installed program folder
// (/usr/bin) is never written.

#include <string>
#include <vector>

namespace pelkor {

// The folder of the running executable ("" when it cannot be determined).
std::string ExecutableFolder();

// $XDG_DATA_HOME/pelkor when XDG_DATA_HOME is an absolute path, else
// $HOME/.local/share/pelkor (the password file's home when HOME is unset).
// Only names the folder; PelkorApp creates it on first use.
std::string UserDataFolder();

// Folders searched for shipped data files, in order: the program folder, then
// the share folder of the prefix it is installed under
// (<prefix>/share/pelkor/shipped, apart from a user data folder there).
std::vector<std::string> ShippedFileFolders(const std::string& programFolder);

// The first existing `name` in ShippedFileFolders(programFolder); when none
// exists, the path beside the program, so a message names a sensible file.
std::string FindShippedFile(const std::string& name,
                            const std::string& programFolder = ExecutableFolder());

// Folders searched for libPelsbus.so before the system search path: the
// program folder, then the library folder of its prefix.
std::vector<std::string> ShippedLibraryFolders(const std::string& programFolder);

} // namespace pelkor
