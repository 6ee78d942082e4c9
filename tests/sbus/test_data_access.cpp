// Data transfers over a scripted port: argument limits before the open
// check, splitting into telegrams, partial failures, request layouts and
// value unpacking.
#include "ScriptedPort.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace pelsbus;
using namespace pelsbus::test;

namespace {

class DataTest : public ::testing::Test {
protected:
    Log log;
    ScriptedPort port{log};
    RecordingServices sv{log};
    Engine e{port, sv};

    void OpenPort() {
        ASSERT_EQ(e.SetParameter(1, 9600, 1), 0);
        ASSERT_EQ(e.Open(), 0);
        e.State().station = 3;
        log.Clear();
    }
    // The request bytes after the station byte of every telegram sent.
    std::vector<std::vector<uint8_t>> Requests() const {
        std::vector<std::vector<uint8_t>> out;
        auto w = log.Of(Step::Write);
        for (size_t i = 1; i < w.size(); i += 2)
            out.push_back(w[i].bytes);
        return out;
    }
    static int Addr16(const std::vector<uint8_t>& r, size_t at) { return r[at] << 8 | r[at + 1]; }
    static std::vector<uint8_t> BitAnswer(int count, uint8_t pattern) {
        return Answer(std::vector<uint8_t>(static_cast<size_t>((count + 7) / 8), pattern));
    }
};

} // namespace

TEST_F(DataTest, LimitsAreCheckedBeforeTheOpenState) {
    int16_t bits[8] = {};
    int32_t vals[8] = {};
    // Closed port: refused arguments still give 10, valid ones 35.
    EXPECT_EQ(e.ReadValues(6, 4096, 1, vals), kBadParameter);
    EXPECT_EQ(e.ReadValues(6, 4090, 7, vals), kBadParameter);
    EXPECT_EQ(e.ReadValues(6, -1, 1, vals), kBadParameter);
    EXPECT_EQ(e.ReadValues(6, 4095, 1, vals), kNotOpen);
    EXPECT_EQ(e.ReadValues(0, 1600, 1, vals), kBadParameter);
    EXPECT_EQ(e.ReadValues(7, 1599, 1, vals), kNotOpen);
    EXPECT_EQ(e.ReadBits(2, 8192, 1, bits), kBadParameter);
    EXPECT_EQ(e.ReadBits(3, 8191, 2, bits), kBadParameter);
    EXPECT_EQ(e.ReadBits(5, 8191, 1, bits), kNotOpen);
    EXPECT_EQ(e.WriteBits(11, 0, 8193, bits), kBadParameter);
    EXPECT_EQ(e.WriteBits(13, 0, 1, bits), kNotOpen);
    EXPECT_EQ(e.WriteValues(14, 4096, 1, vals), kBadParameter);
    EXPECT_EQ(e.WriteValues(10, 1590, 11, vals), kBadParameter);
    EXPECT_EQ(e.WriteValues(15, 0, 1, vals), kNotOpen);
    // A null array is a refused argument, not a crash.
    EXPECT_EQ(e.ReadValues(6, 0, 1, nullptr), kBadParameter);
    EXPECT_TRUE(log.steps.empty());
}

TEST_F(DataTest, EdgesAndEmptyTransfers) {
    OpenPort();
    int32_t v = 0;
    port.replies = {{RegisterAnswer({77})}};
    EXPECT_EQ(e.ReadValues(6, 4095, 1, &v), kOk);
    EXPECT_EQ(v, 77);
    EXPECT_EQ(Addr16(Requests()[0], 2), 4095);
    port.replies = {{RegisterAnswer({78})}};
    EXPECT_EQ(e.ReadValues(0, 1599, 1, &v), kOk);
    EXPECT_EQ(Requests()[1][0], 0);
    log.Clear();
    int16_t b = 0;
    EXPECT_EQ(e.ReadBits(2, 0, 0, &b), kOk);
    EXPECT_EQ(e.ReadValues(6, 10, -5, &v), kOk);
    EXPECT_EQ(e.WriteBits(11, 0, 0, &b), kOk);
    EXPECT_EQ(e.WriteValues(14, 0, 0, &v), kOk);
    EXPECT_TRUE(log.steps.empty());
}

TEST_F(DataTest, FlagsSplitAt128WithAddressesAdvancing) {
    OpenPort();
    port.replies = {{BitAnswer(128, 0x01)}, {BitAnswer(128, 0x80)}, {BitAnswer(44, 0xFF)}};
    std::vector<int16_t> flags(300, -1);
    ASSERT_EQ(e.ReadBits(2, 0, 300, flags.data()), kOk);
    auto r = Requests();
    ASSERT_EQ(r.size(), 3u);
    const int counts[] = {128, 128, 44}, addrs[] = {0, 128, 256};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r[i][0], 2);
        EXPECT_EQ(r[i][1] + 1, counts[i]);
        EXPECT_EQ(Addr16(r[i], 2), addrs[i]);
    }
    auto reads = log.Of(Step::Read);
    EXPECT_EQ(reads[2].want, 6u + 2u + 0u); // 44 bits = 6 bytes + CRC
    // Element i is bit (i mod 8) of byte (i div 8), as 0 or 1.
    EXPECT_EQ(flags[0], 1);
    EXPECT_EQ(flags[1], 0);
    EXPECT_EQ(flags[8], 1);
    EXPECT_EQ(flags[128 + 7], 1);
    EXPECT_EQ(flags[128 + 6], 0);
    EXPECT_EQ(flags[299], 1);
}

TEST_F(DataTest, MultiTelegramStopsAtFirstFailureKeepingEarlierValues) {
    OpenPort();
    std::vector<int32_t> first(32);
    std::iota(first.begin(), first.end(), 100);
    port.replies = {{RegisterAnswer(first)}, {{kNakByte}}};
    std::vector<int32_t> regs(80, -7);
    EXPECT_EQ(e.ReadValues(6, 1000, 80, regs.data()), kNak);
    EXPECT_EQ(Requests().size(), 2u);
    EXPECT_EQ(regs[0], 100);
    EXPECT_EQ(regs[31], 131);
    EXPECT_EQ(regs[32], -7);
    EXPECT_EQ(regs[79], -7);

    // Outputs the same way, on the second of three telegrams.
    log.Clear();
    port.replies = {{BitAnswer(128, 0xFF)}};
    std::vector<int16_t> outs(300, -1);
    EXPECT_EQ(e.ReadBits(5, 0, 300, outs.data()), kNoResponse);
    EXPECT_EQ(outs[127], 1);
    EXPECT_EQ(outs[128], -1);
    EXPECT_EQ(Requests().size(), 1u + 3u);

    // Writes stop too.
    log.Clear();
    port.replies = {{{kAck}}, {{0x33}}, {{0x33}}, {{0x33}}};
    std::vector<int32_t> w(70, 1);
    EXPECT_EQ(e.WriteValues(14, 0, 70, w.data()), kBadResponse);
    EXPECT_EQ(Requests().size(), 4u);
}

TEST_F(DataTest, WriteLayouts) {
    OpenPort();
    // Bits: command, N + 2, address, count - 1, N bytes, LSB first; nonzero = 1.
    std::vector<int16_t> bits = {1, 0, -3, 0, 0, 0, 0, 0, 7, 1};
    port.replies = {{{kAck}}};
    ASSERT_EQ(e.WriteBits(11, 300, 10, bits.data()), kOk);
    auto r = Requests()[0];
    ASSERT_EQ(r.size(), 1u + 1 + 2 + 1 + 2 + 2);
    EXPECT_EQ(r[0], 11);
    EXPECT_EQ(r[1], 4);
    EXPECT_EQ(Addr16(r, 2), 300);
    EXPECT_EQ(r[4], 9);
    EXPECT_EQ(r[5], 0x05);
    EXPECT_EQ(r[6], 0x03);

    // Values: command, 4 x count + 1, address, values high byte first.
    log.Clear();
    const int32_t vals[2] = {0x01020304, -2};
    port.replies = {{{kAck}}};
    ASSERT_EQ(e.WriteValues(15, 7, 2, vals), kOk);
    r = Requests()[0];
    EXPECT_EQ(
        r, (std::vector<uint8_t>{15, 9, 0, 7, 1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFE, r[12], r[13]}));

    // Data-block items: command, 4 x count + 3, DB, item, values; 32 per telegram.
    log.Clear();
    std::vector<int32_t> items(40, 0x11);
    port.replies = {{{kAck}}, {{kAck}}};
    ASSERT_EQ(e.WriteDbItems(4000, 5, 40, items.data()), kOk);
    auto rs = Requests();
    ASSERT_EQ(rs.size(), 2u);
    EXPECT_EQ(rs[0][0], 151);
    EXPECT_EQ(rs[0][1], 4 * 32 + 3);
    EXPECT_EQ(Addr16(rs[0], 2), 4000);
    EXPECT_EQ(Addr16(rs[0], 4), 5);
    EXPECT_EQ(rs[1][1], 4 * 8 + 3);
    EXPECT_EQ(Addr16(rs[1], 4), 37);
    EXPECT_EQ(e.WriteDbItems(1, 0, 0, items.data()), kBadParameter);
}

TEST_F(DataTest, DataBlockItemsAndBlockSizes) {
    OpenPort();
    int32_t vals[40] = {};
    EXPECT_EQ(e.ReadDbItems(1, 0, 0, vals), kBadParameter);
    EXPECT_EQ(e.ReadBlockSizes('D', 0, 0, vals), kBadParameter);
    EXPECT_EQ(e.ReadBlockSizes('d', 0, 1, vals), kBadParameter);
    EXPECT_EQ(e.ReadBlockSizes('Z', 0, 1, vals), kBadParameter);
    EXPECT_EQ(e.ReadBlockSizes('\0', 0, 1, vals), kBadParameter);
    EXPECT_TRUE(log.steps.empty());

    std::vector<int32_t> a(32, 5), b(8, 6);
    port.replies = {{RegisterAnswer(a)}, {RegisterAnswer(b)}};
    ASSERT_EQ(e.ReadDbItems(-2, 100, 40, vals), kOk); // DB 0xFFFE: no range limit
    auto r = Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0][0], 150);
    EXPECT_EQ(r[0][1], 31);
    EXPECT_EQ(Addr16(r[0], 2), 0xFFFE);
    EXPECT_EQ(Addr16(r[0], 4), 100);
    EXPECT_EQ(Addr16(r[1], 4), 132);
    EXPECT_EQ(vals[31], 5);
    EXPECT_EQ(vals[32], 6);

    log.Clear();
    const char* letters = "CXPFSTEDBIA";
    for (int i = 0; i < 11; ++i) {
        port.replies = {{RegisterAnswer({i * 10})}};
        int32_t size = -1;
        ASSERT_EQ(e.ReadBlockSizes(letters[i], 12, 1, &size), kOk);
        EXPECT_EQ(size, i * 10);
        auto req = Requests().back();
        EXPECT_EQ(req[0], 156);
        EXPECT_EQ(req[2], i) << letters[i];
        EXPECT_EQ(Addr16(req, 3), 12);
    }
}

TEST_F(DataTest, ByteWiseDataBlockRead) {
    OpenPort();
    // Offset 6, 5 bytes: words 1 and 2 in one telegram; bytes 2, 3 of word 1
    // then bytes 0..2 of word 2.
    port.replies = {{Answer({0x10, 0x11, 0x12, 0x13, 0x20, 0x21, 0x22, 0x23})}};
    uint8_t out[8] = {};
    ASSERT_EQ(e.ReadDbBytes(9, 6, 5, out), kOk);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6),
              (std::vector<uint8_t>{0x12, 0x13, 0x20, 0x21, 0x22, 0}));
    auto r = Requests()[0];
    EXPECT_EQ(r.size(), 1u + 1 + 2 + 3 + 2);
    EXPECT_EQ(r[0], 159);
    EXPECT_EQ(r[1], 1);
    EXPECT_EQ(Addr16(r, 2), 9);
    EXPECT_EQ((r[4] << 16 | r[5] << 8 | r[6]), 1);

    // A byte count of 0 still reads one word and copies nothing.
    log.Clear();
    port.replies = {{Answer({1, 2, 3, 4})}};
    uint8_t none = 0xAA;
    ASSERT_EQ(e.ReadDbBytes(9, 0, 0, &none), kOk);
    EXPECT_EQ(none, 0xAA);
    EXPECT_EQ(Requests()[0][1], 0);

    // Offset 3, 200 bytes: 51 words in telegrams of 32 and 19, in order.
    log.Clear();
    std::vector<uint8_t> w1(128), w2(19 * 4);
    std::iota(w1.begin(), w1.end(), 0);
    std::iota(w2.begin(), w2.end(), 128);
    port.replies = {{Answer(w1)}, {Answer(w2)}};
    std::vector<uint8_t> dest(210, 0xEE);
    ASSERT_EQ(e.ReadDbBytes(1, 3, 200, dest.data()), kOk);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(dest[i], static_cast<uint8_t>(i + 3)) << i;
    EXPECT_EQ(dest[200], 0xEE);
    auto rs = Requests();
    ASSERT_EQ(rs.size(), 2u);
    EXPECT_EQ(rs[0][1], 31);
    EXPECT_EQ(rs[1][1], 18);
    EXPECT_EQ(rs[1][6], 32);

    // Aligned, within one word.
    port.replies = {{Answer({9, 8, 7, 6})}};
    uint8_t two[2] = {};
    ASSERT_EQ(e.ReadDbBytes(1, 4, 2, two), kOk);
    EXPECT_EQ(two[0], 9);
    EXPECT_EQ(two[1], 8);
    EXPECT_EQ(e.ReadDbBytes(1, -1, 2, two), kBadParameter);
}

TEST_F(DataTest, StatusCharacters) {
    OpenPort();
    const std::pair<char, int> table[] = {{'D', 1}, {'R', 2}, {'S', 3}, {'H', 4}, {'C', 5},
                                          {'B', 9}, {'r', 6}, {'X', 6}, {'\0', 6}};
    for (auto [c, expected] : table) {
        port.replies = {{Answer({static_cast<uint8_t>(c)})}};
        int32_t status = -1;
        ASSERT_EQ(e.ReadStatus(0, &status), kOk);
        EXPECT_EQ(status, expected) << c;
    }
    port.replies = {{{kNakByte}}};
    int32_t status = 42;
    EXPECT_EQ(e.ReadStatus(3, &status), kNak);
    EXPECT_EQ(status, 42);
    EXPECT_EQ(e.ReadStatus(0, nullptr), kBadParameter);
}

TEST_F(DataTest, ExportsWithoutOpenCheckFailOnAClosedPort) {
    int32_t v[2] = {};
    uint8_t b[4] = {};
    EXPECT_EQ(e.ReadDbItems(1, 0, 1, v), kFailed);
    EXPECT_EQ(e.ReadDbBytes(1, 0, 4, b), kFailed);
    EXPECT_EQ(e.ReadBlockSizes('C', 0, 1, v), kFailed);
    EXPECT_EQ(e.ReadStatus(0, v), kFailed);
    EXPECT_TRUE(log.messages.empty());
    EXPECT_EQ(e.WriteDbItems(1, 0, 1, v), kFailed);
    EXPECT_EQ(log.messages, std::vector<std::string>{"Error: SetCommState"});
    EXPECT_EQ(log.Count(Step::Write), 0u);
}

TEST_F(DataTest, ClockRequestAndBcdAnswers) {
    OpenPort();
    int32_t c[8] = {};
    port.replies.push_back({Answer({0x52, 0x05, 0x99, 0x12, 0x31, 0x23, 0x59, 0x58})});
    ASSERT_EQ(e.ReadClock(c), kOk);
    EXPECT_EQ(std::vector<int32_t>(c, c + 8),
              (std::vector<int32_t>{52, 5, 1999, 12, 31, 23, 59, 58}));
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0][0], cmd::kReadClock);
    EXPECT_EQ(Requests()[0].size(), 3u); // the command and the CRC
    EXPECT_EQ(log.Of(Step::Read)[0].want, 10u);

    port.replies.push_back({Answer({0x01, 0x06, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00})});
    ASSERT_EQ(e.ReadClock(c), kOk);
    EXPECT_EQ(c[2], 2000);

    // A nibble above 9 or a field no clock has is a bad answer; nothing is stored.
    const int32_t before[8] = {52, 5, 1999, 12, 31, 23, 59, 58};
    std::copy_n(before, 8, c);
    for (std::vector<uint8_t> bad :
         {std::vector<uint8_t>{0x52, 0x05, 0x99, 0x1A, 0x31, 0x23, 0x59, 0x58},
          std::vector<uint8_t>{0x52, 0x05, 0x99, 0x12, 0x31, 0x23, 0x59, 0xF0},
          std::vector<uint8_t>{0x52, 0x05, 0x99, 0x13, 0x31, 0x23, 0x59, 0x58},
          std::vector<uint8_t>{0x52, 0x05, 0x99, 0x12, 0x31, 0x24, 0x59, 0x58}}) {
        port.replies.push_back({Answer(bad)});
        EXPECT_EQ(e.ReadClock(c), kBadResponse);
        EXPECT_EQ(std::vector<int32_t>(c, c + 8), std::vector<int32_t>(before, before + 8));
    }
}
