// The simulator seen from the line: framing, memory, generators, faults,
// configuration text and the pcdsim program.
#include "sim/PcdSim.h"
#include "sim/SimWire.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace pcdsim;

namespace {

// A bare client on the slave side: raw bytes out, bounded reads in.
class Line {
public:
    explicit Line(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Line() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Ok() const { return fd_ >= 0; }
    void Send(std::vector<uint8_t> bytes) {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), (ssize_t)bytes.size());
    }
    // Whatever arrives until `want` bytes are in or the line stays quiet for quietMs.
    std::vector<uint8_t> Receive(size_t want, int quietMs = 150) {
        std::vector<uint8_t> got;
        uint8_t b[512];
        while (got.size() < want) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, quietMs) <= 0) break;
            const ssize_t n = ::read(fd_, b, sizeof b);
            if (n <= 0) break;
            got.insert(got.end(), b, b + n);
        }
        return got;
    }
    std::vector<uint8_t> Ask(std::vector<uint8_t> req, size_t want, int quietMs = 150) {
        Send(WithCrc(std::move(req)));
        return Receive(want, quietMs);
    }
    static std::vector<uint8_t> WithCrc(std::vector<uint8_t> b) {
        const uint16_t c = wire::Crc16(b.data(), b.size());
        b.push_back(uint8_t(c >> 8));
        b.push_back(uint8_t(c));
        return b;
    }

private:
    int fd_ = -1;
};

std::vector<uint8_t> ReadRegs(int station, int addr, int count) {
    return {uint8_t(station), 6, uint8_t(count - 1), uint8_t(addr >> 8), uint8_t(addr)};
}
std::vector<uint8_t> ReadStatus(int station) {
    return {uint8_t(station), 20};
}
int32_t Word(const std::vector<uint8_t>& a, size_t i) {
    return int32_t(uint32_t(a[4 * i]) << 24 | uint32_t(a[4 * i + 1]) << 16 |
                   uint32_t(a[4 * i + 2]) << 8 | a[4 * i + 3]);
}
bool CrcOk(const std::vector<uint8_t>& a) {
    return a.size() >= 3 &&
           wire::Crc16(a.data(), a.size() - 2) == (uint16_t(a[a.size() - 2]) << 8 | a.back());
}

class SimTest : public ::testing::Test {
protected:
    Simulator sim;
    std::unique_ptr<Line> line;
    void Begin() {
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        line = std::make_unique<Line>(sim.SlavePath());
        ASSERT_TRUE(line->Ok());
    }
};

} // namespace

TEST(Generators, Values) {
    EXPECT_EQ(Generator::Constant(41.6).Value(5, 3), 42);
    EXPECT_EQ(Generator::Constant(1.0).AsPcdFloat().Value(0, 0), static_cast<int32_t>(0x80000041u));
    const Generator perRead = Generator::Counter(10, 5);
    EXPECT_EQ(perRead.Value(100, 0), 10);
    EXPECT_EQ(perRead.Value(0, 3), 25);
    const Generator perTime = Generator::Counter(0, 1, 500);
    EXPECT_EQ(perTime.Value(0.4, 9), 0);
    EXPECT_EQ(perTime.Value(2.6, 0), 5);
    const Generator ramp = Generator::Ramp(0, 100, 10);
    EXPECT_EQ(ramp.Value(2.5, 0), 25);
    EXPECT_EQ(ramp.Value(12.5, 0), 25); // starts again after a period
    const Generator sine = Generator::Sine(50, 10, 4);
    EXPECT_EQ(sine.Value(1, 0), 60);
    EXPECT_EQ(sine.Value(3, 0), 40);
    EXPECT_EQ(Generator::Constant(1e12).Value(0, 0), 2147483647);
    EXPECT_EQ(Generator::Constant(-1e12).Value(0, 0), -2147483647 - 1);
}

TEST_F(SimTest, AnswersItsStationsAndFramesByPosition) {
    sim.AddStation(5).SetRegister(7, -2);
    sim.AddStation(9).SetStatus('S');
    Begin();
    // The station byte alone, then the rest later, as the library sends it.
    line->Send({5});
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto rest = Line::WithCrc(ReadRegs(5, 7, 1));
    rest.erase(rest.begin());
    line->Send(rest);
    auto a = line->Receive(6);
    ASSERT_EQ(a.size(), 6u);
    EXPECT_TRUE(CrcOk(a));
    EXPECT_EQ(Word(a, 0), -2);

    a = line->Ask(ReadStatus(9), 3);
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[0], 'S');
    EXPECT_TRUE(CrcOk(a));

    // Other stations and broadcast 255: silence.
    EXPECT_TRUE(line->Ask(ReadStatus(6), 3, 60).empty());
    EXPECT_TRUE(line->Ask(ReadStatus(255), 3, 60).empty());

    // A bad CRC: silence, the frame is logged as such, the next request is fine.
    auto bad = Line::WithCrc(ReadStatus(9));
    bad.back() ^= 1;
    line->Send(bad);
    EXPECT_TRUE(line->Receive(3, 60).empty());
    auto frames = sim.Frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_FALSE(frames.back().crcOk);
    EXPECT_FALSE(frames.back().answered);
    EXPECT_EQ(line->Ask(ReadStatus(9), 3).size(), 3u);

    // Outside the memory: NAK. Registers go to 16383.
    EXPECT_EQ(line->Ask(ReadRegs(5, 16383, 2), 6), std::vector<uint8_t>{0x15});
    EXPECT_EQ(line->Ask(ReadRegs(5, 16383, 1), 6).size(), 6u);
    EXPECT_EQ(line->Ask({5, 150, 0, 0, 1, 0, 0}, 6),
              std::vector<uint8_t>{0x15}); // no such data block

    // An unknown command is dropped whole; the line recovers at once.
    line->Send({5, 99, 1, 2, 3});
    EXPECT_TRUE(line->Receive(1, 60).empty());
    EXPECT_EQ(line->Ask(ReadStatus(9), 3).size(), 3u);
    EXPECT_EQ(sim.Station(5).Requests(), 4u);
}

TEST_F(SimTest, ClockAnswersInBcdFixedOrRunningAndTakesFaults) {
    std::string error;
    ASSERT_TRUE(sim.LoadConfigText(
        "station 5\nclock 2000-01-02 23:59:58 fixed\nfault nak command 4 after 1 times 1\n"
        "station 6\nclock 1999-12-31 08:07:06\n",
        error))
        << error;
    Begin();
    // 2 January 2000 is a Sunday of ISO week 52.
    const std::vector<uint8_t> fixed = {0x52, 0x07, 0x00, 0x01, 0x02, 0x23, 0x59, 0x58};
    auto a = line->Ask({5, 4}, 10);
    ASSERT_EQ(a.size(), 10u);
    EXPECT_TRUE(CrcOk(a));
    EXPECT_EQ(std::vector<uint8_t>(a.begin(), a.begin() + 8), fixed);
    EXPECT_EQ(line->Ask({5, 4}, 10), std::vector<uint8_t>{0x15});
    a = line->Ask({5, 4}, 10);
    EXPECT_EQ(std::vector<uint8_t>(a.begin(), a.begin() + 8), fixed); // still standing
    a = line->Ask({6, 4}, 10);
    ASSERT_EQ(a.size(), 10u);
    EXPECT_EQ(std::vector<uint8_t>(a.begin(), a.begin() + 7),
              (std::vector<uint8_t>{0x52, 0x05, 0x99, 0x12, 0x31, 0x08, 0x07}));
    std::string bad;
    EXPECT_FALSE(Simulator().LoadConfigText("station 1\nclock 2000-01-01 00:00:00 stopped", bad));
}

TEST_F(SimTest, IncompleteRequestIsDroppedAfterTheFrameGap) {
    sim.AddStation(1).SetRegister(0, 11);
    sim.SetFrameGap(10);
    Begin();
    line->Send({1, 6, 0});
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    auto a = line->Ask(ReadRegs(1, 0, 1), 6);
    ASSERT_EQ(a.size(), 6u);
    EXPECT_EQ(Word(a, 0), 11);
}

TEST_F(SimTest, WritesStoreAndReplaceGenerators) {
    Station& st = sim.AddStation(2);
    st.SetGenerator(Resource::Register, 3, Generator::Counter(100, 1));
    st.SetDataBlock(10, std::vector<int32_t>(4));
    Begin();
    EXPECT_EQ(Word(line->Ask(ReadRegs(2, 3, 1), 6), 0), 100);
    EXPECT_EQ(Word(line->Ask(ReadRegs(2, 3, 1), 6), 0), 101);
    // Register 3 := 0x01020304.
    EXPECT_EQ(line->Ask({2, 14, 5, 0, 3, 1, 2, 3, 4}, 1), std::vector<uint8_t>{0x06});
    EXPECT_EQ(st.Register(3), 0x01020304);
    EXPECT_EQ(Word(line->Ask(ReadRegs(2, 3, 1), 6), 0), 0x01020304);
    // Flags 9..18 from two data bytes, first element in the low bit.
    EXPECT_EQ(line->Ask({2, 11, 4, 0, 9, 9, 0x81, 0x02}, 1), std::vector<uint8_t>{0x06});
    EXPECT_TRUE(st.Flag(9));
    EXPECT_FALSE(st.Flag(10));
    EXPECT_TRUE(st.Flag(16));
    EXPECT_TRUE(st.Flag(18));
    EXPECT_FALSE(st.Flag(19));
    // A length byte that disagrees with the count is refused.
    EXPECT_EQ(line->Ask({2, 11, 5, 0, 9, 9, 0x81, 0x02, 0}, 1), std::vector<uint8_t>{0x15});
    // Data-block item 2 of DB 10; past the end is refused.
    EXPECT_EQ(line->Ask({2, 151, 7, 0, 10, 0, 2, 0, 0, 0, 42}, 1), std::vector<uint8_t>{0x06});
    EXPECT_EQ(st.DbItem(10, 2), 42);
    EXPECT_EQ(line->Ask({2, 151, 7, 0, 10, 0, 4, 0, 0, 0, 42}, 1), std::vector<uint8_t>{0x15});
}

TEST_F(SimTest, FaultSchedulesAreDeterministic) {
    Station& st = sim.AddStation(4);
    st.InjectFault(Fault::Nak().OnCommand(20).After(1).Every(3));
    st.InjectFault(Fault::Silence().OnCommand(6).Times(2));
    Begin();
    std::string pattern;
    for (int i = 0; i < 10; ++i) {
        auto a = line->Ask(ReadStatus(4), 3);
        pattern += a.size() == 1 && a[0] == 0x15 ? 'N' : (a.size() == 3 ? 'R' : '?');
    }
    EXPECT_EQ(pattern, "RRRNRRNRRN");
    EXPECT_TRUE(line->Ask(ReadRegs(4, 0, 1), 6, 60).empty());
    EXPECT_TRUE(line->Ask(ReadRegs(4, 0, 1), 6, 60).empty());
    EXPECT_EQ(line->Ask(ReadRegs(4, 0, 1), 6).size(), 6u);

    // Short answers and spoiled CRCs.
    st.ClearFaults();
    st.InjectFault(Fault::ShortAnswer().OnCommand(6).Times(1));
    st.InjectFault(Fault::BadCrc().OnCommand(6).After(1).Times(1));
    EXPECT_EQ(line->Ask(ReadRegs(4, 0, 1), 6).size(), 5u);
    auto spoiled = line->Ask(ReadRegs(4, 0, 1), 6);
    ASSERT_EQ(spoiled.size(), 6u);
    EXPECT_FALSE(CrcOk(spoiled));
    EXPECT_TRUE(CrcOk(line->Ask(ReadRegs(4, 0, 1), 6)));

    // Status change after two requests, then for good.
    st.ClearFaults();
    st.InjectFault(Fault::StatusChange('H').OnCommand(20).After(2).Times(1));
    std::string statuses;
    for (int i = 0; i < 4; ++i)
        statuses += static_cast<char>(line->Ask(ReadStatus(4), 3).at(0));
    EXPECT_EQ(statuses, "RRHH");
    EXPECT_EQ(st.Status(), 'H');
}

TEST(SimFaults, ProbabilityFollowsTheSeed) {
    auto run = [](uint32_t seed) {
        Simulator sim;
        sim.AddStation(1).InjectFault(Fault::Nak().WithProbability(0.5, seed));
        EXPECT_TRUE(sim.Start());
        Line line(sim.SlavePath());
        std::string pattern;
        for (int i = 0; i < 24; ++i)
            pattern += line.Ask(ReadStatus(1), 3).size() == 1 ? 'N' : 'R';
        return pattern;
    };
    const std::string a = run(7), b = run(7), c = run(8);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    const auto naks = std::count(a.begin(), a.end(), 'N');
    EXPECT_GT(naks, 3);
    EXPECT_LT(naks, 21);
}

TEST(SimConfig, LoadsEveryStatement) {
    Simulator sim;
    std::string error;
    const std::string text = R"(# demo
baud 0
station 3
status H
register 0 42 -1 0x80000041
register 10 float 1.5
flag 100 1 0 1
input 5 1
output 6 1
counter 1599 7
timer 0 9
db 1000 1 2 3
dbitem 1001 4 77
blocksize D 1000 12
clock 2024-02-29 12:30:00
generator register 20 counter 0 1
generator flag 7 counter 0 1 500
generator register 21 sine 0 1 10 float
fault nak command 6 every 3 after 1 times 2
fault status D after 10 probability 0.5 seed 3
fault delay 20 command 20
station 4   # a second station
)";
    ASSERT_TRUE(sim.LoadConfigText(text, error)) << error;
    Station& s = sim.Station(3);
    EXPECT_EQ(s.Status(), 'H');
    EXPECT_EQ(s.Register(0), 42);
    EXPECT_EQ(s.Register(1), -1);
    EXPECT_EQ(s.Register(2), static_cast<int32_t>(0x80000041u));
    EXPECT_EQ(s.Register(10), static_cast<int32_t>(0xC0000041u));
    EXPECT_TRUE(s.Flag(100));
    EXPECT_FALSE(s.Flag(101));
    EXPECT_TRUE(s.Flag(102));
    EXPECT_TRUE(s.Input(5));
    EXPECT_TRUE(s.Output(6));
    EXPECT_EQ(s.Counter(1599), 7);
    EXPECT_EQ(s.Timer(0), 9);
    EXPECT_EQ(s.DbItem(1000, 2), 3);
    EXPECT_EQ(s.DbItem(1001, 4), 77);
    EXPECT_EQ(s.DbItem(1001, 3), 0);
    EXPECT_TRUE(sim.HasStation(4));
    EXPECT_FALSE(sim.HasStation(5));
}

TEST(SimConfig, ErrorsNameTheLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"register 0 1", "line 1: \"register\" before any \"station\" line"},
        {"station 1\nregister 16384 1", "line 2: register address 16384 outside 0..16383"},
        {"station 1\n\nflag 8191 1 1", "line 3: values run past the last flag"},
        {"station 255", "line 1: station 255 outside 0..254"},
        {"station 1\nregister 0 12x", "line 2: not a whole number: \"12x\""},
        {"station 1\nfault wobble", "line 2: unknown fault \"wobble\""},
        {"station 1\nfault nak every 0", "line 2: every must be 1 or more"},
        {"station 1\nblocksize Q 1 1", "line 2: block type must be one of C X P F S T E D B I A"},
        {"station 1\ngenerator register 0 ramp 1", "line 2: generator kinds"},
        {"station 1\nflag 0 float 1", "line 2: \"float\" applies to registers only"},
        {"hello", "line 1: unknown statement \"hello\""},
    };
    for (auto [text, expected] : cases) {
        Simulator sim;
        std::string error;
        EXPECT_FALSE(sim.LoadConfigText(text, error)) << text;
        EXPECT_EQ(error.rfind(expected, 0), 0u) << text << " -> " << error;
    }
    Simulator sim;
    std::string error;
    EXPECT_FALSE(sim.LoadConfig("/nonexistent/pcdsim.cfg", error));
    EXPECT_EQ(error, "cannot read /nonexistent/pcdsim.cfg");
}

TEST(SimLifecycle, LinkIsMadeAndRemovedButNeverReplacesAFile) {
    const std::string dir = testing::TempDir();
    const std::string link = dir + "pcdsim-link-" + std::to_string(getpid());
    {
        Simulator sim;
        sim.AddStation(1);
        ASSERT_TRUE(sim.Start(link)) << sim.LastError();
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(sim.SlavePath(), target);
        Line line(link);
        EXPECT_EQ(line.Ask(ReadStatus(1), 3).size(), 3u);
        // A second start replaces its own link.
        ASSERT_TRUE(sim.Start(link));
        sim.Stop();
        struct stat st {};
        EXPECT_NE(lstat(link.c_str(), &st), 0);
    }
    FILE* f = std::fopen(link.c_str(), "w");
    ASSERT_TRUE(f);
    std::fclose(f);
    Simulator sim;
    EXPECT_FALSE(sim.Start(link));
    EXPECT_NE(sim.LastError().find("not a symbolic link"), std::string::npos);
    struct stat st {};
    EXPECT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    ::unlink(link.c_str());
    EXPECT_THROW(sim.Station(1), std::out_of_range);
    EXPECT_THROW(sim.AddStation(255), std::out_of_range);
}

TEST(PcdsimProgram, PrintsItsPathAnswersAndEndsOnSignal) {
    const std::string dir = testing::TempDir();
    const std::string cfg = dir + "pcdsim-test-" + std::to_string(getpid()) + ".cfg";
    FILE* f = std::fopen(cfg.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs("station 12\nregister 5 1234\n", f);
    std::fclose(f);
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const std::string prog = std::string(PELKOR_BINARY_DIR) + "/bin/pcdsim";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], 1);
        ::close(out[0]);
        execl(prog.c_str(), prog.c_str(), "--config", cfg.c_str(), "--seconds", "30",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(out[1]);
    std::string path;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n')
        path += c;
    ::close(out[0]);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    {
        Line line(path);
        auto a = line.Ask(ReadRegs(12, 5, 1), 6, 1000);
        ASSERT_EQ(a.size(), 6u);
        EXPECT_EQ(Word(a, 0), 1234);
    }
    kill(pid, SIGTERM);
    int status = -1;
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!WIFEXITED(status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "pcdsim did not end on SIGTERM";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ::unlink(cfg.c_str());
}
