#include <gtest/gtest.h>
#include <sys/stat.h>

#include "config/ConfigTestSupport.h"
#include "config/PrivateProfile.h"
#include "config/StartFile.h"
#include "log/LogEvents.h"
#include "support/TestContext.h"
#include "tasks/TaskDefaults.h"
#include "util/DateTime.h"

namespace pelkor {
namespace {

using test::ReadFile;
using test::WriteFile;

class FakePg5 : public Pg5Services {
public:
    bool ProgramFolderFound(int) override { return true; }
    bool CopyPg5Defaults(AppContext&, const std::string& file) override {
        files.push_back(file);
        return WriteProfileString(file, "GoOnline", "Channel", "S-Bus PGU");
    }
    std::vector<std::string> files;
};

class StartFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        DefaultParameters(t.app);
        t.app.Settings.StartFile = t.dir.file("job.pelk");
    }
    void Write(const std::string& text) { WriteFile(t.app.Settings.StartFile, text); }
    std::string Key(const std::string& section, const std::string& key) {
        return ReadProfileString(t.app.Settings.StartFile, section, key, "<missing>");
    }
    TestContext t;
};

TEST_F(StartFileTest, CommentRuleAndHeaderSettings) {
    Write("[Pelkor]\r\nVersion=3\r\nSingleShot=0\r\nLogUsed=0 ;; off\r\nReadWindow=1\r\nLocked=0\r\n"
          "DDEServer=0\r\nTask=1\r\nLogFolder=/var/log/plant\r\n"
          "[Connection]\r\nAutoConnect=1\r\nStation=7\r\nIPAddress=10.0.0.5 ;; line 3 PCD\r\nDLL=15\r\n"
          "[Task1]\r\nReadInterval=12 ;; seconds between readings\r\nFileType=CSV\r\n");
    t.app.Settings.DDEServer = 1;
    EXPECT_EQ(GetIniString(t.app.Settings.StartFile, "Task1", "ReadInterval"), "12 ");
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    const AppSettings& s = t.app.Settings;
    EXPECT_EQ(t.app.Tasks[1].ReadInterval, 12);
    EXPECT_EQ(s.IPAddress, "10.0.0.5 ");
    EXPECT_EQ(s.SingleShot, 0);
    EXPECT_EQ(s.LogUsed, 0);
    EXPECT_EQ(s.ReadWindow, 1);
    EXPECT_EQ(s.StartMode, 1);
    EXPECT_EQ(s.DDEServer, 0);  // present, so 0 is applied
    EXPECT_EQ(s.LogFile, "/var/log/plant/Pelkor.txt");
    EXPECT_EQ(s.Station, 7);
    EXPECT_EQ(s.DLL, 15);
    EXPECT_EQ(t.app.Status.AutoConnectActive, 1);
    EXPECT_TRUE(t.ui.Messages().empty());
}

TEST_F(StartFileTest, LockedSingleShotAndCommandLineDriverWins) {
    Write("[Pelkor]\r\nVersion=1\r\nSingleShot=1\r\nHidden=1\r\nLocked=1\r\nTask=1\r\n"
          "[Connection]\r\nAutoConnect=0\r\nDLL=15\r\n[Task1]\r\nFileType=CSV\r\n");
    t.app.Settings.DLL = 20;
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(t.app.Settings.StartMode, 2);
    EXPECT_EQ(t.app.Settings.SingleShot, 1);
    EXPECT_EQ(t.app.Settings.Hidden, 1);
    EXPECT_EQ(t.app.Settings.DLL, 20);
    EXPECT_EQ(t.app.Status.AutoConnectActive, 1);  // forced by the single shot
}

TEST_F(StartFileTest, BadStartFiles) {
    for (const char* text : {"[Pelkor]\r\nTask=1\r\n", "[Pelkor]\r\nVersion=0\r\n", "[Pelkor]\r\nVersion=abc\r\n"}) {
        SCOPED_TRACE(text);
        Write(text);
        t.ui.ClearMessages();
        EXPECT_FALSE(ReadPelkorStartFile(t.app));
        ASSERT_EQ(t.ui.Messages().size(), 1u);
        EXPECT_EQ(t.ui.LastMessage()->Text, "ReadPelkorStartFile function error : ");
        EXPECT_EQ(t.ui.LastMessage()->Title, "Pelkor");
        EXPECT_EQ(t.ui.LastMessage()->Icon, MsgIcon::Exclamation);
        EXPECT_EQ(t.ui.LastStatusLine(), "Bad start file: " + t.app.Settings.StartFile + " - ");
    }
    // A value that does not fit names its key; what came before stays applied.
    Write("[Pelkor]\r\nVersion=3\r\nReadWindow=1\r\nTask=2\r\n[Task1]\r\nFileType=CSV\r\n"
          "[Task2]\r\nSBus=70000\r\n");
    EXPECT_FALSE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(t.ui.LastMessage()->Text, "ReadPelkorStartFile function error : Overflow ([Task2] SBus)");
    EXPECT_EQ(t.app.Settings.ReadWindow, 1);
    Write("[Pelkor]\r\nVersion=3\r\n[Task1]\r\nReadHour=half past ten\r\n");
    EXPECT_FALSE(ReadPelkorStartFile(t.app));
    EXPECT_NE(t.ui.LastMessage()->Text.find("[Task1] ReadHour"), std::string::npos);
    // The log file got the lines too.
    t.app.Settings.LogUsed = 1;
    Write("[Pelkor]\r\nLogUsed=1\r\n");
    EXPECT_FALSE(ReadPelkorStartFile(t.app));
    EXPECT_NE(ReadFile(t.app.Settings.LogFile).find("Bad start file: "), std::string::npos);
}

TEST_F(StartFileTest, TaskCountIsKeptInsideTheTable) {
    for (auto [text, count] : std::vector<std::pair<std::string, int>>{{"0", 1}, {"many", 1}, {"", 1}, {"-4", 1},
                                                                       {"3", 3}, {"250", MaxTasks}}) {
        SCOPED_TRACE(text);
        Write("[Pelkor]\r\nVersion=3\r\nTask=" + text + "\r\n");
        ASSERT_TRUE(ReadPelkorStartFile(t.app));
        EXPECT_EQ(t.app.Settings.TaskCount, count);
    }
}

TEST_F(StartFileTest, MissingSettingsComesFromPg5SettingsAndIsWrittenBack) {
    Write("[Pelkor]\r\nVersion=3\r\nTask=2\r\n[Connection]\r\nPG5Settings=1\r\n"
          "[Task1]\r\nFileType=CSV\r\n[Task2]\r\nSettings=0\r\nSBus=12\r\nFileType=CSV\r\n");
    t.app.Tasks[1].Settings = 0;
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(t.app.Tasks[1].Settings, 1);
    EXPECT_EQ(t.app.Tasks[2].Settings, 0);
    EXPECT_EQ(t.app.Tasks[2].SBus, 12);
    EXPECT_EQ(Key("Task1", "Settings"), "1");
    EXPECT_EQ(Key("Task2", "Settings"), "0");
    // A locked, read-only start file still loads.
    Write("[Pelkor]\r\nVersion=3\r\n[Connection]\r\nPG5Settings=2\r\n[Task1]\r\nFileType=CSV\r\n");
    ::chmod(t.app.Settings.StartFile.c_str(), 0444);
    EXPECT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(t.app.Tasks[1].Settings, 2);
    EXPECT_EQ(Key("Task1", "Settings"), "<missing>");
}

TEST_F(StartFileTest, TaskKeysAsTheyAreLoaded) {
    Write("[Pelkor]\r\nVersion=3\r\nTask=2\r\n"
          "[Task1]\r\nSettings=1\r\nComments=boiler\r\nIntervalUnit=3\r\nReadHour=06:30:00\r\n"
          "FileType=XLS\r\nOutFolder=/data/out\r\nFileName=Boiler\r\nFileIndex=0\r\nOutSheet=Week\r\n"
          "StartCell=B2\r\nOrientation=1\r\nFileNew=2\r\nFormatUsed=1\r\nFormatTime=hh:nn\r\n"
          "HeadLines=1,ignored\r\nLineCount=1,No.\r\nTimeStamp=1,Date,Time\r\nMissValues=0\r\n"
          "TaskNumber=1, Task \r\nTitle=Boiler house\r\nData=r 100.4, f 10\r\nDataHead=a,b\r\n"
          "DataFile=\r\nDataSheet=S\r\nDataCell=A1\r\n"
          "[Task2]\r\nData=\r\n");
    Task& t1 = t.app.Tasks[1];
    Task& t2 = t.app.Tasks[2];
    t2.ReadInterval = 30;
    t2.OutFolder = "/old";
    t2.FileIndex = 1;
    t2.Data = "R 5";
    t2.Comments = "old comment";
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(t1.Comments, "boiler");
    EXPECT_EQ(t1.IntervalUnit, 3);
    EXPECT_NEAR(t1.ReadHour, 6.5 / 24, 1e-9);
    EXPECT_EQ(t1.FileType, "XLS");
    EXPECT_EQ(t1.OutFolder, "/data/out");
    EXPECT_EQ(t1.FileName, "Boiler");
    EXPECT_EQ(t1.FileIndex, 0);
    EXPECT_EQ(t1.OutSheet, "Week");
    EXPECT_EQ(t1.StartCell, "B2");
    EXPECT_EQ(t1.Orientation, 1);
    EXPECT_EQ(t1.FileNew, 2);
    EXPECT_EQ(t1.FormatTime, "hh:nn");
    EXPECT_EQ(t1.HeadLines, 1);
    EXPECT_EQ(t1.LineCount, 1);
    EXPECT_EQ(t1.LineCountText, "No.");
    EXPECT_EQ(t1.TimeStampText, "Date");
    EXPECT_EQ(t1.MissValues, 0);
    EXPECT_EQ(t1.TaskNumberText, "Task");
    EXPECT_EQ(t1.Title, "Boiler house");
    EXPECT_EQ(t1.Data, "R 100.4, F 10");
    EXPECT_EQ(t1.DataSheet, "S");
    EXPECT_EQ(t1.DataCell, "A1");
    // Task 2 is not reset first: what its section lacks keeps its value,
    // except the keys that are always applied and the output block, which an
    // absent "FileType" resets.
    EXPECT_EQ(t2.ReadInterval, 30);
    EXPECT_EQ(t2.Data, "R 5");
    EXPECT_EQ(t2.Comments, "");
    EXPECT_EQ(t2.OutFolder, "");
    EXPECT_EQ(t2.FileIndex, 0);
    EXPECT_EQ(t2.FileName, "");
}

TEST_F(StartFileTest, RealWorldFileWithBomCrLfCommentsCaseAndDuplicates) {
    Write("\xEF\xBB\xBF; Start file of the boiler house\r\n\r\n"
          "[TASK1]\r\nfiletype = csv\r\nDATA=r 1\r\nData=r 2\r\n\r\n"
          "[connection]\r\nstation=4\r\n\r\n"
          "[pelkor]\r\n  version = 3  \r\ntask=1\r\n"
          "[Pelkor]\r\nVersion=0\r\n");
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(t.app.Tasks[1].FileType, "csv");
    EXPECT_EQ(t.app.Tasks[1].Data, "R 1");
    EXPECT_EQ(t.app.Settings.Station, 4);
}

TEST_F(StartFileTest, WrittenSettingsAndTaskReadBack) {
    AppSettings& s = t.app.Settings;
    s.TaskCount = 2;
    s.LogUsed = 1;
    s.ReadWindow = 1;
    s.AutoConnect = 1;
    s.DLL = 20;
    SetLogFolder(s, t.dir.path());
    Task& src = t.app.Tasks[2];
    src.Settings = 0;
    src.SBus = 9;
    src.Auto = 1;
    src.IPAddress = "192.168.1.9";
    src.Comments = "pump";
    src.IntervalUnit = 3;
    src.ReadInterval = 2;
    src.ReadHour = 0.75;
    src.FileType = "CSV";
    src.OutFolder = t.dir.path();
    src.FileName = "Pump";
    src.FormatUsed = 1;
    src.FormatTime = "yyyy-mm-dd";
    src.TimeStamp = 1;
    src.TimeStampText = "When";
    src.LineCount = 1;
    src.HeadLines = 1;
    src.Data = "R 10 5";
    src.DataHead = "a,b,c,d,e";
    src.Title = "not written";
    ASSERT_TRUE(WriteStartFileSettings(t.app));
    ASSERT_TRUE(WriteStartFileTask(t.app, 1, 1));
    ASSERT_TRUE(WriteStartFileTask(t.app, 2, 2));
    EXPECT_EQ(Key("Pelkor", "Version"), "3");
    EXPECT_EQ(Key("Pelkor", "MinPelkor"), "1");
    EXPECT_EQ(Key("Pelkor", "Visible"), "0");
    EXPECT_EQ(Key("Task2", "Title"), "<missing>");
    EXPECT_EQ(Key("Task2", "TimeStamp"), "1,When");

    TestContext other;
    DefaultParameters(other.app);
    other.app.Settings.StartFile = s.StartFile;
    ASSERT_TRUE(ReadPelkorStartFile(other.app));
    EXPECT_EQ(other.app.Settings.TaskCount, 2);
    EXPECT_EQ(other.app.Settings.LogUsed, 1);
    EXPECT_EQ(other.app.Settings.LogFolder, t.dir.path());
    EXPECT_EQ(other.app.Settings.DLL, 20);
    EXPECT_EQ(other.app.Status.AutoConnectActive, 1);
    const Task& back = other.app.Tasks[2];
    EXPECT_EQ(back.Settings, 0);
    EXPECT_EQ(back.SBus, 9);
    EXPECT_EQ(back.Auto, 1);
    EXPECT_EQ(back.IPAddress, "192.168.1.9");
    EXPECT_EQ(back.IntervalUnit, 3);
    EXPECT_EQ(back.ReadInterval, 2);
    EXPECT_NEAR(back.ReadHour, 0.75, 1e-9);
    EXPECT_EQ(back.FileType, "CSV");
    EXPECT_EQ(back.FileName, "Pump");
    EXPECT_EQ(back.FormatTime, "yyyy-mm-dd");
    EXPECT_EQ(back.TimeStampText, "When");
    EXPECT_EQ(back.LineCount, 1);
    EXPECT_EQ(back.HeadLines, 1);
    EXPECT_EQ(back.Data, "R 10 5");
    EXPECT_EQ(back.DataHead, "a,b,c,d,e");
    EXPECT_EQ(back.Title, "");
}

TEST_F(StartFileTest, FileTypeNoneAndCommonSettingsLeaveOldKeys) {
    Write("[Pelkor]\r\nVersion=3\r\nTask=1\r\n"
          "[Task1]\r\nSettings=0\r\nSBus=33\r\nAuto=1\r\nIPAddress=10.1.1.1\r\n"
          "FileType=CSV\r\nOutFolder=/plant\r\nFileName=Line3\r\nOverwrite=1\r\n");
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    Task& task = t.app.Tasks[1];
    task.Settings = 1;
    task.SBus = 0;
    task.Auto = 0;
    task.IPAddress.clear();
    task.FileType = "none";
    task.FileName = "other";
    ASSERT_TRUE(WriteStartFileTask(t.app, 1, 1));
    EXPECT_EQ(Key("Task1", "Settings"), "1");
    EXPECT_EQ(Key("Task1", "SBus"), "33");
    EXPECT_EQ(Key("Task1", "Auto"), "1");
    EXPECT_EQ(Key("Task1", "IPAddress"), "10.1.1.1");
    EXPECT_EQ(Key("Task1", "FileType"), "none");
    EXPECT_EQ(Key("Task1", "FileName"), "Line3");

    TestContext other;
    DefaultParameters(other.app);
    other.app.Settings.StartFile = t.app.Settings.StartFile;
    ASSERT_TRUE(ReadPelkorStartFile(other.app));
    EXPECT_EQ(other.app.Tasks[1].FileType, "none");
    EXPECT_EQ(other.app.Tasks[1].FileName, "Line3");
    EXPECT_EQ(other.app.Tasks[1].Overwrite, 1);

    // Any own-station value other than 0 keeps its station in the file too.
    task.Settings = 2;
    task.SBus = 44;
    ASSERT_TRUE(WriteStartFileTask(t.app, 1, 1));
    EXPECT_EQ(Key("Task1", "SBus"), "44");
}

TEST_F(StartFileTest, WritesToAReadOnlyStartFileFailWithTheirMessages) {
    Write("[Pelkor]\r\nVersion=3\r\nTask=1\r\n[Task1]\r\nFileType=CSV\r\n");
    const std::string before = ReadFile(t.app.Settings.StartFile);
    ::chmod(t.app.Settings.StartFile.c_str(), 0444);
    EXPECT_FALSE(WriteStartFileTask(t.app, 1, 1));
    ASSERT_NE(t.ui.LastMessage(), nullptr);
    EXPECT_EQ(t.ui.LastMessage()->Text, "Data writing aborted in the file : " + t.app.Settings.StartFile);
    EXPECT_EQ(t.ui.LastMessage()->Icon, MsgIcon::Critical);
    EXPECT_FALSE(WriteStartFileSettings(t.app));
    EXPECT_EQ(t.ui.LastMessage()->Text, "Settings writing aborted in the file : " + t.app.Settings.StartFile);
    EXPECT_FALSE(WriteIniString(t.app.Settings.StartFile, "Pelkor", "Task", "2"));
    EXPECT_FALSE(ClearStartFileSection(t.app, t.app.Settings.StartFile, "Task1"));
    EXPECT_EQ(ReadFile(t.app.Settings.StartFile), before);
    // A task number outside the table is a failure, not a crash.
    ::chmod(t.app.Settings.StartFile.c_str(), 0644);
    EXPECT_FALSE(WriteStartFileTask(t.app, 1, MaxTasks + 1));
    EXPECT_EQ(ReadFile(t.app.Settings.StartFile), before);
}

TEST_F(StartFileTest, DeletingATaskClearsTheLastSectionAfterTheShift) {
    AppSettings& s = t.app.Settings;
    s.TaskCount = 3;
    for (int i = 1; i <= 3; ++i) {
        t.app.Tasks[i].FileType = "CSV";
        t.app.Tasks[i].Data = "R " + std::to_string(i);
        ASSERT_TRUE(WriteStartFileTask(t.app, i, i));
    }
    ASSERT_TRUE(WriteStartFileSettings(t.app));
    // Delete task 2 the way the task editor does: shift, rewrite, clear the last.
    t.app.Tasks[2] = t.app.Tasks[3];
    s.TaskCount = 2;
    ASSERT_TRUE(WriteStartFileTask(t.app, 2, 2));
    ASSERT_TRUE(ClearStartFileSection(t.app, s.StartFile, "Task3"));
    EXPECT_EQ(Key("Pelkor", "Task"), "2");
    EXPECT_EQ(Key("Task3", "Data"), "<missing>");
    EXPECT_EQ(ReadFile(s.StartFile).find("[Task3]"), std::string::npos);

    TestContext other;
    DefaultParameters(other.app);
    other.app.Settings.StartFile = s.StartFile;
    ASSERT_TRUE(ReadPelkorStartFile(other.app));
    EXPECT_EQ(other.app.Settings.TaskCount, 2);
    EXPECT_EQ(other.app.Tasks[1].Data, "R 1");
    EXPECT_EQ(other.app.Tasks[2].Data, "R 3");
}

TEST_F(StartFileTest, SaveConnectionParametersCopiesTheChannelStation) {
    Write("[Pelkor]\r\nVersion=3\r\n[GoOnline]\r\nChannel=PGU\r\nStation=21\r\nAutoStation=1\r\nIPAddress=10.0.0.2\r\n");
    int16_t current = -1;
    ASSERT_TRUE(SaveConnectionParameters(t.app, t.app.Settings.StartFile, [&](int16_t st) { current = st; }));
    EXPECT_EQ(current, 21);
    EXPECT_EQ(t.app.Settings.Station, 21);
    EXPECT_EQ(t.app.Settings.AutoStation, 1);
    EXPECT_EQ(Key("Connection", "Station"), "21");
    EXPECT_EQ(Key("Connection", "AutoStation"), "1");
    EXPECT_EQ(Key("Connection", "IPAddress"), "10.0.0.2");

    ::chmod(t.app.Settings.StartFile.c_str(), 0444);
    EXPECT_FALSE(SaveConnectionParameters(t.app, t.app.Settings.StartFile));
    EXPECT_EQ(t.ui.LastMessage()->Text.rfind("SaveConnectionParameters function error : Cannot write", 0), 0u);
    EXPECT_EQ(t.ui.LastStatusLine().rfind("SaveConnectionParameters Error : " + t.app.Settings.StartFile + " - ", 0), 0u);
}

TEST_F(StartFileTest, Pg5ChannelSettingsAreCopiedOnlyWhenTheChannelIsAvailable) {
    const std::string text = "[Pelkor]\r\nVersion=3\r\n[Task1]\r\nFileType=CSV\r\n";
    Write(text);
    FakePg5 pg5;
    t.app.Pg5 = &pg5;
    t.app.Status.PG5Available = 0;
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_TRUE(pg5.files.empty());
    EXPECT_TRUE(t.ui.Messages().empty());

    t.app.Status.PG5Available = 1;
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    ASSERT_EQ(pg5.files.size(), 1u);
    EXPECT_EQ(pg5.files[0], t.app.Settings.StartFile);
    EXPECT_EQ(Key("GoOnline", "Channel"), "S-Bus PGU");
    ASSERT_TRUE(ReadPelkorStartFile(t.app));  // a channel is set now
    EXPECT_EQ(pg5.files.size(), 1u);

    t.app.Pg5 = nullptr;
    Write(text);
    EXPECT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_TRUE(CopyPg5DefaultsIfAvailable(t.app, t.app.Settings.StartFile));
}

}  // namespace
}  // namespace pelkor
