// Connection manager and library wrappers against a scripted library.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakePelsbus.h"
#include "PcdTestSupport.h"
#include "application/ConnectionCaptions.h"
#include "pcd/PcdConnection.h"
#include "pcd/ResultTexts.h"
#include "util/DateTime.h"

namespace pelkor::test {
namespace {

TEST(ResultTexts, BuiltInLibraryCodes) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "OK"},
        {9, "COM already opened"},
        {35, "Can't open COM"},
        {101, "NAK Response"},
        {103, "Bad BCC"},
        {106, "No Response"},
        {110, "Bad Parameter"},
        {135, "COM Closed"},
        {10, "Unknow error : 10"},
        {7, "Unknow error : 7"},
        {99, "Unknow error : 99"},
        {-1, "COM port failed"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(PcdDllText(code), text) << code;
}

TEST(ResultTexts, Pg5CodesAndUnknownLeavesText) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "PCD_OK!"},       {1, " PCD_NAK"},     {6, " PCD_NORESP"},
        {35, " PCD_NOTOPEN"}, {40, " PCD_LOCKED"},
    };
    RunStatus st;
    for (const auto& [code, text] : cases) {
        ScommErrorText(st, code);
        EXPECT_EQ(st.LastErrorText, text) << code;
    }
    for (int32_t unknown : {7, 32, 36, 41, -1}) {
        st.LastErrorText = "before";
        ScommErrorText(st, unknown);
        EXPECT_EQ(st.LastErrorText, "before") << unknown;
    }
}

class PcdTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseLog(app, ctx.dir.path());
        pcd.SetEvents(&captions);
        app.Status.CurrentTask = 1;
        drv.stations[3];
        drv.stations[5];
    }
    // Connects task 1 over these stations.
    bool Connect(const std::vector<int>& stations, bool force = false) {
        SetTaskStations(app.Tasks[1], stations);
        pcd.SearchAllStation(1, 0);
        return pcd.OpenPcdConnection(force);
    }
    std::string Log() { return ReadLog(app); }

    TestContext ctx;
    AppContext& app = ctx.app;
    ScriptedUserInterface& ui = ctx.ui;
    FakePelsbus drv;
    ConnectionCaptions captions{app};
    PcdConnection pcd{app, drv};
};

// The channel follows the start file's choice at every call, and only one
// place in the connection layer looks at that choice.
TEST_F(PcdTest, DriverIsChosenInOnePlaceFromTheChannelChoice) {
    app.Settings.Port = "udp:127.0.0.1:5050";
    EXPECT_EQ(pcd.Driver().Channel(), PcdChannel::BuiltIn);
    EXPECT_TRUE(pcd.BuiltInIpChannel());
    app.Status.PG5Available = 1;
    EXPECT_EQ(pcd.Driver().Channel(), PcdChannel::Pg5);
    EXPECT_FALSE(pcd.BuiltInIpChannel());
    app.Status.PG5Available = 0;
    EXPECT_TRUE(pcd.Driver().LosesClosedPort());

    int uses = 0;
    namespace fs = std::filesystem;
    for (const auto& e :
         fs::recursive_directory_iterator(fs::path(PELKOR_SOURCE_DIR) / "app" / "pcd")) {
        if (!e.is_regular_file()) continue;
        std::stringstream text;
        text << std::ifstream(e.path()).rdbuf();
        const std::string s = text.str();
        for (auto at = s.find("Status.PG5Available"); at != std::string::npos;
             at = s.find("Status.PG5Available", at + 1))
            ++uses;
    }
    EXPECT_EQ(uses, 1);
}

// ---- wrappers ----

TEST_F(PcdTest, OpenStartsFromClosedPortAndIgnoresOpenResult) {
    drv.portOpen = true; // a second open answers 9, which must not count as failure
    EXPECT_EQ(pcd.OpenPcdDll(1, 3, 9600, 1), 0);
    EXPECT_EQ(drv.calls, (std::vector<std::string>{"Close", "SetParameter 1 9600 1", "NoMsg",
                                                   "Open", "SetStation 3"}));
    EXPECT_EQ(pcd.OpenPcdDll(1, 3, 9600, 1), 0);
    EXPECT_EQ(pcd.PcdResultCode(), 0);

    drv.Clear();
    drv.setParameterCode = 10; // e.g. a baud rate the library refuses
    EXPECT_EQ(pcd.OpenPcdDll(1, 3, 57600, 1), 10);
    EXPECT_EQ(app.Status.LastErrorText, "Unknow error : 10");
    EXPECT_FALSE(drv.Called("Open"));
}

TEST_F(PcdTest, DataCodesAreShiftedNegativeOnesAreNot) {
    ASSERT_TRUE(Connect({3}));
    drv.stations[3].readCode = 1;
    EXPECT_EQ(pcd.ReadPcdFlags(0, 4), 101);
    EXPECT_EQ(app.Status.LastErrorText, "NAK Response");
    drv.stations[3].readCode = 6;
    EXPECT_EQ(pcd.ReadPcdRegisters(0, 4), 106);
    EXPECT_EQ(app.Status.LastErrorText, "No Response");

    app.Status.LastErrorText = "previous";
    drv.stations[3].readCode = -1;
    EXPECT_EQ(pcd.ReadPcdInputs(0, 4), -1);
    EXPECT_EQ(pcd.PcdResultCode(), -1);
    EXPECT_EQ(app.Status.LastErrorText, "COM port failed") << "a failed read always says why";

    // The status read is the one place where -1 becomes 99.
    drv.portOpen = false;
    drv.openRefused = true;
    int32_t status = 0;
    EXPECT_EQ(pcd.ReadPcdDllStatus(0, status), 99);
    EXPECT_EQ(app.Status.LastErrorText, "Unknow error : 99");
}

TEST_F(PcdTest, ClockThroughTheLibraryOnlyWhenItHasTheExport) {
    ASSERT_TRUE(Connect({3}));
    drv.Clear();
    EXPECT_EQ(pcd.ReadPcdClock(), 1);
    EXPECT_EQ(app.Status.LastErrorText, "Function not supported by the local DLL");
    EXPECT_FALSE(drv.Called("ReadClock"));

    drv.hasClock = true;
    const int32_t clock[8] = {1, 6, 2000, 1, 1, 0, 0, 5};
    std::copy_n(clock, 8, drv.stations[3].clock);
    EXPECT_EQ(pcd.ReadPcdClock(), 0);
    EXPECT_DOUBLE_EQ(pcd.PcdClock(), DateFromParts(2000, 1, 1, 0, 0, 5));
    drv.stations[3].readCode = 4;
    EXPECT_EQ(pcd.ReadPcdClock(), 104);
    EXPECT_EQ(app.Status.LastErrorText, "Bad Response");
    EXPECT_DOUBLE_EQ(pcd.PcdClock(), DateFromParts(2000, 1, 1, 0, 0, 5));
}

TEST_F(PcdTest, ConfiguredPortAndRateReachTheLibrary) {
    app.Settings.Baudrate = 0; // a start file without the keys: as before
    ASSERT_TRUE(Connect({3}));
    EXPECT_FALSE(drv.Called("SetPortName"));
    EXPECT_TRUE(drv.Called("SetParameter 1 9600 1"));
    app.Settings.Port = "/dev/ttyUSB0";
    app.Settings.Baudrate = 38400;
    ASSERT_TRUE(Connect({3}, true));
    EXPECT_TRUE(drv.Called("SetPortName 1 /dev/ttyUSB0"));
    EXPECT_TRUE(drv.Called("SetParameter 1 38400 1"));
}

TEST_F(PcdTest, UdpChannelMovesToATasksOwnAddressAndBackWhenThatFails) {
    app.Settings.Port = "udp:10.0.0.1:6000";
    app.Tasks[2].Settings = 0;
    app.Tasks[2].IPAddress = "10.0.0.2";
    ASSERT_TRUE(Connect({3}));
    EXPECT_EQ(drv.portName, "udp:10.0.0.1:6000");
    EXPECT_EQ(pcd.MoveToTaskAddress(1, 3), 0);
    EXPECT_EQ(pcd.MoveToTaskAddress(2, 3), 1);
    EXPECT_EQ(drv.portName, "udp:10.0.0.2:6000");
    drv.portDown["udp:10.0.0.1:6000"] = true;
    EXPECT_EQ(pcd.MoveToTaskAddress(1, 3), -1);
    EXPECT_EQ(app.Status.LastErrorText, "Change PCD IP 10.0.0.1:6000 failed !");
    EXPECT_EQ(drv.portName + " " + pcd.AddressedIp(), "udp:10.0.0.2:6000 10.0.0.2");
}

// ---- connecting over the station list ----

TEST_F(PcdTest, StationListTriesEachStationOnceFirstAnsweringWins) {
    drv.stations[3].answers = false;
    ASSERT_TRUE(Connect({3, 5, 3}));
    EXPECT_EQ(pcd.StationList(1), (std::vector<int16_t>{3, 5}));
    EXPECT_EQ(drv.Count("SetParameter"), 2u);
    EXPECT_EQ(drv.calls.back(), "RdStatus 5");

    std::string log = Log();
    EXPECT_EQ(Occurrences(log, "Task 1 - Connection with PCD station 3 failed !"), 1u);
    EXPECT_EQ(Occurrences(log, "Task 1 - Connection with PCD station 5 established."), 1u);
    EXPECT_EQ(app.Status.Connected, 1);
    EXPECT_EQ(pcd.AddressedStation(), 5);
    EXPECT_EQ(pcd.ConnectionStation(), 5);
    EXPECT_FALSE(pcd.ConnectFailed());
    EXPECT_FALSE(pcd.Connecting());
    EXPECT_EQ(ui.StatusBarPanel(ConnectionPanel), "Connected");
    EXPECT_EQ(ui.ConnectButtonCaption(), "Stop");
    EXPECT_FALSE(ui.MenuStartEnabled());
    EXPECT_EQ(ui.ConnectionCaption(), "PCD Connected");
    EXPECT_EQ(ui.ConnectionColour(), UiColour::Blue);
}

TEST_F(PcdTest, InheritedEntriesFollowTheConnectedStation) {
    SetTaskStations(app.Tasks[1], {Inherited, 7, Inherited, 7});
    pcd.SearchAllStation(1, 4);
    const Task& t = app.Tasks[1];
    std::vector<int16_t> stations;
    for (const ResourceEntry& e : t.Resources) {
        stations.push_back(e.Station);
        EXPECT_FALSE(e.StationFailed);
    }
    EXPECT_EQ(stations, (std::vector<int16_t>{4, 7, 4, 7}));
    EXPECT_EQ(pcd.StationList(1), (std::vector<int16_t>{4, 7}));

    drv.stations[4];
    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    // Rebuilt with the station connected: unchanged here, but never emptied.
    EXPECT_EQ(pcd.StationList(1), (std::vector<int16_t>{4, 7}));

    pcd.SearchAllStation(MaxTasks + 1, 4);
    ASSERT_NE(ui.LastMessage(), nullptr);
    EXPECT_EQ(ui.LastMessage()->Text.rfind("SearchAllStation Function Error : ", 0), 0u);
}

TEST_F(PcdTest, AllStationsFailingDisconnectsWithTheLastCode) {
    drv.stations[3].answers = false;
    drv.stations[5].answers = false;
    EXPECT_FALSE(Connect({3, 5}));
    std::string log = Log();
    EXPECT_EQ(Occurrences(log, "failed !"), 2u);
    EXPECT_EQ(Occurrences(log, "Task 1 - No PCD Connection available !"), 1u);
    EXPECT_TRUE(pcd.ConnectFailed());
    EXPECT_FALSE(pcd.Connecting());
    EXPECT_EQ(app.Status.Connected, 0);
    EXPECT_EQ(pcd.PcdResultCode(), 106);
    EXPECT_EQ(ui.LastStatusLine(),
              "PCD Connection aborted.   Error: Task 1 - No valid connection for the Task.");
    EXPECT_EQ(ui.StatusBarPanel(ConnectionPanel), "PCD disconnected");
    EXPECT_EQ(ui.ConnectionCaption(), "PCD disconnected");
    EXPECT_EQ(ui.ConnectionColour(), UiColour::Red);
    EXPECT_EQ(ui.ConnectButtonCaption(), "Start");
    EXPECT_TRUE(ui.ConnectButtonEnabled());
    // Never connected, so there was nothing to close and nothing pending.
    EXPECT_FALSE(pcd.ReconnectPending());
}

// The device under the port went away: a negative status code is no answer,
// and a port the library could not reopen is a lost connection that the
// reconnect cycle picks up.
TEST_F(PcdTest, APortThatFailedOrCouldNotBeReopenedIsALostConnection) {
    ASSERT_TRUE(Connect({3}));
    drv.portOpen = false;
    drv.openRefused = true;
    EXPECT_EQ(pcd.TestPcdDllStation(5), 1) << "a negative status code is no answer";
    EXPECT_EQ(pcd.ReadPcdRegisters(0, 2), PortClosedCode);
    EXPECT_EQ(app.Status.Connected, 0);
    EXPECT_TRUE(pcd.ReconnectPending());
    EXPECT_NE(Log().find("PCD Connection aborted.   Error: COM Closed"), std::string::npos)
        << Log();

    // A status read on a failed port: no answer, but the readings go on (each
    // with its record) and the next one reopens the port once it is back.
    drv.openRefused = false;
    ASSERT_TRUE(Connect({3}));
    drv.portOpen = false;
    drv.openRefused = true;
    EXPECT_FALSE(pcd.CheckPcdStatus());
    EXPECT_EQ(app.Status.Connected, 1);
    drv.openRefused = false;
    EXPECT_TRUE(pcd.CheckPcdStatus());
}

TEST_F(PcdTest, SingleStationAnsweringWithStatusOneIsNotConnected) {
    drv.stations[3].status = 1;
    EXPECT_FALSE(Connect({3}));
    std::string log = Log();
    EXPECT_EQ(Occurrences(log, "New PCD Status = 1"), 1u);
    EXPECT_EQ(Occurrences(log, "No PCD Connection available !"), 0u); // one station only
    EXPECT_EQ(ui.LastStatusLine(), "PCD Connection parameters not correct.   Error: Task 1 - No "
                                   "valid connection for the Task.");
}

TEST_F(PcdTest, ParameterRefusedEndsEachAttemptWithoutOpening) {
    drv.setParameterCode = 10;
    app.Settings.Baudrate = 57600;
    EXPECT_FALSE(Connect({3}));
    EXPECT_FALSE(drv.Called("Open"));
    EXPECT_FALSE(drv.Called("RdStatus"));
    EXPECT_EQ(ui.LastStatusLine(),
              "PCD Connection aborted.   Error: Task 1 - No valid connection for the Task.");
}

TEST_F(PcdTest, UnboundLibraryEndsConnectQuietlyButReadsReportIt) {
    drv.unbound = true;
    EXPECT_FALSE(Connect({3}));
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_FALSE(pcd.Connecting());
    EXPECT_EQ(app.Status.Connected, 0);
    // The next connect is not blocked by a mark left behind.
    drv.unbound = false;
    EXPECT_TRUE(pcd.OpenPcdConnection(false));

    drv.unbound = true;
    EXPECT_EQ(pcd.ReadPcdRegisters(0, 2), -1);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].Text,
              "ReadPcdRegisters function error : File not found: libPelsbus.so");
    EXPECT_EQ(ui.Messages()[0].Icon, MsgIcon::Critical);
}

// ---- hold-off, reconnect pending, status watch ----

TEST_F(PcdTest, StopWithAutoConnectionHoldsOffUnforcedConnects) {
    ASSERT_TRUE(Connect({3}));
    app.Status.AutoConnectActive = 1;
    pcd.DisconnectOnPCD(0, 0);
    EXPECT_TRUE(pcd.HoldOff());
    EXPECT_FALSE(pcd.ReconnectPending());
    EXPECT_EQ(app.Status.Connected, 0);
    EXPECT_EQ(ui.LastStatusLine(), "Autoconnection is activated, the PCD will be reconnected");
    EXPECT_EQ(Occurrences(Log(), "Task 1 - PCD connection closed."), 1u);
    EXPECT_EQ(ui.BeepCount(), 1);

    drv.Clear();
    EXPECT_FALSE(pcd.OpenPcdConnection(false));
    EXPECT_TRUE(drv.calls.empty());
    EXPECT_TRUE(pcd.OpenPcdConnection(true));
    EXPECT_FALSE(pcd.HoldOff());

    app.Status.AutoConnectActive = 0;
    pcd.DisconnectOnPCD(0, 0);
    EXPECT_FALSE(pcd.HoldOff());
    EXPECT_EQ(ui.LastStatusLine(), "Press 'Start' button to activate the PCD connection");
}

TEST_F(PcdTest, SingleShotIgnoresHoldOffAndSkipsTheWindowAfterStop) {
    ASSERT_TRUE(Connect({3}));
    app.Status.AutoConnectActive = 1;
    pcd.DisconnectOnPCD(0, 0);
    app.Settings.SingleShot = 1;
    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    ui.SetStatusBarPanel(ConnectionPanel, "untouched");
    int beeps = ui.BeepCount();
    pcd.DisconnectOnPCD(0, 0);
    EXPECT_EQ(ui.BeepCount(), beeps);
    EXPECT_EQ(ui.StatusBarPanel(ConnectionPanel), "untouched");

    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    pcd.DisconnectOnPCD(12, 0);
    EXPECT_EQ(ui.StatusBarPanel(ConnectionPanel), "PCD disconnected");
    EXPECT_FALSE(ui.ConnectButtonEnabled());
}

TEST_F(PcdTest, StatusWatchLogsChangesOnceAndDisconnectsOnZeroOrOne) {
    ASSERT_TRUE(Connect({3}));
    EXPECT_EQ(Occurrences(Log(), "New PCD Status"), 0u); // first status 2 is the expected one
    drv.stations[3].status = 3;
    EXPECT_TRUE(pcd.CheckPcdStatus());
    EXPECT_TRUE(pcd.CheckPcdStatus());
    EXPECT_EQ(Occurrences(Log(), "New PCD Status = 3"), 1u);
    EXPECT_EQ(pcd.LastStatus(), 3);

    drv.stations[3].status = 1;
    EXPECT_FALSE(pcd.CheckPcdStatus());
    EXPECT_EQ(app.Status.Connected, 0);
    EXPECT_TRUE(pcd.ReconnectPending());
    std::string log = Log();
    EXPECT_NE(log.find(" - Err 1 - The DLL was Disconnected !"), std::string::npos) << log;
    EXPECT_EQ(ui.LastStatusLine(), "The DLL was Disconnected !");

    // The scheduler reconnects because of the pending mark; success clears it.
    drv.stations[3].status = 2;
    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    EXPECT_FALSE(pcd.ReconnectPending());

    drv.stations[3].status = 0;
    EXPECT_FALSE(pcd.CheckPcdStatus());
    EXPECT_NE(Log().find(" - Err 2 - COM Port was closed by another application !"),
              std::string::npos);

    // A failed status read is no status change and no disconnect.
    ASSERT_TRUE((drv.stations[3].status = 2, pcd.OpenPcdConnection(false)));
    drv.stations[3].answers = false;
    EXPECT_FALSE(pcd.CheckPcdStatus());
    EXPECT_EQ(app.Status.Connected, 1);
    EXPECT_EQ(pcd.LastStatus(), 2);
}

TEST_F(PcdTest, CloseLogsOnlyWhenConnectedAndMarksErrorCloses) {
    pcd.ClosePcdConnection("");
    EXPECT_FALSE(drv.Called("Close"));
    EXPECT_EQ(ui.BeepCount(), 0);

    ASSERT_TRUE(Connect({3}));
    pcd.ClosePcdConnection("Lost it");
    EXPECT_TRUE(pcd.ReconnectPending());
    EXPECT_NE(Log().find(" - Err 1 - Lost it"), std::string::npos);
    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    pcd.ClosePcdConnection("");
    EXPECT_FALSE(pcd.ReconnectPending());
    EXPECT_EQ(drv.calls.back(), "Close");
}

// ---- station changes ----

TEST_F(PcdTest, FailedStationChangeFallsBackToTheConnectionStation) {
    drv.stations[7].answers = false;
    ASSERT_TRUE(Connect({5}));
    EXPECT_TRUE(pcd.SetPcdStation(3));
    EXPECT_EQ(pcd.AddressedStation(), 3);

    drv.Clear();
    EXPECT_FALSE(pcd.SetPcdStation(7));
    EXPECT_EQ(pcd.AddressedStation(), 5);
    EXPECT_EQ(drv.calls.back(), "SetStation 5"); // the library is put back too
    EXPECT_EQ(app.Status.LastErrorText, "No Response");

    EXPECT_FALSE(pcd.SetPcdIpStation(3, "10.0.0.1"));
    ASSERT_NE(ui.LastMessage(), nullptr);
    EXPECT_EQ(ui.LastMessage()->Text, "No IP Connection with internal DLL !");
    EXPECT_EQ(ui.LastMessage()->Icon, MsgIcon::Critical);
}

// ---- reads ----

TEST_F(PcdTest, ValuesLandFromTheFirstIndexWithRoomForThem) {
    ASSERT_TRUE(Connect({3}));
    drv.stations[3].registers = {{20, -5}, {21, 70000}, {22, 3}};
    ASSERT_EQ(pcd.ReadPcdRegisters(20, 3), 0);
    EXPECT_EQ(pcd.PcdRegisterValues(), (std::vector<int32_t>{-5, 70000, 3}));
    ASSERT_EQ(pcd.ReadPcdRegisters(20, 3, 2), 0);
    EXPECT_EQ(pcd.PcdRegisterValues(), (std::vector<int32_t>{0, 0, -5, 70000, 3}));
}

} // namespace
} // namespace pelkor::test
