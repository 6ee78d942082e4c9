// The [MQTT] start-file section and the password file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "config/ConfigTestSupport.h"
#include "config/MqttSettings.h"

namespace pelkor {
namespace {

using test::WriteFile;

TEST(MqttBroker, AddressesAndTheirFaults) {
    MqttAddress a;
    std::string error;
    ASSERT_TRUE(ParseMqttBroker("mqtt://broker.plant", a, error));
    EXPECT_EQ(a.Host, "broker.plant");
    EXPECT_EQ(a.Port, 1883);
    EXPECT_FALSE(a.Tls);
    ASSERT_TRUE(ParseMqttBroker("mqtts://10.0.0.5:9883/", a, error));
    EXPECT_EQ(a.Host, "10.0.0.5");
    EXPECT_EQ(a.Port, 9883);
    EXPECT_TRUE(a.Tls);
    ASSERT_TRUE(ParseMqttBroker("mqtts://[::1]", a, error));
    EXPECT_EQ(a.Host, "::1");
    EXPECT_EQ(a.Port, 8883);
    for (const char* bad : {"broker:1883", "http://x", "mqtt://", "mqtt://x:0", "mqtt://x:70000",
                            "mqtt://x:1a", "mqtt://user@x"})
        EXPECT_FALSE(ParseMqttBroker(bad, a, error)) << bad;
}

TEST(MqttSettings, DefaultsFromTheStartFileNameAndKeysRead) {
    TempDir dir;
    const std::string file = dir.file("Line 2+3.pelk");
    WriteFile(file, "[Pelkor]\r\nVersion=3\r\n");
    MqttSettings m = ReadMqttSettings(file);
    EXPECT_TRUE(m.Broker.empty());
    EXPECT_EQ(m.TopicPrefix, "pelkor/Line 2_3");
    EXPECT_EQ(m.ClientId.rfind("pelkor-", 0), 0u);
    EXPECT_NE(m.ClientId.find("-Line 2_3"), std::string::npos);
    EXPECT_EQ(m.QoS, 1);
    EXPECT_TRUE(m.Retain);
    EXPECT_EQ(m.QueueLimit, 10000);

    WriteFile(file,
              "[mqtt]\r\nBroker=mqtt://b:1 ;; the plant's "
              "broker\r\nClientId=me\r\nTopicPrefix=site/a/\r\n"
              "User=u\r\nPasswordFile=/p\r\nCAFile=/ca\r\nQoS=0\r\nRetain=0\r\nQueueLimit=50\r\n");
    m = ReadMqttSettings(file);
    EXPECT_EQ(m.Broker, "mqtt://b:1");
    EXPECT_EQ(m.ClientId, "me");
    EXPECT_EQ(m.TopicPrefix, "site/a");
    EXPECT_EQ(m.User + m.PasswordFile + m.CAFile, "u/p/ca");
    EXPECT_EQ(m.QoS, 0);
    EXPECT_FALSE(m.Retain);
    EXPECT_EQ(m.QueueLimit, 50);

    WriteFile(file, "[MQTT]\r\nQoS=2\r\nQueueLimit=0\r\n");
    m = ReadMqttSettings(file);
    EXPECT_EQ(m.QoS, 1);
    EXPECT_EQ(m.QueueLimit, 10000);

    m.Broker = "mqtts://x";
    m.User = "op";
    std::string error;
    ASSERT_TRUE(WriteMqttSettings(file, m, error)) << error;
    const MqttSettings back = ReadMqttSettings(file);
    EXPECT_EQ(back.Broker, "mqtts://x");
    EXPECT_EQ(back.User, "op");
    EXPECT_EQ(back.QoS, 1);
}

TEST(MqttPassword, OnlyFromAFileNobodyElseMayRead) {
    TempDir dir;
    const std::string file = dir.file("pw");
    WriteFile(file, "s3cret\r\nsecond line\r\n");
    ::chmod(file.c_str(), 0600);
    std::string pw, error;
    ASSERT_TRUE(ReadMqttPassword(file, pw, error)) << error;
    EXPECT_EQ(pw, "s3cret");
    ::chmod(file.c_str(), 0644);
    EXPECT_FALSE(ReadMqttPassword(file, pw, error));
    EXPECT_NE(error.find("read by others"), std::string::npos) << error;
    EXPECT_FALSE(ReadMqttPassword(dir.file("none"), pw, error));
}

} // namespace
} // namespace pelkor
