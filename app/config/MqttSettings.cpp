// The [MQTT] start-file keys and the password file.

#include "config/MqttSettings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "config/PrivateProfile.h"
#include "config/StartFile.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

namespace {

constexpr const char* Section = "MQTT";

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

std::string Key(const std::string& file, const char* key) {
    return Trim(GetIniString(file, Section, key));
}

} // namespace

bool ParseMqttBroker(const std::string& broker, MqttAddress& address, std::string& error) {
    const std::string text = Trim(broker);
    MqttAddress a;
    std::string rest;
    if (text.rfind("mqtt://", 0) == 0) {
        rest = text.substr(7);
    } else if (text.rfind("mqtts://", 0) == 0) {
        rest = text.substr(8);
        a.Tls = true;
        a.Port = 8883;
    } else {
        error = "the broker must be mqtt://host[:port] or mqtts://host[:port]";
        return false;
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    std::string host = rest;
    // "[::1]:1883" keeps the colons of an IPv6 address.
    const std::size_t close = rest.rfind(']');
    const std::size_t colon = rest.rfind(':');
    if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
        host = rest.substr(0, colon);
        const std::string port = rest.substr(colon + 1);
        const bool digits = !port.empty() && port.size() <= 5 &&
                            port.find_first_not_of("0123456789") == std::string::npos;
        const int value = digits ? std::stoi(port) : 0;
        if (value < 1 || value > 65535) {
            error = "bad port \"" + port + "\"";
            return false;
        }
        a.Port = value;
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty() || host.find_first_of("/ @") != std::string::npos) {
        error = "bad host \"" + host + "\"";
        return false;
    }
    a.Host = host;
    address = a;
    return true;
}

std::string MqttFileStem(const std::string& startFile) {
    std::string name = startFile.substr(startFile.find_last_of("/\\") + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    for (char& c : name)
        if (c == '+' || c == '#' || c == '/') c = '_';
    return name.empty() ? "pelkor" : name;
}

MqttSettings ReadMqttSettings(const std::string& startFile) {
    MqttSettings m;
    const std::string stem = MqttFileStem(startFile);
    m.Broker = Key(startFile, "Broker");
    m.ClientId = Key(startFile, "ClientId");
    if (m.ClientId.empty()) m.ClientId = "pelkor-" + HostName() + "-" + stem;
    m.TopicPrefix = Key(startFile, "TopicPrefix");
    while (!m.TopicPrefix.empty() && m.TopicPrefix.back() == '/')
        m.TopicPrefix.pop_back();
    if (m.TopicPrefix.empty()) m.TopicPrefix = "pelkor/" + stem;
    m.User = Key(startFile, "User");
    m.PasswordFile = Key(startFile, "PasswordFile");
    m.CAFile = Key(startFile, "CAFile");
    const std::string qos = Key(startFile, "QoS");
    if (qos == "0") m.QoS = 0;
    const std::string retain = Key(startFile, "Retain");
    if (!retain.empty()) m.Retain = LeadingNumber(retain) != 0;
    const double limit = LeadingNumber(Key(startFile, "QueueLimit"));
    if (limit >= 1 && limit <= 10000000) m.QueueLimit = static_cast<int>(limit);
    return m;
}

bool WriteMqttSettings(const std::string& startFile, const MqttSettings& s, std::string& error) {
    const std::vector<ProfileWrite> writes = {
        {Section, "Broker", s.Broker}, {Section, "TopicPrefix", s.TopicPrefix},
        {Section, "User", s.User},     {Section, "PasswordFile", s.PasswordFile},
        {Section, "CAFile", s.CAFile},
    };
    return WriteProfileStrings(startFile, writes, &error);
}

bool ReadMqttPassword(const std::string& file, std::string& password, std::string& error) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        error = "cannot read the password file " + file + ": " + std::strerror(errno);
        return false;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        error = "the password file " + file + " may be read by others (chmod 600 it)";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) {
        error = "cannot read the password file " + file;
        return false;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    password = line;
    return true;
}

} // namespace pelkor
