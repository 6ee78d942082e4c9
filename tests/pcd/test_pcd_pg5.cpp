// The PG5 channel for real: the program binds the stand-in library by name
// from a PG5 program folder found through the registry file or PG5's global
// settings file, and every channel path runs through it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "FakePelsbus.h"
#include "PcdTestSupport.h"
#include "application/ConnectionCaptions.h"
#include "config/PrivateProfile.h"
#include "pcd/PcdConnection.h"
#include "util/DateTime.h"

namespace pelkor::test {
namespace {

const std::string StubDir = PELKOR_BINARY_DIR "/pg5stub";

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class Pg5Test : public ::testing::Test {
protected:
    void SetUp() override {
        UseLog(app, ctx.dir.path());
        pcd.SetEvents(&captions);
        app.Status.CurrentTask = 1;
        app.Status.PG5Available = 1;
        app.Settings.DLL = 16;
        app.Settings.Station = 5;
        app.Settings.StartFile = ctx.dir.file("Plant.pelk");
        WriteFile(app.Settings.StartFile,
                  "[Pelkor]\r\nVersion=3\r\n[GoOnline]\r\nChannel=S-BUS\r\n");
        registry = ctx.dir.file("system.reg");
        WriteFile(
            registry,
            "WINE REGISTRY Version 2\n\n[Software\\\\SAIA-Burgess\\\\PG5\\\\1.6\\\\Global] 1\n"
            "\"AppsDir\"=\"" +
                StubDir + "\"\n");
        setenv("PELKOR_REGISTRY", registry.c_str(), 1);
        unsetenv("PELKOR_COMMON_DOCUMENTS");
        unsetenv("PELKOR_COMMON_APPDATA");
        setenv("PG5STUB_MODEL", model.c_str(), 1);
        setenv("PG5STUB_LOG", calls.c_str(), 1);
        Model("");
        SetTaskStations(app.Tasks[1], {Inherited});
        pcd.SearchAllStation(1, app.Settings.Station);
        pcd.ReadSAIARegistery();
    }
    void TearDown() override {
        unsetenv("PELKOR_REGISTRY");
        unsetenv("PG5STUB_MODEL");
        unsetenv("PG5STUB_LOG");
    }
    void Model(const std::string& text) { WriteFile(model, text); }
    std::string Calls() {
        std::ifstream in(calls);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void ClearCalls() { WriteFile(calls, ""); }
    std::string Key(const std::string& key) {
        return ReadProfileString(app.Settings.StartFile, "GoOnline", key);
    }

    TestContext ctx;
    AppContext& app = ctx.app;
    ScriptedUserInterface& ui = ctx.ui;
    std::string registry, model = ctx.dir.file("model.txt"), calls = ctx.dir.file("calls.txt");
    FakePelsbus sbus; // must stay untouched on the PG5 path
    ConnectionCaptions captions{app};
    PcdConnection pcd{app, sbus};
};

TEST_F(Pg5Test, VersionAndLibrarySelection) {
    EXPECT_TRUE(pcd.ProgramFolderFound(16));
    EXPECT_FALSE(pcd.ProgramFolderFound(17));
    EXPECT_TRUE(pcd.SelectPg5Library());

    const std::pair<int, const char*> refused[] = {
        {12, "Unknow PG5 version ! 12 < 13"},
        {21, "Unknow PG5 version ! 21 > 20"},
        {17, "No PG5 ScommDll founded ! (PG517)"},
    };
    for (const auto& [version, text] : refused) {
        app.Settings.DLL = static_cast<int16_t>(version);
        EXPECT_FALSE(pcd.SelectPg5Library());
        EXPECT_EQ(app.Status.LastErrorText, text);
        ASSERT_NE(ui.LastMessage(), nullptr);
        EXPECT_EQ(ui.LastMessage()->Text, text);
    }
}

TEST_F(Pg5Test, Pg5TwentyUsesItsOwnFilesAndGlobalSettingsFile) {
    // A folder holding only the 5.2 files: version 20 works from it, 16 does not.
    std::string apps = ctx.dir.file("PG5_20_apps");
    ASSERT_EQ(mkdir(apps.c_str(), 0755), 0);
    for (const char* f : {"ScommDll52.dll", "ScommUsr52.dll"})
        ASSERT_EQ(symlink((StubDir + "/" + f).c_str(), (apps + "/" + f).c_str()), 0);
    std::string docs = ctx.dir.file("Public/Documents");
    std::filesystem::create_directories(docs);
    std::filesystem::create_directories(ctx.dir.file("Public/Saia-Burgess/PG5_20/LocalDir"));
    WriteFile(ctx.dir.file("Public/Saia-Burgess/PG5_20/LocalDir/PG5Global.ini"),
              "[Global]\r\nAppsDir=" + apps + "\r\nLocalDir=/data/pg5\r\n");
    setenv("PELKOR_COMMON_DOCUMENTS", docs.c_str(), 1);
    pcd.ReadSAIARegistery();
    unsetenv("PELKOR_COMMON_DOCUMENTS");
    EXPECT_EQ(pcd.Pg5AppsDir(20), apps);
    EXPECT_EQ(pcd.Pg5LocalDir(20), "/data/pg5");
    EXPECT_EQ(pcd.Pg5LocalDir(16), StubDir);

    app.Settings.DLL = 20;
    EXPECT_TRUE(pcd.OpenPcdConnection(false));
    EXPECT_EQ(ui.StatusBarPanel(ConnectionPanel), "Connected by PG5");

    // Without a documents folder the application-data folder holds the file.
    std::string appdata = ctx.dir.file("ProgramData");
    std::filesystem::create_directories(appdata + "/Saia-Burgess/PG5_20");
    WriteFile(appdata + "/Saia-Burgess/PG5_20/PG5Global.ini", "[Global]\r\nAppsDir=/opt/pg5\r\n");
    setenv("PELKOR_COMMON_APPDATA", appdata.c_str(), 1);
    pcd.ReadSAIARegistery();
    EXPECT_EQ(pcd.Pg5AppsDir(20), "/opt/pg5");
}

TEST_F(Pg5Test, ConnectCopiesDefaultsWhenTheChannelIsEmptyAndUsesTaskStation) {
    WriteFile(app.Settings.StartFile, "[GoOnline]\r\nChannel=\r\n");
    Task& t = app.Tasks[1];
    t.Settings = 0;
    t.SBus = 9;
    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    EXPECT_EQ(Key("Channel"), "S-BUS");
    EXPECT_EQ(Key("Station"), "9");
    EXPECT_EQ(Key("AutoStation"), "0");
    std::string c = Calls();
    const std::string file = app.Settings.StartFile;
    auto at = [&](const std::string& s) { return c.find(s); };
    ASSERT_NE(at("PcdRdChanSetupFromIni (none) GoOnline"), std::string::npos) << c;
    EXPECT_LT(at("PcdRdChanSetupFromIni (none)"), at("PcdWrChanSetupToIni " + file + " GoOnline"));
    EXPECT_LT(at("PcdWrChanSetupToIni"), at("PcdRdChanSetupFromIni " + file + " GoOnline"));
    EXPECT_NE(at("PcdConnectChannel flag=1 0 0 channel=S-BUS station=9"), std::string::npos) << c;
    EXPECT_NE(at("PcdRdStatus 77 0 station=9"), std::string::npos) << c;
    EXPECT_EQ(pcd.AddressedStation(), 9);
    EXPECT_TRUE(pcd.SbusChannel());
    EXPECT_NE(ReadLog(app).find("Task 1 - Connection with PCD station 9 established."),
              std::string::npos);
    EXPECT_TRUE(sbus.calls.empty());
}

TEST_F(Pg5Test, FailedCopyOfTheDefaultsStillEndsInTheConnectFailureLog) {
    WriteFile(app.Settings.StartFile, "[GoOnline]\r\nChannel=\r\n");
    Model("code.PcdRdChanSetupFromIni=20\n");
    EXPECT_FALSE(pcd.OpenPcdConnection(false));
    ASSERT_FALSE(ui.Messages().empty());
    EXPECT_EQ(ui.Messages()[0].Text.rfind("Read Channel Settings Error : ", 0), 0u);
    EXPECT_NE(ReadLog(app).find("Task 1 - Connection with PCD station 5 failed !"),
              std::string::npos)
        << ReadLog(app);
    EXPECT_EQ(ui.LastStatusLine(),
              "PCD Connection aborted.   Error: Task 1 - No valid connection for the Task.");
}

TEST_F(Pg5Test, AutoStationTakesThePcdsOwnNumber) {
    app.Settings.AutoStation = 1;
    Model("pcdstation=12\n");
    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    EXPECT_EQ(pcd.AddressedStation(), 12);
    EXPECT_EQ(app.Tasks[1].Resources[0].Station, 12); // inherited entry follows the PCD
    EXPECT_EQ(pcd.StationList(1), (std::vector<int16_t>{12}));

    Model("pcdstation=12\nstations=12\n");
    ClearCalls();
    EXPECT_FALSE(pcd.SetPcdStation(8));
    EXPECT_EQ(pcd.AddressedStation(), 12);
    EXPECT_NE(Calls().find("PcdSetStation 77 12"), std::string::npos) << Calls();
}

TEST_F(Pg5Test, ChannelKindsChooseTheWording) {
    WriteFile(app.Settings.StartFile, "[GoOnline]\r\nChannel=socket\r\n");
    app.Settings.IPAddress = "10.0.0.5";
    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    EXPECT_TRUE(pcd.IpChannel());
    EXPECT_FALSE(pcd.SbusChannel());
    EXPECT_EQ(Key("IPAddress"), "10.0.0.5");
    EXPECT_NE(ReadLog(app).find("Task 1 - Connection with PCD 10.0.0.5 station 5 established."),
              std::string::npos);
    pcd.ClosePcdConnection("");

    Model("stations=3\n");
    EXPECT_FALSE(pcd.OpenPcdConnection(false));
    EXPECT_NE(ReadLog(app).find("Task 1 - Connection with PCD 10.0.0.5 failed !"),
              std::string::npos);

    WriteFile(app.Settings.StartFile, "[GoOnline]\r\nChannel=S-BUS\r\nPguMode=1\r\n");
    Model("");
    ASSERT_TRUE(pcd.OpenPcdConnection(true));
    EXPECT_TRUE(pcd.PguMode());
    EXPECT_NE(ReadLog(app).find("Task 1 - Connection with PCD (PGU mode) established."),
              std::string::npos);
}

TEST_F(Pg5Test, ReadsGoThroughTheChannel) {
    Model("F10=1\nF12=1\nI3=1\nR5000=-7\nR5001=123456\nclock=2026,12,7,13,45,30\n");
    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    ClearCalls();
    ASSERT_EQ(pcd.ReadPcdFlags(10, 3), 0);
    EXPECT_EQ(pcd.PcdBitValues(), (std::vector<int16_t>{1, 0, 1}));
    ASSERT_EQ(pcd.ReadPcdInputs(2, 2), 0);
    EXPECT_EQ(pcd.PcdBitValues(), (std::vector<int16_t>{0, 1}));
    // Above the built-in library's 4095 the PG5 channel still reads.
    ASSERT_EQ(pcd.ReadPcdRegisters(5000, 2), 0);
    EXPECT_EQ(pcd.PcdRegisterValues(), (std::vector<int32_t>{-7, 123456}));
    ASSERT_EQ(pcd.ReadPcdClock(), 0);
    EXPECT_DOUBLE_EQ(pcd.PcdClock(), DateFromParts(2026, 12, 7, 13, 45, 30));
    EXPECT_EQ(Calls(),
              "PcdRdIOF 77 70 10 3\nPcdRdIOF 77 73 2 2\nPcdRdRTC 77 82 5000 2\nPcdRdClock 77\n");

    Model("code.PcdRdIOF=1\ncode.PcdRdRTC=41\n");
    EXPECT_EQ(pcd.ReadPcdFlags(0, 1), 1);
    EXPECT_EQ(app.Status.LastErrorText, " PCD_NAK");
    EXPECT_EQ(pcd.ReadPcdRegisters(0, 1), 41); // not in the table: text stays
    EXPECT_EQ(app.Status.LastErrorText, " PCD_NAK");
    EXPECT_TRUE(sbus.calls.empty());
}

TEST_F(Pg5Test, ConnectFailuresCarryTheLibraryCode) {
    Model("code.PcdConnectChannel=17\n");
    EXPECT_FALSE(pcd.OpenPcdConnection(false));
    EXPECT_EQ(pcd.Pg5Code(), 17);
    EXPECT_EQ(ui.LastStatusLine(),
              "PCD Connection aborted.   Error: Task 1 - No valid connection for the Task.");

    // A PCD failing its status check must not leave the channel open.
    Model("status=1\n");
    EXPECT_FALSE(pcd.OpenPcdConnection(false));
    Model("");
    EXPECT_TRUE(pcd.OpenPcdConnection(false));
    pcd.ClosePcdConnection("");

    // A channel file PG5 cannot read.
    Model("code.PcdRdChanSetupFromIni=20\n");
    EXPECT_FALSE(pcd.OpenPcdConnection(false));
    EXPECT_EQ(pcd.Pg5Code(), 20);

    // Missing library: message, and never "connected".
    app.Settings.DLL = 17;
    ui.ClearMessages();
    EXPECT_FALSE(pcd.OpenPcdConnection(false));
    ASSERT_FALSE(ui.Messages().empty());
    EXPECT_EQ(ui.Messages()[0].Text, "No PG5 ScommDll founded ! (PG517)");
    EXPECT_EQ(app.Status.Connected, 0);
}

TEST_F(Pg5Test, StationChangesProbeAndRestore) {
    Model("stations=5,7\n");
    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    EXPECT_TRUE(pcd.SetPcdStation(7));
    EXPECT_EQ(pcd.AddressedStation(), 7);
    ClearCalls();
    EXPECT_FALSE(pcd.SetPcdStation(8));
    EXPECT_EQ(pcd.AddressedStation(), 5);
    EXPECT_EQ(app.Status.LastErrorText, " PCD_NORESP");
    EXPECT_EQ(Calls(), "PcdSetStation 77 8\nPcdRdStatus 77 0 station=8\nPcdSetStation 77 5\n");

    // S-Bus channel wording; the failed change goes back to the addressed one.
    ClearCalls();
    EXPECT_FALSE(pcd.SetPcdIpStation(8, "10.0.0.9"));
    EXPECT_EQ(app.Status.LastErrorText, "Change SBus Address to 10.0.0.9 failed !");
    EXPECT_TRUE(pcd.ConnectFailed());
    EXPECT_NE(Calls().find("PcdSetStationEx 77 5 \n"), std::string::npos) << Calls();
    EXPECT_NE(ReadLog(app).find("Connection with PCD 10.0.0.9 failed !"), std::string::npos);
    EXPECT_TRUE(pcd.SetPcdIpStation(7, "10.0.0.7"));
    EXPECT_EQ(pcd.AddressedIp(), "10.0.0.7");

    pcd.ClosePcdConnection("");
    WriteFile(app.Settings.StartFile, "[GoOnline]\r\nChannel=SOCKET\r\n");
    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    EXPECT_FALSE(pcd.SetPcdIpStation(8, "10.0.0.8"));
    EXPECT_EQ(app.Status.LastErrorText, "Change PCD IP 10.0.0.8 failed !");
    EXPECT_NE(ReadLog(app).find("Connection with PCD station 8 failed !"), std::string::npos);
}

TEST_F(Pg5Test, CloseDisconnectsThenClosesThePort) {
    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    ClearCalls();
    pcd.ClosePcdConnection("");
    EXPECT_EQ(Calls(), "PcdDisconnectChannel 77 0 0\nPcdComClose 77 0 0\n");
    EXPECT_FALSE(pcd.Pg5Ready());

    ASSERT_TRUE(pcd.OpenPcdConnection(false));
    Model("code.PcdDisconnectChannel=2\n");
    ClearCalls();
    EXPECT_FALSE(pcd.ClosePg5());
    EXPECT_EQ(app.Status.LastErrorText, " PCD_COMERR");
    EXPECT_EQ(Calls(), "PcdDisconnectChannel 77 0 0\n");
}

TEST_F(Pg5Test, ChannelDialogStoresTheSettingsAndTheKind) {
    app.Settings.IPAddress = "192.168.1.20";
    Model("dialog.Channel=SOCKET\n");
    ASSERT_TRUE(pcd.ShowPg5ChannelDialog(4711));
    EXPECT_EQ(Key("Channel"), "SOCKET");
    EXPECT_EQ(Key("Station"), "5");
    EXPECT_EQ(Key("IPAddress"), "192.168.1.20");
    EXPECT_EQ(ReadProfileString(app.Settings.StartFile, "Connection", "IPAddress"), "192.168.1.20");
    EXPECT_TRUE(pcd.IpChannel());
    EXPECT_NE(Calls().find("PcdConnectionDialog 4711 flag=1"), std::string::npos);

    const std::pair<const char*, const char*> failures[] = {
        {"code.PcdConnectionDialog=28\n", "Display PG5 Setup Window Error :  PCD_CANCEL"},
        {"code.PcdWrChanSetupToIni=18\n", "Write Connection File Settings Error :  PCD_WRERROR"},
        {"code.PcdRdChanSetupFromIni=20\n", "Read Channel Settings Error :  PCD_BADFILE"},
    };
    for (const auto& [script, text] : failures) {
        Model(script);
        EXPECT_FALSE(pcd.ShowPg5ChannelDialog(0));
        ASSERT_NE(ui.LastMessage(), nullptr);
        EXPECT_EQ(ui.LastMessage()->Text, text);
    }
}

TEST_F(Pg5Test, CopyDefaultsForTheStartFileReader) {
    std::string other = ctx.dir.file("Other.pelk");
    Pg5Services& seam = pcd;
    EXPECT_TRUE(seam.CopyPg5Defaults(app, other));
    EXPECT_EQ(ReadProfileString(other, "GoOnline", "Channel"), "S-BUS");
    Model("code.PcdRdChanSetupFromIni=4\n");
    EXPECT_FALSE(seam.CopyPg5Defaults(app, other));
    EXPECT_EQ(ui.LastMessage()->Text, "Read Channel Settings Error :  PCD_INVALID");
}

} // namespace
} // namespace pelkor::test
