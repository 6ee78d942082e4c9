// The connection manager over the real built-in library, bound by name from
// the program folder, talking to the simulator on a pseudo-terminal.

#include <gtest/gtest.h>

#include <cstdlib>

#include "PcdTestSupport.h"
#include "pcd/PcdConnection.h"
#include "sim/PcdSim.h"
#include "util/DateTime.h"

namespace pelkor::test {
namespace {

constexpr int StatusCommand = 20;

class PcdSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.AddStation(3);
        auto& s5 = sim.AddStation(5);
        s5.SetRegister(4095, 123456);
        s5.SetRegister(10, -42);
        s5.SetFlag(100, true);
        s5.SetFlag(102, true);
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        setenv("PELSBUS_COM1", sim.SlavePath().c_str(), 1);
        UseLog(app, ctx.dir.path());
        app.Status.CurrentTask = 1;
        std::string error;
        ASSERT_TRUE(drv.Bind(error)) << error;
    }
    void TearDown() override {
        pcd.ClosePcdConnection("");
        sim.Stop();
        unsetenv("PELSBUS_COM1");
    }
    bool Connect(const std::vector<int>& stations) {
        SetTaskStations(app.Tasks[1], stations);
        pcd.SearchAllStation(1, 0);
        return pcd.OpenPcdConnection(false);
    }
    std::size_t FramesFor(int station, int command) {
        std::size_t n = 0;
        for (const auto& f : sim.Frames())
            n += f.station == station && f.command == command;
        return n;
    }

    pcdsim::Simulator sim;
    TestContext ctx;
    AppContext& app = ctx.app;
    ScriptedUserInterface& ui = ctx.ui;
    DlPelsbus drv{{ExecutableFolder()}};
    PcdConnection pcd{app, drv};
};

TEST_F(PcdSimTest, AConnectToSomethingThatIsNoPortSaysWhy) {
    app.Settings.Port = ctx.dir.path();
    EXPECT_FALSE(Connect({5}));
    EXPECT_NE(app.Status.LastErrorText.find(ctx.dir.path() + " is not a serial device."),
              std::string::npos)
        << app.Status.LastErrorText;
    EXPECT_NE(ReadLog(app).find("Task 1 - " + ctx.dir.path() + " is not a serial device."),
              std::string::npos);
}

TEST_F(PcdSimTest, RateTheLibraryLacksFailsTheConnectWithItsOwnResult) {
    app.Settings.Baudrate = 57600;
    EXPECT_FALSE(Connect({5}));
    EXPECT_EQ(pcd.PcdResultCode(), 10);
    const std::string log = ReadLog(app);
    EXPECT_NE(log.find("Baudrate 57600 is not offered by the built-in library (150 to 38400 Bd)."),
              std::string::npos)
        << log;
    EXPECT_EQ(FramesFor(5, StatusCommand), 0u);
}

TEST_F(PcdSimTest, FirstAnsweringStationOfTheListWins) {
    ASSERT_TRUE(Connect({4, 5, 3}));
    EXPECT_GE(FramesFor(4, StatusCommand), 1u);
    EXPECT_GE(FramesFor(5, StatusCommand), 1u);
    EXPECT_EQ(FramesFor(3, StatusCommand), 0u);
    std::string log = ReadLog(app);
    EXPECT_NE(log.find("Task 1 - Connection with PCD station 4 failed !"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Task 1 - Connection with PCD station 5 established."), std::string::npos);
    EXPECT_EQ(pcd.AddressedStation(), 5);

    ASSERT_EQ(pcd.ReadPcdRegisters(4095, 1), 0);
    EXPECT_EQ(pcd.PcdRegisterValues()[0], 123456);
    ASSERT_EQ(pcd.ReadPcdFlags(100, 3), 0);
    EXPECT_EQ(pcd.PcdBitValues(), (std::vector<int16_t>{1, 0, 1}));
    ASSERT_TRUE(pcd.SetPcdStation(3));
    EXPECT_FALSE(pcd.SetPcdStation(9));
    EXPECT_EQ(app.Status.LastErrorText, "No Response");
    EXPECT_EQ(pcd.AddressedStation(), 5);
}

TEST_F(PcdSimTest, StatusChangesAreLoggedOnceAndStatusOneDisconnects) {
    ASSERT_TRUE(Connect({5}));
    EXPECT_EQ(ReadLog(app).find("New PCD Status"), std::string::npos);
    sim.Station(5).SetStatus('S');
    EXPECT_TRUE(pcd.CheckPcdStatus());
    EXPECT_TRUE(pcd.CheckPcdStatus());
    EXPECT_EQ(Occurrences(ReadLog(app), "New PCD Status = 3"), 1u);

    sim.Station(5).SetStatus('D');
    EXPECT_FALSE(pcd.CheckPcdStatus());
    EXPECT_EQ(app.Status.Connected, 0);
    EXPECT_TRUE(pcd.ReconnectPending());
    EXPECT_NE(ReadLog(app).find("The DLL was Disconnected !"), std::string::npos);
}

TEST_F(PcdSimTest, NakAndTimeOutTexts) {
    ASSERT_TRUE(Connect({5}));
    sim.Station(5).InjectFault(pcdsim::Fault::Nak().OnCommand(2));
    EXPECT_EQ(pcd.ReadPcdFlags(0, 8), 101);
    EXPECT_EQ(app.Status.LastErrorText, "NAK Response");
    sim.Station(5).ClearFaults();
    sim.Station(5).InjectFault(pcdsim::Fault::Silence().OnCommand(6));
    EXPECT_EQ(pcd.ReadPcdRegisters(10, 1), 106);
    EXPECT_EQ(app.Status.LastErrorText, "No Response");
    sim.Station(5).ClearFaults();
    ASSERT_EQ(pcd.ReadPcdRegisters(10, 1), 0);
    EXPECT_EQ(pcd.PcdRegisterValues()[0], -42);
}

TEST_F(PcdSimTest, OutOfRangeReadsAndTheClock) {
    ASSERT_TRUE(Connect({5}));
    sim.ClearFrames();
    EXPECT_EQ(pcd.ReadPcdFlags(8190, 3), 1001);
    EXPECT_EQ(app.Status.LastErrorText, "Flag address out of range !");
    EXPECT_EQ(pcd.ReadPcdInputs(8000, 500), 1001);
    EXPECT_EQ(pcd.ReadPcdRegisters(16000, 400), 1002);
    EXPECT_EQ(pcd.ReadPcdRegisters(5000, 1), 110);
    EXPECT_EQ(app.Status.LastErrorText, "Bad Parameter");
    EXPECT_EQ(pcd.ReadPcdFlags(100, 0), 0);
    EXPECT_EQ(pcd.ReadPcdRegisters(100, -1), 0);
    EXPECT_TRUE(sim.Frames().empty());

    // The clock comes through the library's own clock read.
    sim.Station(5).SetClock(2026, 12, 7, 13, 45, 30);
    ASSERT_EQ(pcd.ReadPcdClock(), 0);
    EXPECT_NEAR(pcd.PcdClock(), DateFromParts(2026, 12, 7, 13, 45, 32), 3.0 / 86400);
    EXPECT_EQ(FramesFor(5, 4), 1u);
}

TEST_F(PcdSimTest, PortClosedUnderTheProgramIsReopenedByTheNextRead) {
    ASSERT_TRUE(Connect({5}));
    ASSERT_EQ(drv.PCDClose(), 0);
    ASSERT_EQ(pcd.ReadPcdRegisters(10, 1), 0);
    EXPECT_EQ(pcd.PcdRegisterValues()[0], -42);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(PcdSimTest, ConnectRefusedWhileOneRuns) {
    bool inner = true;
    int calls = 0;
    ui.OnProcessEvents = [&] {
        ++calls;
        inner = pcd.OpenPcdConnection(true);
    };
    ASSERT_TRUE(Connect({4, 5}));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(inner);
}

TEST(PcdSimNoPort, MissingDeviceShowsAsComClosed) {
    TestContext ctx;
    setenv("PELSBUS_COM1", (ctx.dir.path() + "/no-such-port").c_str(), 1);
    DlPelsbus drv{{ExecutableFolder()}};
    PcdConnection pcd{ctx.app, drv};
    ctx.app.Status.CurrentTask = 1;
    SetTaskStations(ctx.app.Tasks[1], {2});
    pcd.SearchAllStation(1, 0);
    EXPECT_FALSE(pcd.OpenPcdConnection(false));
    EXPECT_EQ(pcd.ReadPcdRegisters(0, 1), 135);
    EXPECT_EQ(ctx.app.Status.LastErrorText, "COM Closed");
    unsetenv("PELSBUS_COM1");
}

TEST_F(PcdSimTest, ConfiguredPortAndRateWinOverTheEnvironment) {
    setenv("PELSBUS_COM1", (ctx.dir.path() + "/no-such-port").c_str(), 1);
    app.Settings.Port = sim.SlavePath();
    app.Settings.Baudrate = 38400;
    ASSERT_TRUE(Connect({5}));
    ASSERT_EQ(pcd.ReadPcdRegisters(10, 1), 0);
    EXPECT_EQ(pcd.PcdRegisterValues()[0], -42);
}

TEST(PcdOlderLibrary, ALibraryWithoutTheClockExportKeepsTheClockUnsupported) {
    TestContext ctx;
    // Any shared object without PCDReadClock stands for an older library.
    DlPelsbus drv{{std::string(PELKOR_BINARY_DIR) + "/pg5stub"}, "ScommDll.dll"};
    std::string error;
    ASSERT_TRUE(drv.Bind(error)) << error;
    EXPECT_FALSE(drv.HasReadClock());
    PcdConnection pcd{ctx.app, drv};
    EXPECT_EQ(pcd.ReadPcdClock(), 1);
    EXPECT_EQ(ctx.app.Status.LastErrorText, "Function not supported by the local DLL");
    DlPelsbus ours{{ExecutableFolder()}};
    EXPECT_TRUE(ours.HasReadClock());
}

TEST(PcdNoLibrary, UnboundLibraryEndsTheConnectQuietly) {
    TestContext ctx;
    DlPelsbus drv{{ctx.dir.path()}, "libNoSuchPelsbus.so"};
    PcdConnection pcd{ctx.app, drv};
    ctx.app.Status.CurrentTask = 1;
    SetTaskStations(ctx.app.Tasks[1], {2});
    pcd.SearchAllStation(1, 0);
    EXPECT_FALSE(pcd.OpenPcdConnection(false));
    EXPECT_TRUE(ctx.ui.Messages().empty());
    EXPECT_FALSE(pcd.Connecting());
}

} // namespace
} // namespace pelkor::test
