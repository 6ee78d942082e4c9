// The telegram engine over a scripted port: bytes on the wire with their
// parity, the attempt loop and its result codes, settings and open rules.
#include "ScriptedPort.h"

#include <gtest/gtest.h>

using namespace pelsbus;
using namespace pelsbus::test;

namespace {

struct Telegram {
    std::vector<uint8_t> station;
    Parity stationParity;
    std::vector<uint8_t> rest;
    Parity restParity;
};

class EngineTest : public ::testing::Test {
protected:
    Log log;
    ScriptedPort port{log};
    RecordingServices sv{log};
    Engine e{port, sv};

    void OpenPort() {
        ASSERT_EQ(e.SetParameter(1, 9600, 1), 0);
        ASSERT_EQ(e.Open(), 0);
        log.Clear();
    }
    std::vector<Telegram> Telegrams() const {
        std::vector<Telegram> out;
        auto w = log.Of(Step::Write);
        for (size_t i = 0; i + 1 < w.size(); i += 2)
            out.push_back({w[i].bytes, w[i].parity, w[i + 1].bytes, w[i + 1].parity});
        return out;
    }
    std::vector<int> Sleeps() const {
        std::vector<int> out;
        for (const Step& s : log.Of(Step::Sleep))
            out.push_back(s.value);
        return out;
    }
    SbusRequest Request(uint8_t command, int32_t count = 1, int32_t address = 0) {
        SbusRequest r;
        r.station = e.State().station;
        r.command = command;
        r.count = count;
        r.address = address;
        return r;
    }
};

} // namespace

TEST(SbusCrc, KnownValuesAndTable) {
    CrcTable t;
    t.Build();
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(SbusCrc16(t, 0, digits, 9), 0x31C3);
    // Continuing over a split buffer gives the same CRC as one pass.
    EXPECT_EQ(SbusCrc16(t, SbusCrc16(t, 0, digits, 4), digits + 4, 5), 0x31C3);
    const uint8_t request[] = {0x05, 0x06, 0x00, 0x00, 0x00};
    EXPECT_EQ(SbusCrc16(t, 0, request, 5), 0x04CE);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[1], 0x1021);
}

TEST_F(EngineTest, WireExampleStationFiveRegisterZero) {
    OpenPort();
    e.State().station = 5;
    port.replies.push_back({RegisterAnswer({1234})});
    int32_t v = 0;
    ASSERT_EQ(e.ReadValues(6, 0, 1, &v), 0);
    EXPECT_EQ(v, 1234);
    auto t = Telegrams();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].station, std::vector<uint8_t>{0x05});
    EXPECT_EQ(t[0].stationParity, Parity::Mark);
    EXPECT_EQ(t[0].rest, (std::vector<uint8_t>{0x06, 0x00, 0x00, 0x00, 0x04, 0xCE}));
    EXPECT_EQ(t[0].restParity, Parity::Space);
    ASSERT_EQ(log.Count(Step::Read), 1u);
    EXPECT_EQ(log.Of(Step::Read)[0].want, 6u);

    // The order of one attempt: discard, wait 1, mark, wait 1, station byte,
    // flush, wait 2, space, wait 3, rest, flush, read (wait 4 is 0).
    std::vector<Step::Kind> kinds;
    for (const Step& s : log.steps)
        kinds.push_back(s.kind);
    const std::vector<Step::Kind> expected = {
        Step::Discard, Step::Sleep,       Step::SetSettings, Step::Sleep, Step::Write, Step::Drain,
        Step::Sleep,   Step::SetSettings, Step::Sleep,       Step::Write, Step::Drain, Step::Read};
    EXPECT_EQ(kinds, expected);
}

TEST_F(EngineTest, StationBytes) {
    OpenPort();
    SbusRequest r = Request(20);
    EXPECT_EQ(e.ReadTelegram(r), kNoResponse); // never set: 255
    e.State().station = 0;
    r = Request(20);
    e.ReadTelegram(r);
    auto t = Telegrams();
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[0].station[0], 0xFF);
    EXPECT_EQ(t[3].station[0], 0x00);
    // Status request: command and CRC only.
    EXPECT_EQ(t[3].rest.size(), 3u);
    EXPECT_EQ(t[3].rest[0], 20);
}

TEST_F(EngineTest, ReadAttemptLoopAndMarks) {
    OpenPort();
    e.State().station = 1;
    e.State().wait[3] = 7;
    auto good = RegisterAnswer({5});
    auto badCrc = good;
    badCrc.back() ^= 1;
    std::vector<uint8_t> shortAnswer(good.begin(), good.begin() + 3);

    // NAK ends at once.
    port.replies = {{{kNakByte}}};
    SbusRequest r = Request(6);
    EXPECT_EQ(e.ReadTelegram(r), kNak);
    EXPECT_EQ(log.Count(Step::Read), 1u);

    // Nothing at all: every attempt, each ending with wait 4.
    log.Clear();
    port.replies.clear();
    r = Request(6);
    EXPECT_EQ(e.ReadTelegram(r), kNoResponse);
    EXPECT_EQ(log.Count(Step::Read), 3u);
    auto sleeps = Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 7), 3);

    // Wrong CRC every time: 3, and no wait 4 after those attempts.
    log.Clear();
    port.replies = {{badCrc}, {badCrc}, {badCrc}};
    r = Request(6);
    EXPECT_EQ(e.ReadTelegram(r), kBadCrc);
    sleeps = Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 7), 0);

    // The last attempt decides.
    log.Clear();
    port.replies = {{badCrc}, {badCrc}, {shortAnswer}};
    r = Request(6);
    EXPECT_EQ(e.ReadTelegram(r), kBadResponse);
    port.replies = {{shortAnswer}, {{}}, {badCrc}};
    r = Request(6);
    EXPECT_EQ(e.ReadTelegram(r), kBadCrc);
    port.replies = {{badCrc}, {shortAnswer}, {{}}};
    r = Request(6);
    EXPECT_EQ(e.ReadTelegram(r), kNoResponse);

    // A single byte that is not NAK is a short answer, not a NAK.
    port.replies = {{{0x06}}, {{0x06}}, {{0x06}}};
    r = Request(6);
    EXPECT_EQ(e.ReadTelegram(r), kBadResponse);

    // Recovery within the attempts; the count follows the retry setting.
    log.Clear();
    e.State().retries = 5;
    port.replies = {{{}}, {badCrc}, {shortAnswer}, {{}}, {good}};
    r = Request(6);
    EXPECT_EQ(e.ReadTelegram(r), kOk);
    EXPECT_EQ(r.values[0], 5);
    EXPECT_EQ(log.Count(Step::Read), 5u);
}

TEST_F(EngineTest, WriteAttemptLoop) {
    OpenPort();
    e.State().station = 2;
    SbusRequest r = Request(14);
    r.values[0] = 9;

    port.replies.clear();
    EXPECT_EQ(e.WriteTelegram(r), kNoResponse);
    EXPECT_EQ(log.Count(Step::Read), 1u);

    log.Clear();
    port.replies = {{{kNakByte}}, {{kNakByte}}, {{kNakByte}}};
    EXPECT_EQ(e.WriteTelegram(r), kNak);
    EXPECT_EQ(log.Count(Step::Read), 3u);

    port.replies = {{{kNakByte}}, {{kNakByte}}, {{0x42}}};
    EXPECT_EQ(e.WriteTelegram(r), kBadResponse);

    log.Clear();
    port.replies = {{{0x42}}, {{kAck}}};
    EXPECT_EQ(e.WriteTelegram(r), kOk);
    EXPECT_EQ(log.Count(Step::Read), 2u);
    // Each write reads exactly one byte.
    for (const Step& s : log.Of(Step::Read))
        EXPECT_EQ(s.want, 1u);
}

TEST_F(EngineTest, CommandFilterAndPortFailures) {
    OpenPort();
    for (uint8_t c : {1, 10, 11, 12, 14, 151, 200}) {
        SbusRequest r = Request(c);
        EXPECT_EQ(e.ReadTelegram(r), kFailed) << int(c);
    }
    for (uint8_t c : {0, 2, 6, 20, 150, 159}) {
        SbusRequest r = Request(c);
        EXPECT_EQ(e.WriteTelegram(r), kFailed) << int(c);
    }
    EXPECT_TRUE(log.steps.empty()); // refused before any traffic

    // Read exchange: a failing parity switch gives -1 without a message.
    port.failSetFrom = 0;
    SbusRequest r = Request(6);
    EXPECT_EQ(e.ReadTelegram(r), kFailed);
    EXPECT_TRUE(log.messages.empty());
    EXPECT_EQ(log.Count(Step::Write), 0u);
    // Write exchange: failing to set mark parity is reported.
    r = Request(14);
    EXPECT_EQ(e.WriteTelegram(r), kFailed);
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0], "Error: SetCommState");
    port.failSetFrom = -1;

    // The read call failing is reported by both exchanges.
    log.Clear();
    port.replies = {{{}, true}, {{}, true}};
    r = Request(6);
    EXPECT_EQ(e.ReadTelegram(r), kFailed);
    r = Request(14);
    EXPECT_EQ(e.WriteTelegram(r), kFailed);
    EXPECT_EQ(log.messages, (std::vector<std::string>{"Error: ReadFile", "Error: ReadFile"}));

    // ... and all of it is silent after NoMsg.
    e.NoMsg();
    log.Clear();
    port.replies = {{{}, true}};
    r = Request(6);
    EXPECT_EQ(e.ReadTelegram(r), kFailed);
    EXPECT_TRUE(log.messages.empty());
}

TEST_F(EngineTest, Win95ModeSwitchesRtsAroundEachTelegram) {
    e.State().win95 = true;
    ASSERT_EQ(e.SetParameter(1, 19200, 1), 0);
    ASSERT_EQ(e.Open(), 0);
    auto sets = log.Of(Step::SetSettings);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].settings.rts, RtsControl::Enable);
    log.Clear();
    e.State().station = 1;
    port.replies = {{{}}, {RegisterAnswer({1})}};
    SbusRequest r = Request(6);
    ASSERT_EQ(e.ReadTelegram(r), kOk);
    auto rts = log.Of(Step::Rts);
    ASSERT_EQ(rts.size(), 4u);
    EXPECT_EQ(rts[0].value, 1);
    EXPECT_EQ(rts[1].value, 0);
    // RTS goes down 8 ms after the telegram, before the answer is read.
    size_t lower = 0, read = 0, eight = 0;
    for (size_t i = 0; i < log.steps.size(); ++i) {
        if (log.steps[i].kind == Step::Rts && !log.steps[i].value && !lower) lower = i;
        if (log.steps[i].kind == Step::Read && !read) read = i;
        if (log.steps[i].kind == Step::Sleep && log.steps[i].value == 8 && !eight) eight = i;
    }
    EXPECT_LT(eight, lower);
    EXPECT_LT(lower, read);
    // The record's RTS control follows: disabled after a telegram, enabled again
    // at the next attempt's first apply.
    sets = log.Of(Step::SetSettings);
    EXPECT_EQ(sets[2].settings.rts, RtsControl::Enable);
}

TEST_F(EngineTest, SetParameterRules) {
    EXPECT_EQ(e.SetParameter(3, 9600, 0), kBadParameter);
    EXPECT_EQ(e.State().port, 3);
    EXPECT_EQ(e.State().baud, 9600);
    EXPECT_FALSE(e.State().parametersSet);
    EXPECT_EQ(e.Open(), kNotOpen);
    EXPECT_TRUE(log.steps.empty());
    EXPECT_EQ(e.SetParameter(1, 57600, 1), kBadParameter);
    EXPECT_EQ(e.SetParameter(0, 9600, 1), kBadParameter);
    EXPECT_EQ(e.SetParameter(9, 9600, 1), kBadParameter);
    EXPECT_FALSE(e.State().parametersSet);
    for (int baud : {150, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400})
        EXPECT_EQ(e.SetParameter(8, baud, 7), 0);
    EXPECT_TRUE(e.State().parametersSet);
    // Never cleared: a refused call stores its values but keeps the mark.
    EXPECT_EQ(e.SetParameter(12, 100, 1), kBadParameter);
    EXPECT_TRUE(e.State().parametersSet);
    EXPECT_EQ(e.State().port, 12);
}

TEST_F(EngineTest, OpenRules) {
    ASSERT_EQ(e.SetParameter(2, 4800, 1), 0);
    port.initial.parity = Parity::None;
    port.initial.dataBits = 7;
    port.initial.stopBits = 2;
    port.initial.dtr = DtrControl::Enable;
    ASSERT_EQ(e.Open(), 0);
    auto sets = log.Of(Step::SetSettings);
    ASSERT_EQ(sets.size(), 1u);
    const CommSettings& s = sets[0].settings;
    EXPECT_EQ(s.baud, 4800u);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.parity, Parity::Space);
    EXPECT_EQ(s.stopBits, 1);
    EXPECT_TRUE(s.binary);
    EXPECT_FALSE(s.parityCheck);
    EXPECT_FALSE(s.ctsFlow);
    EXPECT_EQ(s.dtr, DtrControl::Disable);
    EXPECT_EQ(s.rts, RtsControl::Toggle);
    EXPECT_EQ(log.Count(Step::Timeouts), 1u);

    log.Clear();
    EXPECT_EQ(e.Open(), kPortError); // already open: nothing changes
    EXPECT_TRUE(log.steps.empty());
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(e.Close(), 0);
    EXPECT_EQ(e.Close(), 0);
    EXPECT_EQ(log.Count(Step::Close), 1u);
}

TEST_F(EngineTest, OpenFailuresCloseThePortAndReport) {
    ASSERT_EQ(e.SetParameter(1, 9600, 1), 0);
    port.failOpen = true;
    port.openError = 13;
    EXPECT_EQ(e.Open(), kPortError);
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0],
              "Error: Cannot open the serial port. [13]\nThe port does not exist or another \n"
              "application use the port.");
    port.failOpen = false;

    log.Clear();
    port.failGet = true;
    EXPECT_EQ(e.Open(), kPortError);
    EXPECT_EQ(log.messages, std::vector<std::string>{"Error: GetCommState"});
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(e.IsOpen());
    port.failGet = false;

    log.Clear();
    port.failSetFrom = 0;
    EXPECT_EQ(e.Open(), kPortError);
    EXPECT_EQ(log.messages, std::vector<std::string>{"Error: SetCommState"});
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(e.IsOpen());

    log.Clear();
    e.NoMsg();
    port.failOpen = true;
    EXPECT_EQ(e.Open(), kPortError);
    EXPECT_TRUE(log.messages.empty());
}

TEST_F(EngineTest, SettingsTakeEffectAtNextOpen) {
    OpenPort();
    e.State().timeouts.readConstant = 5;
    e.State().timeouts.writeMultiplier = 0;
    ASSERT_EQ(e.SetParameter(1, 38400, 1), 0);
    e.State().station = 1;
    port.replies = {{RegisterAnswer({1})}};
    SbusRequest r = Request(6);
    ASSERT_EQ(e.ReadTelegram(r), kOk);
    EXPECT_EQ(log.Count(Step::Timeouts), 0u);
    for (const Step& s : log.Of(Step::SetSettings))
        EXPECT_EQ(s.settings.baud, 9600u);

    e.Close();
    log.Clear();
    ASSERT_EQ(e.Open(), 0);
    auto t = log.Of(Step::Timeouts);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].timeouts.readConstant, 5u);
    EXPECT_EQ(t[0].timeouts.writeMultiplier, 0u);
    EXPECT_EQ(log.Of(Step::SetSettings)[0].settings.baud, 38400u);
}
