// The JSON message of a stored record.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "mqtt/MqttPayload.h"
#include "output/OutputTestSupport.h"
#include "util/DateTime.h"

namespace pelkor {
namespace {

using testing::SetEntries;

class ZoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved_ = tz ? tz : "";
        had_ = tz != nullptr;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        if (had_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::string saved_;
    bool had_ = false;
};

TEST_F(ZoneTest, TimeCarriesTheOffsetOfItsOwnDate) {
    EXPECT_EQ(IsoLocalTime(DateFromParts(2026, 12, 6, 10, 15, 3)), "2026-12-06T10:15:03+01:00");
    EXPECT_EQ(IsoLocalTime(DateFromParts(2026, 7, 1, 23, 59, 59)), "2026-07-01T23:59:59+02:00");
}

TEST(JsonString, EscapesAndKeepsTheTextValidUtf8) {
    EXPECT_EQ(JsonString("a\"b\\c\r\n"), "\"a\\\"b\\\\c\\u000d\\u000a\"");
    EXPECT_EQ(JsonString("Temp \xC2\xB0"
                         "C"),
              "\"Temp \xC2\xB0"
              "C\"");
    // A single-byte text from an old start file: the degree sign as Latin-1.
    EXPECT_EQ(JsonString("Temp \xB0"
                         "C"),
              "\"Temp \xC2\xB0"
              "C\"");
}

TEST_F(ZoneTest, PayloadHasHeadTextsLabelsNullsAndTheWrittenLine) {
    Task t;
    SetEntries(t, {{'R', 100, 2, "Level <$I+1>", ";1234;-7"},
                   {'F', 5, 2, "", ";;"},
                   {'K', 0, 1, "Level 1", ";"}});
    t.ReadMissing = 3;
    t.LastValues = "2026-12-06 10:15:00;3;1234;-7;;;";
    t.FileType = "CSV";
    t.LineCount = 1;
    t.LineCounter = 17;
    const ReadingDoneEvent e{4, DateFromParts(2026, 12, 6, 10, 15, 0), &t};
    EXPECT_EQ(BuildMqttPayload(e), "{\"task\":4,\"time\":\"2026-12-06T10:15:00+01:00\",\"values\":{"
                                   "\"Level 1\":1234,\"Level 2\":-7,"
                                   "\"F 5\":null,\"F 6\":null,\"Level 1 (2)\":null},\"missing\":3,"
                                   "\"record\":\"17;2026-12-06 10:15:00;3;1234;-7;;;\"}");
    EXPECT_EQ(MqttTaskTopic("pelkor/plant", 4), "pelkor/plant/task/4");
    EXPECT_EQ(MqttStatusTopic("pelkor/plant"), "pelkor/plant/status");
}

TEST(Payload, ClockValueIsTextAndWorkbookRecordKeepsItsNumber) {
    Task t;
    SetEntries(t, {{'K', 0, 1, "", ";2026-12-06 10:15:00"}, {'R', 1, 1, "", ";007"}});
    t.FileType = "XLS";
    t.LineCount = 1;
    t.LineCounter = 5;
    t.LastValues = "5;2026-12-06 10:15:00;007";
    const std::string p = BuildMqttPayload({1, 46362.5, &t});
    EXPECT_NE(p.find("\"values\":{\"CLK\":\"2026-12-06 10:15:00\",\"R 1\":\"007\"}"),
              std::string::npos)
        << p;
    EXPECT_NE(p.find("\"record\":\"5;2026-12-06 10:15:00;007\""), std::string::npos) << p;
}

} // namespace
} // namespace pelkor
