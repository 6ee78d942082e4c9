// Every export of libPelsbus.so, bound by name, against the simulator on a
// pseudo-terminal and over UDP: round trips, fault classes and their codes,
// multi-telegram transfers and partial failures.
#include "PelsbusApi.h"
#include "sim/PcdSim.h"
#include "sim/SimWire.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/file.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using pelsbus::test::PelsbusApi;

namespace {

// Standard error into a file for the length of one scope.
class CaptureStderr {
public:
    CaptureStderr() {
        std::fflush(stderr);
        path_ = "/tmp/pelsbus-stderr-" + std::to_string(getpid());
        saved_ = dup(2);
        const int fd = ::open(path_.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
        dup2(fd, 2);
        ::close(fd);
    }
    std::string Text() {
        Restore();
        std::ifstream f(path_);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    ~CaptureStderr() {
        Restore();
        ::unlink(path_.c_str());
    }

private:
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
    }
    std::string path_;
    int saved_ = -1;
};

class LibraryTest : public ::testing::Test {
protected:
    pcdsim::Simulator sim;
    PelsbusApi api;

    virtual bool Udp() const { return false; }
    void SetUp() override {
        sim.AddStation(5);
        ASSERT_TRUE(Udp() ? sim.StartUdp() : sim.Start()) << sim.LastError();
        setenv("PELSBUS_COM1", sim.SlavePath().c_str(), 1);
        setenv("PELSBUS_COM2", "/nonexistent/pelsbus-port", 1);
        ASSERT_TRUE(api.Load()) << api.error;
    }
    void TearDown() override {
        if (api.handle) api.PCDClose();
        api.Unload();
        sim.Stop();
    }
    // Opens port 1 with short time-outs so silent faults cost little.
    void OpenQuiet(int station = 5) {
        api.PCDNoMsg();
        ASSERT_EQ(api.PCDSetParameter(1, 38400, 1), 0);
        api.PCDSetReadTimeoutConstant(40);
        ASSERT_EQ(api.PCDOpen(), 0);
        api.PCDSetStation(station);
    }
    pcdsim::Station& St() { return sim.Station(5); }
    uint64_t Requests() { return St().Requests(); }
};

// The tests that hold for either transport run over both.
class Transports : public LibraryTest, public ::testing::WithParamInterface<bool> {
protected:
    bool Udp() const override { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Pelsbus, Transports, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Udp" : "Pty"; });

} // namespace

TEST_F(LibraryTest, FreshLoadStateAndSetterResults) {
    EXPECT_EQ(api.PCDGetVersion(), 200);
    EXPECT_EQ(api.PCDOpen(), 35); // parameters never set
    int32_t v = 0;
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 35);
    EXPECT_EQ(api.PCDReadRegister(4096, 1, &v), 10); // limits before the open check
    EXPECT_EQ(api.PCDSetParameter(1, 9600, 0), 10);
    EXPECT_EQ(api.PCDOpen(), 35);
    EXPECT_EQ(api.PCDSetStation(300), 300);
    EXPECT_EQ(api.PCDSetRetries(4), 4);
    EXPECT_EQ(api.PCDSetWaitTime1(-1), -1);
    EXPECT_EQ(api.PCDSetWaitTime1(1), 1);
    EXPECT_EQ(api.PCDSetWaitTime2(32767), 32767);
    EXPECT_EQ(api.PCDSetWaitTime3(2), 2);
    EXPECT_EQ(api.PCDSetWaitTime4(0), 0);
    EXPECT_EQ(api.PCDSetReadIntervalTimeout(7), 7);
    EXPECT_EQ(api.PCDSetReadTimeoutMultiplier(2), 2);
    EXPECT_EQ(api.PCDSetReadTimeoutConstant(50), 50);
    EXPECT_EQ(api.PCDSetWriteTimeoutMultiplier(10), 10);
    EXPECT_EQ(api.PCDSetWriteTimeoutConstant(100), 100);
    EXPECT_EQ(api.PCDSetWin95(3), 3);
    EXPECT_EQ(api.PCDSetWin95(0), 0);
    EXPECT_EQ(api.PCDClose(), 0);
}

TEST_F(LibraryTest, OpenRulesOnRealDevices) {
    ASSERT_EQ(api.PCDSetParameter(2, 9600, 1), 0);
    {
        CaptureStderr err;
        EXPECT_EQ(api.PCDOpen(), 9);
        const std::string text = err.Text();
        EXPECT_NE(text.find("ERROR"), std::string::npos);
        EXPECT_NE(text.find("Error: Cannot open the serial port. [2]"), std::string::npos) << text;
        EXPECT_NE(text.find("application use the port."), std::string::npos);
    }
    api.PCDNoMsg();
    {
        CaptureStderr err;
        EXPECT_EQ(api.PCDOpen(), 9);
        EXPECT_EQ(err.Text(), "");
    }
    // Port 1 is the pty: open, again (9, stays open), close, reopen. The
    // reopen finds the pty already in space parity, the case a pty refuses.
    ASSERT_EQ(api.PCDSetParameter(1, 9600, 1), 0);
    ASSERT_EQ(api.PCDOpen(), 0);
    EXPECT_EQ(api.PCDOpen(), 9);
    api.PCDSetStation(5);
    int32_t status = 0;
    EXPECT_EQ(api.PcdRdStatus(0, &status), 0);
    EXPECT_EQ(api.PCDClose(), 0);
    EXPECT_EQ(api.PCDClose(), 0);
    EXPECT_EQ(api.PcdRdStatus(0, &status), -1); // no open check: nothing to send on
    ASSERT_EQ(api.PCDOpen(), 0);
    status = 0;
    EXPECT_EQ(api.PcdRdStatus(0, &status), 0);
    EXPECT_EQ(status, 2);
    api.PCDClose();

    // Not shared: a port another holder has locked cannot be opened.
    const int fd = ::open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(api.PCDOpen(), 9);
    ::close(fd);
    EXPECT_EQ(api.PCDOpen(), 0);
}

// The device under an open port goes away (the simulator killed) and comes
// back on the same link path: the failing call closes the dead port, a failed
// reopen reads as "not open", and the reopen after its return works.
TEST_F(LibraryTest, APortWhoseDeviceWentAwayIsReopenedByTheNextOpen) {
    sim.Stop();
    const std::string link = "/tmp/pelsbus-link-" + std::to_string(getpid());
    ASSERT_TRUE(sim.Start(link)) << sim.LastError();
    ASSERT_EQ(api.PCDSetPortName(1, link.c_str()), 0);
    OpenQuiet();
    int32_t v = 0;
    ASSERT_EQ(api.PCDReadRegister(0, 1, &v), 0);
    sim.Stop();
    ::unlink(link.c_str());
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), -1);
    EXPECT_EQ(api.PCDOpen(), 9); // the device is not there: nothing opened
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 35);
    ASSERT_TRUE(sim.Start(link)) << sim.LastError();
    St().SetRegister(0, 77);
    EXPECT_EQ(api.PCDOpen(), 0);
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 0);
    EXPECT_EQ(v, 77);
    api.PCDClose();
    api.PCDSetPortName(1, "");
    ::unlink(link.c_str());
}

TEST_F(LibraryTest, PortNameWinsOverTheEnvironment) {
    api.PCDNoMsg();
    EXPECT_EQ(api.PCDSetPortName(9, "/dev/null"), 10);
    ASSERT_EQ(api.PCDSetPortName(2, sim.SlavePath().c_str()), 0); // $PELSBUS_COM2 is missing
    ASSERT_EQ(api.PCDSetParameter(2, 9600, 1), 0);
    EXPECT_EQ(api.PCDOpen(), 0);
    api.PCDClose();
    ASSERT_EQ(api.PCDSetPortName(2, ""), 0); // back to the variable
    EXPECT_EQ(api.PCDOpen(), 9);
}

TEST_P(Transports, BitResourcesRoundTrip) {
    OpenQuiet();
    for (int i = 0; i < 300; ++i)
        St().SetInput(100 + i, i % 3 == 0);
    std::vector<int16_t> in(300, -1);
    ASSERT_EQ(api.PCDReadInput(100, 300, in.data()), 0);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(in[i], i % 3 == 0 ? 1 : 0) << i;

    std::vector<int16_t> pattern(300);
    for (int i = 0; i < 300; ++i)
        pattern[i] = static_cast<int16_t>(i % 5 == 0 ? -(i + 1) : 0);
    ASSERT_EQ(api.PCDWriteFlag(7800, 300, pattern.data()), 0);
    ASSERT_EQ(api.PCDWriteOutput(0, 300, pattern.data()), 0);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(St().Flag(7800 + i), i % 5 == 0) << i;
        ASSERT_EQ(St().Output(i), i % 5 == 0) << i;
    }
    std::vector<int16_t> back(300, -1);
    ASSERT_EQ(api.PCDReadFlag(7800, 300, back.data()), 0);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(back[i], i % 5 == 0 ? 1 : 0);
    ASSERT_EQ(api.PCDReadOutput(0, 300, back.data()), 0);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(back[i], i % 5 == 0 ? 1 : 0);

    // The last flag, and all 8192 in 64 telegrams.
    St().SetFlag(8191, true);
    int16_t last = 0;
    ASSERT_EQ(api.PCDReadFlag(8191, 1, &last), 0);
    EXPECT_EQ(last, 1);
    sim.ClearFrames();
    std::vector<int16_t> all(8192);
    ASSERT_EQ(api.PCDReadFlag(0, 8192, all.data()), 0);
    EXPECT_EQ(sim.Frames().size(), 64u);
    EXPECT_EQ(all[7800], 1);
    EXPECT_EQ(all[7801], 0);
}

TEST_P(Transports, ValueResourcesRoundTrip) {
    OpenQuiet();
    std::vector<int32_t> vals(100);
    for (int i = 0; i < 100; ++i)
        vals[i] = i * 1000003 - 50000000;
    ASSERT_EQ(api.PCDWriteRegister(3996, 100, vals.data()), 0);
    ASSERT_EQ(api.PCDWriteCounter(1500, 100, vals.data()), 0);
    ASSERT_EQ(api.PCDWriteTimer(0, 33, vals.data()), 0);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(St().Register(3996 + i), vals[i]);
        ASSERT_EQ(St().Counter(1500 + i), vals[i]);
    }
    EXPECT_EQ(St().Timer(32), vals[32]);
    std::vector<int32_t> back(100, 0);
    ASSERT_EQ(api.PCDReadRegister(3996, 100, back.data()), 0);
    EXPECT_EQ(back, vals);
    ASSERT_EQ(api.PCDReadCounter(1500, 100, back.data()), 0);
    EXPECT_EQ(back, vals);
    std::fill(back.begin(), back.end(), 0);
    ASSERT_EQ(api.PCDReadTimer(0, 33, back.data()), 0);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 33, vals.begin()));
    EXPECT_EQ(back[33], 0);

    // All 4096 registers: 128 telegrams.
    for (int i = 0; i < 4096; i += 97)
        St().SetRegister(i, i);
    sim.ClearFrames();
    std::vector<int32_t> regs(4096, -1);
    ASSERT_EQ(api.PCDReadRegister(0, 4096, regs.data()), 0);
    EXPECT_EQ(sim.Frames().size(), 128u);
    for (int i = 0; i < 4096; i += 97)
        ASSERT_EQ(regs[i], i);

    // A register holding a PCD float.
    St().SetGenerator(pcdsim::Resource::Register, 10,
                      pcdsim::Generator::Constant(-2.75).AsPcdFloat());
    int32_t word = 0;
    ASSERT_EQ(api.PCDReadRegister(10, 1, &word), 0);
    EXPECT_EQ(api.PCDLongToFloat(word, 0), -2.75f);
}

TEST_P(Transports, DataBlocksBlockSizesAndStatus) {
    OpenQuiet();
    std::vector<int32_t> items(70);
    for (int i = 0; i < 70; ++i)
        items[i] = 0x01020304 * (i + 1);
    St().SetDataBlock(4001, std::vector<int32_t>(80, 0));
    ASSERT_EQ(api.PcdWrDBItem(4001, 5, 70, items.data()), 0);
    EXPECT_EQ(St().DbItem(4001, 5), items[0]);
    EXPECT_EQ(St().DbItem(4001, 74), items[69]);
    std::vector<int32_t> back(70);
    ASSERT_EQ(api.PcdRdDBItem(4001, 5, 70, back.data()), 0);
    EXPECT_EQ(back, items);

    // Byte-wise read across words and telegrams, high byte first in each word.
    St().SetDataBlock(7, {});
    for (int w = 0; w < 64; ++w)
        St().SetDbItem(7, w,
                       static_cast<int32_t>(uint32_t(4 * w) << 24 | uint32_t(4 * w + 1) << 16 |
                                            uint32_t(4 * w + 2) << 8 | uint32_t(4 * w + 3)));
    std::vector<uint8_t> bytes(250, 0xEE);
    ASSERT_EQ(api.PcdRdDBX(7, 5, 240, bytes.data()), 0);
    for (int i = 0; i < 240; ++i)
        ASSERT_EQ(bytes[i], static_cast<uint8_t>(5 + i)) << i;
    EXPECT_EQ(bytes[240], 0xEE);
    uint8_t five[5] = {};
    ASSERT_EQ(api.PcdRdDBX(7, 6, 5, five), 0);
    EXPECT_EQ(std::vector<uint8_t>(five, five + 5), (std::vector<uint8_t>{6, 7, 8, 9, 10}));

    // Requests beyond a block, or for a block that does not exist, are refused.
    EXPECT_EQ(api.PcdRdDBItem(4001, 79, 2, back.data()), 1);
    EXPECT_EQ(api.PcdRdDBItem(999, 0, 1, back.data()), 1);

    St().SetBlockSize('D', 4001, 320);
    St().SetBlockSize('C', 3, 12);
    int32_t sizes[2] = {-1, -1};
    ASSERT_EQ(api.PcdRdBlockSize('D', 4001, 2, sizes), 0);
    EXPECT_EQ(sizes[0], 320);
    EXPECT_EQ(sizes[1], 0);
    ASSERT_EQ(api.PcdRdBlockSize('C', 3, 1, sizes), 0);
    EXPECT_EQ(sizes[0], 12);
    EXPECT_EQ(api.PcdRdBlockSize('d', 3, 1, sizes), 10);

    const std::pair<char, int> statuses[] = {{'R', 2}, {'D', 1}, {'S', 3}, {'H', 4},
                                             {'C', 5}, {'B', 9}, {'?', 6}};
    for (auto [c, code] : statuses) {
        St().SetStatus(c);
        int32_t st = 0;
        ASSERT_EQ(api.PcdRdStatus(0, &st), 0);
        EXPECT_EQ(st, code) << c;
    }
}

TEST_P(Transports, ReadFaultClasses) {
    OpenQuiet();
    int32_t v = 0;
    uint64_t before = Requests();
    St().InjectFault(pcdsim::Fault::Nak().OnCommand(6));
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 1);
    EXPECT_EQ(Requests() - before, 1u); // NAK: no further attempts

    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::Silence().OnCommand(6));
    before = Requests();
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 6);
    EXPECT_EQ(Requests() - before, 3u);

    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::BadCrc().OnCommand(6));
    before = Requests();
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 3);
    EXPECT_EQ(Requests() - before, 3u);

    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::ShortAnswer(2).OnCommand(6));
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 4);

    // Only the last attempt counts: two bad CRCs, then a good answer.
    St().ClearFaults();
    St().SetRegister(0, 31);
    St().InjectFault(pcdsim::Fault::BadCrc().OnCommand(6).Times(2));
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 0);
    EXPECT_EQ(v, 31);
    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::BadCrc().OnCommand(6).Times(2));
    St().InjectFault(pcdsim::Fault::ShortAnswer().OnCommand(6).After(2));
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 4);

    // A slow answer inside the time-out is fine, one beyond it is no answer.
    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::Delay(10).OnCommand(20));
    int32_t st = 0;
    EXPECT_EQ(api.PcdRdStatus(0, &st), 0);
    EXPECT_EQ(st, 2);
    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::Delay(1000).OnCommand(20));
    EXPECT_EQ(api.PcdRdStatus(0, &st), 6);
    St().ClearFaults();

    // A station nobody simulates stays silent; retries follow the setting.
    api.PCDSetStation(6);
    api.PCDSetRetries(2);
    sim.ClearFrames();
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 6);
    EXPECT_EQ(sim.Frames().size(), 2u);
}

TEST_P(Transports, ClockAcrossTheCenturyAndItsFaults) {
    OpenQuiet();
    int32_t c[8] = {};
    St().SetClock(1999, 12, 31, 23, 59, 50);
    ASSERT_EQ(api.PCDReadClock(c), 0);
    EXPECT_EQ(std::vector<int32_t>(c, c + 7), (std::vector<int32_t>{52, 5, 1999, 12, 31, 23, 59}));
    EXPECT_GE(c[7], 50);
    EXPECT_LE(c[7], 55);
    St().SetClock(2000, 1, 1, 0, 0, 0);
    ASSERT_EQ(api.PCDReadClock(c), 0);
    EXPECT_EQ(std::vector<int32_t>(c, c + 6), (std::vector<int32_t>{52, 6, 2000, 1, 1, 0}));

    // The same retries and codes as every read.
    St().InjectFault(pcdsim::Fault::BadCrc().OnCommand(4).Times(2));
    EXPECT_EQ(api.PCDReadClock(c), 0);
    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::Nak().OnCommand(4));
    EXPECT_EQ(api.PCDReadClock(c), 1);
    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::Silence().OnCommand(4));
    EXPECT_EQ(api.PCDReadClock(c), 6);
    EXPECT_EQ(api.PCDReadClock(nullptr), 10);
}

TEST_P(Transports, WriteFaultClasses) {
    OpenQuiet();
    const int32_t v = 99;
    uint64_t before = Requests();
    St().InjectFault(pcdsim::Fault::Nak().OnCommand(14));
    EXPECT_EQ(api.PCDWriteRegister(0, 1, &v), 1);
    EXPECT_EQ(Requests() - before, 3u); // every attempt
    EXPECT_EQ(St().Register(0), 0);

    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::Silence().OnCommand(14));
    before = Requests();
    EXPECT_EQ(api.PCDWriteRegister(0, 1, &v), 6);
    EXPECT_EQ(Requests() - before, 1u); // no byte: at once

    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::BadCrc().OnCommand(11)); // serial: neither ACK nor NAK
    const int16_t on = 1;
    EXPECT_EQ(api.PCDWriteFlag(0, 1, &on), Udp() ? 3 : 4);

    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::Nak().OnCommand(14).Times(1));
    before = Requests();
    EXPECT_EQ(api.PCDWriteRegister(0, 1, &v), 0);
    EXPECT_EQ(Requests() - before, 2u);
    EXPECT_EQ(St().Register(0), 99);
}

TEST_P(Transports, PartialTransfersKeepEarlierTelegrams) {
    OpenQuiet();
    for (int i = 0; i < 200; ++i)
        St().SetRegister(i, i + 1);
    // The third telegram of the read is refused.
    St().InjectFault(pcdsim::Fault::Nak().OnCommand(6).After(2).Times(1));
    std::vector<int32_t> regs(200, -1);
    EXPECT_EQ(api.PCDReadRegister(0, 200, regs.data()), 1);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(regs[i], i + 1);
    for (int i = 64; i < 200; ++i)
        ASSERT_EQ(regs[i], -1);

    // A write that fails on its second telegram has carried out the first.
    St().ClearFaults();
    St().InjectFault(pcdsim::Fault::Silence().OnCommand(11).After(1));
    std::vector<int16_t> flags(200, 1);
    EXPECT_EQ(api.PCDWriteFlag(0, 200, flags.data()), 6);
    EXPECT_TRUE(St().Flag(127));
    EXPECT_FALSE(St().Flag(128));
}

TEST_P(Transports, StatusChangeAfterRequests) {
    OpenQuiet();
    St().InjectFault(pcdsim::Fault::StatusChange('H').OnCommand(20).After(2).Times(1));
    std::vector<int32_t> seen;
    for (int i = 0; i < 4; ++i) {
        int32_t st = 0;
        ASSERT_EQ(api.PcdRdStatus(0, &st), 0);
        seen.push_back(st);
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{2, 2, 4, 4}));
}

TEST_F(LibraryTest, Win95ModeOnAPortWithoutModemLines) {
    // A pty has no RTS line; the exchange must go on without it.
    api.PCDSetWin95(1);
    OpenQuiet();
    St().SetRegister(1, 5);
    int32_t v = 0;
    EXPECT_EQ(api.PCDReadRegister(1, 1, &v), 0);
    EXPECT_EQ(v, 5);
}

TEST_F(LibraryTest, ExportsWithoutOpenCheckOnAClosedPort) {
    CaptureStderr err;
    int32_t v[1] = {};
    uint8_t b[4] = {};
    EXPECT_EQ(api.PcdRdDBItem(1, 0, 1, v), -1);
    EXPECT_EQ(api.PcdRdDBX(1, 0, 4, b), -1);
    EXPECT_EQ(api.PcdRdBlockSize('D', 0, 1, v), -1);
    EXPECT_EQ(api.PcdRdStatus(0, v), -1);
    EXPECT_EQ(api.PcdWrDBItem(1, 0, 1, v), -1);
    const std::string text = err.Text();
    EXPECT_NE(text.find("Error: SetCommState"), std::string::npos) << text;
    EXPECT_TRUE(sim.Frames().empty());
}

// A UDP socket on a free loopback port.
int LoopbackSocket(sockaddr_in& at) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof at;
    bind(fd, reinterpret_cast<sockaddr*>(&at), len);
    getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len);
    return fd;
}

TEST_F(LibraryTest, UdpRequestFrameAndAnswersThatAreNotOurs) {
    sockaddr_in pcdAt{}, strangerAt{};
    const int pcd = LoopbackSocket(pcdAt), stranger = LoopbackSocket(strangerAt);
    api.PCDNoMsg();
    const std::string name = "udp:127.0.0.1:" + std::to_string(ntohs(pcdAt.sin_port));
    ASSERT_EQ(api.PCDSetPortName(1, name.c_str()), 0);
    ASSERT_EQ(api.PCDSetParameter(1, 9600, 1), 0);
    api.PCDSetReadTimeoutConstant(2000);
    ASSERT_EQ(api.PCDOpen(), 0);
    api.PCDSetStation(5);
    std::vector<uint8_t> request(64);
    // The PCD answers after a stale answer and a stranger's with the right number.
    std::thread pcdThread([&] {
        pollfd p{pcd, POLLIN, 0};
        sockaddr_in host{};
        socklen_t len = sizeof host;
        if (poll(&p, 1, 3000) != 1) return;
        request.resize(static_cast<size_t>(recvfrom(pcd, request.data(), request.size(), 0,
                                                    reinterpret_cast<sockaddr*>(&host), &len)));
        const uint16_t seq = static_cast<uint16_t>(request[6] << 8 | request[7]);
        auto send = [&](int fd, uint16_t sq, uint8_t v) {
            const auto f = pcdsim::wire::UdpFrame(sq, 1, {0, 0, 0, v});
            sendto(fd, f.data(), f.size(), 0, reinterpret_cast<sockaddr*>(&host), len);
        };
        send(pcd, static_cast<uint16_t>(seq - 1), 11);
        send(stranger, seq, 22);
        send(pcd, seq, 33);
    });
    int32_t v = 0;
    EXPECT_EQ(api.PCDReadRegister(7, 1, &v), 0);
    pcdThread.join();
    EXPECT_EQ(v, 33);
    // length 16, version 1, S-Bus, sequence, request; station 5, read register 6, one, address 7;
    // CRC.
    ASSERT_EQ(request.size(), 16u);
    EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.begin() + 6),
              (std::vector<uint8_t>{0, 0, 0, 16, 1, 0}));
    EXPECT_EQ(std::vector<uint8_t>(request.begin() + 8, request.end() - 2),
              (std::vector<uint8_t>{0, 5, 6, 0, 0, 7}));
    EXPECT_EQ(pcdsim::wire::Crc16(request.data(), 14), request[14] << 8 | request[15]);
    close(pcd);
    close(stranger);
}

TEST_F(LibraryTest, UdpNamesAreCheckedAtOpenOverIpv4AndIpv6) {
    ASSERT_EQ(api.PCDSetParameter(1, 9600, 1), 0);
    {
        CaptureStderr err;
        for (const char* name :
             {"udp:", "udp:127.0.0.1:0", "udp:127.0.0.1:99999", "udp:[::1", "udp:[::1]x"}) {
            api.PCDSetPortName(1, name);
            EXPECT_EQ(api.PCDOpen(), 9) << name;
        }
        EXPECT_NE(err.Text().find("Error: Cannot open the UDP channel udp:. [no host]"),
                  std::string::npos);
    }
    pcdsim::Simulator six;
    six.AddStation(5);
    if (!six.StartUdp("::1")) GTEST_SKIP() << "no IPv6 loopback: " << six.LastError();
    api.PCDSetPortName(1, six.SlavePath().c_str());
    ASSERT_EQ(api.PCDOpen(), 0);
    api.PCDSetStation(5);
    int32_t status = 0;
    EXPECT_EQ(api.PcdRdStatus(0, &status), 0);
    EXPECT_EQ(status, 2);
}

TEST_F(LibraryTest, FloatExports) {
    EXPECT_EQ(api.PCDFloatToLong(1.0f, 0), static_cast<int32_t>(0x80000041u));
    EXPECT_EQ(api.PCDFloatToLong(-1.0f, 123), static_cast<int32_t>(0x800000C1u));
    EXPECT_EQ(api.PCDLongToFloat(static_cast<int32_t>(0x80000040u), 0), 0.5f);
    EXPECT_EQ(api.PCDLongToFloat(0x7FFFFFFF, 0), 0.0f);
    int32_t st = -1;
    EXPECT_EQ(api.PCDFloatStringToLong("1.5", &st), static_cast<int32_t>(0xC0000041u));
    EXPECT_EQ(st, 0);
    EXPECT_EQ(api.PCDFloatStringToLong("1e-30", &st), 0);
    EXPECT_EQ(st, 2);
}
