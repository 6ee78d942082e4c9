#include "util/SerialDevices.h"

#include <dirent.h>
#include <netdb.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace pelkor {

namespace {

// ttyUSB10 after ttyUSB9.
bool NumberOrder(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        std::size_t digits = s.find_last_not_of("0123456789") + 1;
        long n = digits < s.size() ? std::strtol(s.c_str() + digits, nullptr, 10) : -1;
        return std::make_pair(s.substr(0, digits), n);
    };
    return split(a) < split(b);
}

} // namespace

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    for (int guard = 0; guard < 100000; ++guard) {
        const dirent* e = ::readdir(dir);
        if (!e) break;
        const std::string name = e->d_name;
        if (!name.empty() && name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool ReadSmallFile(const std::string& file, std::string& text) {
    std::ifstream in(file);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

std::vector<std::string> ListSerialDevices(const FolderLister& list, const TextReader& read) {
    std::vector<std::string> devices;
    std::vector<std::string> byId = list("/dev/serial/by-id");
    std::sort(byId.begin(), byId.end());
    for (const auto& name : byId)
        devices.push_back("/dev/serial/by-id/" + name);

    std::vector<std::string> dev = list("/dev");
    std::sort(dev.begin(), dev.end(), NumberOrder);
    for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        const std::string p = prefix;
        for (const auto& name : dev) {
            if (name.size() <= p.size() || name.compare(0, p.size(), p) != 0) continue;
            if (name.find_first_not_of("0123456789", p.size()) != std::string::npos) continue;
            if (p == "ttyS") {
                // The kernel keeps ttyS0..31 whether or not a UART is there;
                // type 0 means none. Without sysfs, keep the port.
                std::string type;
                if (read("/sys/class/tty/" + name + "/type", type) && std::atoi(type.c_str()) == 0)
                    continue;
            }
            devices.push_back("/dev/" + name);
        }
    }
    return devices;
}

int AccessErrno(const std::string& device) {
    return ::access(device.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
}

bool HostResolves(const std::string& host) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (found) ::freeaddrinfo(found);
    return rc == 0;
}

std::string ChannelDevice(const std::string& port, int com) {
    if (!port.empty()) return port;
    const char* named = std::getenv(("PELSBUS_COM" + std::to_string(com)).c_str());
    if (named && *named) return named;
    return "/dev/ttyS" + std::to_string(com - 1);
}

std::string SerialAccessHint(const std::string& device, const AccessCheck& check,
                             const HostCheck& resolves) {
    if (device.empty()) return {};
    if (device.rfind("udp:", 0) == 0) {
        std::string host = device.substr(4);
        if (!host.empty() && host.front() == '[') {
            host = host.substr(1, host.find(']') == std::string::npos ? std::string::npos
                                                                      : host.find(']') - 1);
        } else if (std::count(host.begin(), host.end(), ':') == 1) {
            host.erase(host.find(':'));
        }
        if (host.empty() || resolves(host)) return {};
        return "Unknown host " + host + " (the name of " + device + " does not resolve).";
    }
    const int err = check(device);
    if (err == ENOENT) return device + " does not exist (is the adapter plugged in?).";
    if (err == EACCES || err == EPERM) {
        const passwd* pw = ::getpwuid(::geteuid());
        const std::string user = pw && pw->pw_name ? pw->pw_name : "$USER";
        return "You may not open " + device +
               ". Serial ports belong to the group 'dialout': add your user " +
               "to it (sudo adduser " + user + " dialout), then log out and in again.";
    }
    if (err != 0 && err != EISDIR) return device + " : " + std::strerror(err);
    struct stat st {};
    if (err == EISDIR || (::stat(device.c_str(), &st) == 0 && !S_ISCHR(st.st_mode)))
        return device + " is not a serial device.";
    return {};
}

const std::vector<int>& BuiltInBaudrates() {
    static const std::vector<int> rates{150, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400};
    return rates;
}

} // namespace pelkor
