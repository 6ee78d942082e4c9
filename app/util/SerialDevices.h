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

// Why a channel cannot be used, for the open-failure texts: "" when nothing
// is wrong as far as the file system (or the name service) says; else the
// cause: a missing device (adapter unplugged?), a permission problem (the
// dialout group), something that is not a serial device, a "udp:" host
// that does not resolve. access() and the host look-up are injectable
// (access: 0 or an errno value).
using AccessCheck = std::function<int(const std::string& device)>;
using HostCheck = std::function<bool(const std::string& host)>;
int AccessErrno(const std::string& device);
bool HostResolves(const std::string& host);
std::string SerialAccessHint(const std::string& device, const AccessCheck& check = AccessErrno,
                             const HostCheck& resolves = HostResolves);

// The device of the built-in channel: "Port" when set, else port `com`'s
// $PELSBUS_COMn, else /dev/ttyS<n-1>.
std::string ChannelDevice(const std::string& port, int com);

// The baud rates the built-in library takes.
const std::vector<int>& BuiltInBaudrates();

} // namespace pelkor
