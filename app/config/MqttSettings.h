#pragma once
// The start file's [MQTT] section: where every stored record is published.
// Keys: Broker ("mqtt://host[:port]" or "mqtts://host[:port]"; empty = off),
// ClientId, TopicPrefix, User, PasswordFile, CAFile, QoS (0 or 1), Retain,
// QueueLimit (messages kept while the broker cannot be reached).

#include <string>

namespace pelkor {

struct MqttSettings {
    std::string Broker;
    std::string ClientId;    // default pelkor-<host>-<start file name>
    std::string TopicPrefix; // default pelkor/<start file name>
    std::string User;
    std::string PasswordFile;
    std::string CAFile;
    int QoS = 1;
    bool Retain = true;
    int QueueLimit = 10000;
};

// The broker address taken apart; false with a reason for anything else.
struct MqttAddress {
    std::string Host;
    int Port = 1883;
    bool Tls = false;
};
bool ParseMqttBroker(const std::string& broker, MqttAddress& address, std::string& error);

// The start file's name without folder and extension, with the characters
// a topic level cannot hold ("+", "#", "/") made "_".
std::string MqttFileStem(const std::string& startFile);

// Reads [MQTT] of the start file, defaults filled in. Values out of range
// (QoS other than 0 or 1, a queue limit below 1) fall back to the defaults.
MqttSettings ReadMqttSettings(const std::string& startFile);
// Writes the keys the dialog edits (Broker, TopicPrefix, User, PasswordFile,
// CAFile); all or none. False with the reason in error.
bool WriteMqttSettings(const std::string& startFile, const MqttSettings& settings,
                       std::string& error);

// The password: the first line of the file. False with a reason when the
// file cannot be read or others than its owner may read it.
bool ReadMqttPassword(const std::string& file, std::string& password, std::string& error);

} // namespace pelkor
