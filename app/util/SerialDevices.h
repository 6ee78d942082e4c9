#pragma once
// The serial devices present, for the built-in channel's device list. Only
// folders and sysfs attributes are read; no device is ever opened.

#include <functional>
#include <string>
#include <vector>

namespace pelkor {

// Entry names of a folder ("" entries and "."/".." left out); empty when the
// folder cannot be read.
using FolderLister = std::function<std::vector<std::string>(const std::string& folder)>;
std::vector<std::string> ListFolder(const std::string& folder);

// Reads a small text file; false when it cannot be read.
using TextReader = std::function<bool(const std::string& file, std::string& text)>;
bool ReadSmallFile(const std::string& file, std::string& text);

// /dev/serial/by-id/* first (stable names of USB adapters), then
// /dev/ttyUSB*, /dev/ttyACM* and the /dev/ttyS* ports the kernel found
// hardware for (sysfs "type" not 0), each group in number order.
std::vector<std::string> ListSerialDevices(const FolderLister& list = ListFolder,
                                           const TextReader& read = ReadSmallFile);

// Why a device cannot be used, for the open-failure message: "" when it can
// be opened for reading and writing as far as the file system says; else a
// hint (missing device, or the dialout group for a permission problem).
// access() is the check (injectable: returns 0 or an errno value).
using AccessCheck = std::function<int(const std::string& device)>;
int AccessErrno(const std::string& device);
std::string SerialAccessHint(const std::string& device, const AccessCheck& check = AccessErrno);

// The baud rates the built-in library takes.
const std::vector<int>& BuiltInBaudrates();

}  // namespace pelkor
