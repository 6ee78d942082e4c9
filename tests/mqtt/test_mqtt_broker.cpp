// Publishing to a real mosquitto broker: the real pelkor program against the
// simulator, its files compared with what the broker delivered.

#include <gtest/gtest.h>

#include <regex>

#include "mqtt/MqttClient.h"
#include "mqtt/MqttTestSupport.h"
#include "sim/PcdSim.h"

namespace pelkor::e2e {
namespace {

using mqtttest::Broker;
using mqtttest::Subscriber;

// The "record" member of a payload (the line as written, no escapes in these).
std::string RecordOf(const std::string& payload) {
    const std::string key = "\"record\":\"";
    const std::size_t p = payload.find(key);
    if (p == std::string::npos) return "";
    return payload.substr(p + key.size(), payload.rfind("\"}") - p - key.size());
}

class MqttE2e : public ::testing::Test {
protected:
    TempDir dir;
    pcdsim::Simulator sim;

    void SetUp() override {
        if (mqtttest::MosquittoPath().empty()) GTEST_SKIP() << "mosquitto is not installed";
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        std::filesystem::create_directories(dir.file("log"));
    }
    // A start file from tests/e2e with the [MQTT] section added.
    std::string StartFile(const std::string& source, const std::string& mqtt) {
        const std::string path = dir.file(source);
        WriteAll(path, Replace(ReadAll(SourceDir() + "/tests/e2e/" + source), "{DIR}", dir.path()) +
                           "\r\n[MQTT]\r\nTopicPrefix=plant\r\n" + mqtt);
        return path;
    }
    std::unique_ptr<Child> Pelkor(const std::vector<std::string>& args) {
        const std::map<std::string, std::string> env = {{"PELSBUS_COM1", sim.SlavePath()},
                                                        {"LC_ALL", "C"},
                                                        {"DISPLAY", ""},
                                                        {"WAYLAND_DISPLAY", ""},
                                                        {"QT_QPA_PLATFORM", ""},
                                                        {"PELKOR_DDE_SOCKET", dir.file("dde.sock")},
                                                        {"XDG_DATA_HOME", dir.file("xdg")}};
        return std::make_unique<Child>(BinDir() + "/pelkor", args, env, dir.file("pelkor.out"),
                                       dir.file("pelkor.err"));
    }
    int RunShot(const std::string& start) {
        auto p = Pelkor({start, "PG5=20"});
        EXPECT_TRUE(p->Wait(30)) << "pelkor did not end in time";
        return p->Status();
    }
    std::string Log() { return ReadAll(dir.file("log/Pelkor.txt")); }
    void Stations() {
        auto& s1 = sim.AddStation(1);
        s1.SetRegister(0, 100);
        s1.SetRegister(1, -7);
        s1.SetFlag(1, true);
        sim.AddStation(2).SetRegister(10, 250000);
    }
};

TEST_F(MqttE2e, EveryRecordArrivesAsWrittenWithItsHeadsAndTheStatus) {
    Broker broker(dir);
    ASSERT_TRUE(broker.Start()) << ReadAll(dir.file("broker.err"));
    Subscriber sub(broker.Port(), "plant/#");
    ASSERT_TRUE(sub.WaitSubscribed());
    Stations();
    EXPECT_EQ(RunShot(StartFile("clean-shot.pelk", "Broker=" + broker.Url() + "\r\n")), 0)
        << ReadAll(dir.file("pelkor.err"));
    ASSERT_TRUE(WaitFor(
        [&] { return sub.On("plant/task/2").size() == 1 && sub.On("plant/status").size() >= 2; },
        10))
        << Log();

    const auto one = Lines(ReadAll(dir.file("out/Station1.csv")));
    ASSERT_EQ(one.size(), 2u);
    const auto p1 = sub.On("plant/task/1");
    ASSERT_EQ(p1.size(), 1u);
    EXPECT_EQ(RecordOf(p1[0]), one[1]);
    EXPECT_TRUE(std::regex_search(
        p1[0], std::regex(R"(^\{"task":1,"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d",)")))
        << p1[0];
    EXPECT_NE(p1[0].find("\"values\":{\"Reg 0\":100,\"Reg 1\":-7,\"Reg 2\":"), std::string::npos)
        << p1[0];
    EXPECT_NE(p1[0].find("\"Flag 1\":1,"), std::string::npos) << p1[0];
    EXPECT_NE(p1[0].find("\"missing\":0,"), std::string::npos) << p1[0];

    std::string monthFile;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("out")))
        if (e.path().filename().string().rfind("Station2_M", 0) == 0) monthFile = e.path().string();
    EXPECT_EQ(RecordOf(sub.On("plant/task/2")[0]) + "\r\n", ReadAll(monthFile));
    EXPECT_NE(sub.On("plant/task/2")[0].find("\"Level 1\":250000"), std::string::npos);
    const auto status = sub.On("plant/status");
    EXPECT_EQ(status.front(), "online");
    EXPECT_EQ(status.back(), "offline");
    EXPECT_EQ(Log().find("Err "), std::string::npos) << Log();
}

TEST_F(MqttE2e, ABrokerOutageOfTenSecondsLosesNothingAndKeepsTheOrder) {
    Broker broker(dir);
    ASSERT_TRUE(broker.Start()) << ReadAll(dir.file("broker.err"));
    auto sub = std::make_unique<Subscriber>(broker.Port(), "plant/task/#");
    ASSERT_TRUE(sub->WaitSubscribed());
    Stations();
    sim.AddStation(2).SetRegister(11, 5);
    const std::string start = StartFile("outage.pelk", "Broker=" + broker.Url() + "\r\n");
    auto p = Pelkor({"--seconds", "24", start, "PG5=20"});
    ASSERT_TRUE(WaitFor([&] { return sub->On("plant/task/1").size() >= 2; }, 10)) << Log();
    sub.reset(); // its session stays with the broker
    broker.Stop();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    ASSERT_TRUE(broker.Start()) << ReadAll(dir.file("broker.err"));
    sub = std::make_unique<Subscriber>(broker.Port(), "plant/task/#");
    ASSERT_TRUE(p->Wait(40));
    EXPECT_EQ(p->Status(), 0) << ReadAll(dir.file("pelkor.err"));

    const auto lines = Lines(ReadAll(dir.file("out/outage.csv")));
    ASSERT_GE(lines.size(), 18u) << "a record every second for 24 s";
    ASSERT_TRUE(
        WaitFor([&] { return sub->On("plant/task/1").size() + 2 >= lines.size() - 1; }, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // What arrived before the outage, then what the lasting session kept.
    std::vector<std::string> records;
    for (const auto& m : sub->On("plant/task/1"))
        records.push_back(RecordOf(m));
    std::vector<std::string> expected(lines.begin() + 1, lines.end());
    ASSERT_GE(records.size(), expected.size() - 2);
    // The first two arrived on the first subscriber; at QoS 1 one may come twice.
    const auto first = std::find(expected.begin(), expected.end(), records.front());
    ASSERT_NE(first, expected.end()) << records.front();
    EXPECT_EQ(std::vector<std::string>(first, expected.end()), records) << Log();
    const std::string log = Log();
    EXPECT_EQ(Count(log, "MQTT: connection to " + broker.Url() + " lost"), 1u) << log;
    EXPECT_GE(Count(log, "MQTT: connected to " + broker.Url()), 2u) << log;
}

TEST_F(MqttE2e, AFullQueueDropsTheOldestCountsThemAndDeliversTheRestInOrder) {
    Broker broker(dir);
    ASSERT_TRUE(broker.Start()) << ReadAll(dir.file("broker.err"));
    Subscriber sub(broker.Port(), "plant/task/#");
    ASSERT_TRUE(sub.WaitSubscribed());
    broker.Stop(); // the subscriber's session stays

    MqttSettings settings;
    settings.Broker = broker.Url();
    settings.ClientId = "queue-test";
    settings.TopicPrefix = "plant";
    settings.QueueLimit = 3;
    MqttClient client(settings);
    ASSERT_TRUE(client.Start()) << client.LastErrorText();
    for (int i = 1; i <= 5; ++i)
        client.Publish({"plant/task/1", std::to_string(i), 1, false});
    EXPECT_EQ(client.Pending(), 3u);
    bool counted = false;
    for (const MqttLogLine& line : client.TakeLogLines())
        counted |= line.Text == "MQTT: queue full (3 messages), 2 oldest dropped";
    EXPECT_TRUE(counted);

    ASSERT_TRUE(broker.Start()) << ReadAll(dir.file("broker.err"));
    ASSERT_TRUE(WaitFor([&] { return sub.On("plant/task/1").size() >= 3; }, 40));
    EXPECT_EQ(sub.On("plant/task/1"), (std::vector<std::string>{"3", "4", "5"}));
    client.Stop(2);
}

struct Failure {
    const char* Name;
    std::string Broker; // "{URL}", "{TLS}" become the test broker's addresses
    std::string Extra;  // more [MQTT] keys
    bool Closed;        // the broker admits nobody anonymous
    std::string Line;   // the one log line
};

class MqttFailure : public MqttE2e, public ::testing::WithParamInterface<Failure> {};

TEST_P(MqttFailure, OneClearLogLineAndTheFilesAreWritten) {
    const Failure& f = GetParam();
    Broker broker(dir, f.Closed ? "# nobody may connect" : "");
    ASSERT_TRUE(broker.Start()) << ReadAll(dir.file("broker.err"));
    std::string url = Replace(f.Broker, "{URL}", broker.Url());
    url = Replace(url, "{TLS}", "mqtts://127.0.0.1:" + std::to_string(broker.Port()));
    WriteAll(dir.file("pw"), "wrong\n");
    ::chmod(dir.file("pw").c_str(), 0600);
    Stations();
    EXPECT_EQ(RunShot(StartFile("clean-shot.pelk",
                                "Broker=" + url + "\r\n" + Replace(f.Extra, "{DIR}", dir.path()))),
              0)
        << ReadAll(dir.file("pelkor.err"));
    EXPECT_EQ(Lines(ReadAll(dir.file("out/Station1.csv"))).size(), 2u);
    const std::string log = Log();
    EXPECT_EQ(Count(log, f.Line), 1u) << log;
    EXPECT_NE(log.find("Stop the application."), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Pelkor, MqttFailure,
    ::testing::Values(Failure{"BadAddress", "mqtt://no-such-host.invalid", "", false,
                              "MQTT: cannot connect to mqtt://no-such-host.invalid"},
                      Failure{"BadUrl", "tcp://somewhere", "", false,
                              "MQTT: bad broker address \"tcp://somewhere\""},
                      Failure{"RefusedCredentials", "{URL}", "User=op\r\nPasswordFile={DIR}/pw\r\n",
                              true, "refused the connection: not authorised"},
                      Failure{"TlsFailure", "{TLS}", "", false,
                              "MQTT: TLS failure with mqtts://127.0.0.1:"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace pelkor::e2e
