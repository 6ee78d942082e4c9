#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

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

// The stored fields of a task in one line, to compare loads and saves whole.
std::string Stored(const Task& t) {
    std::ostringstream s;
    s << t.Settings << '|' << t.IPAddress << '|' << t.SBus << '|' << t.Auto << '|' << t.Disabled
      << '|' << t.Comments << '|' << t.IntervalUnit << '|' << t.ReadInterval << '|'
      << GeneralDateText(t.ReadHour) << '|' << t.FileType << '|' << t.OutFolder << '|' << t.FileName
      << '|' << t.FileIndex << '|' << t.OutSheet << '|' << t.StartCell << '|' << t.Orientation
      << '|' << t.Overwrite << '|' << t.FileNew << '|' << t.FormatUsed << '|' << t.FormatTime << '|'
      << t.HeadLines << '|' << t.LineCount << ',' << t.LineCountText << '|' << t.TimeStamp << ','
      << t.TimeStampText << '|' << t.MissValues << ',' << t.MissValuesText << '|' << t.TaskNumber
      << ',' << t.TaskNumberText << '|' << t.Title << '|' << t.Data << '|' << t.DataHead << '|'
      << t.DataFile << '|' << t.DataSheet << '|' << t.DataCell;
    return s.str();
}

class FakePg5 : public Pg5Services {
public:
    bool ProgramFolderFound(int) override { return true; }
    bool CopyPg5Defaults(AppContext&, const std::string& file) override {
        files.push_back(file);
        return WriteProfileString(file, "GoOnline", "Channel", "PGU");
    }
    std::vector<std::string> files;
};

class StartFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        DefaultParameters(t.app);
        t.app.Settings.StartFile = t.dir.file("job.pelk");
    }
    void Write(const std::string& text) { WriteFile(file(), text); }
    const std::string& file() { return t.app.Settings.StartFile; }
    std::string Key(const std::string& section, const std::string& key) {
        return ReadProfileString(file(), section, key, "<missing>");
    }
    // Loads the start file into a fresh context.
    bool Reload(TestContext& other) {
        DefaultParameters(other.app);
        other.app.Settings.StartFile = file();
        return ReadPelkorStartFile(other.app);
    }
    TestContext t;
};

TEST_F(StartFileTest, HeaderSettingsAndTheCommentRule) {
    Write("[Pelkor]\r\nVersion=3\r\nSingleShot=0\r\nLogUsed=0 ;; "
          "off\r\nReadWindow=1\r\nDDEServer=0\r\n"
          "LogFolder=/var/log/plant ;; the "
          "plant's\r\n[Connection]\r\nAutoConnect=1\r\nStation=7\r\nIPAddress=10.0.0.5 ;; PCD\r\n"
          "DLL=15\r\n[Task1]\r\nReadInterval=12 ;; seconds\r\nFileType=CSV\r\n");
    t.app.Settings.DDEServer = 1;
    EXPECT_EQ(GetIniString(file(), "Task1", "ReadInterval"), "12 ");
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    const AppSettings& s = t.app.Settings;
    EXPECT_EQ(t.app.Tasks[1].ReadInterval, 12);
    EXPECT_EQ(s.IPAddress, "10.0.0.5 ");
    EXPECT_EQ((std::vector<int>{s.SingleShot, s.LogUsed, s.ReadWindow, s.StartMode, s.DDEServer,
                                s.Station, s.DLL, t.app.Status.AutoConnectActive}),
              (std::vector<int>{0, 0, 1, 1, 0, 7, 15, 1}));
    EXPECT_EQ(s.LogFolder, "/var/log/plant") << "no blank kept from before the comment";
    EXPECT_EQ(s.LogFile, "/var/log/plant/Pelkor.txt");
    EXPECT_TRUE(t.ui.Messages().empty());

    // Locked single shot; a driver chosen on the command line wins.
    Write("[Pelkor]\r\nVersion=1\r\nSingleShot=1\r\nLocked=1\r\n[Connection]\r\nAutoConnect="
          "0\r\nDLL=15\r\n");
    t.app.Settings.DLL = 20;
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ((std::vector<int>{s.StartMode, s.SingleShot, s.DLL, t.app.Status.AutoConnectActive}),
              (std::vector<int>{2, 1, 20, 1}));

    for (auto [text, count] :
         std::vector<std::pair<std::string, int>>{{"0", 1}, {"many", 1}, {"250", MaxTasks}}) {
        Write("[Pelkor]\r\nVersion=3\r\nTask=" + text + "\r\n");
        ASSERT_TRUE(ReadPelkorStartFile(t.app));
        EXPECT_EQ(t.app.Settings.TaskCount, count) << text;
    }
}

TEST_F(StartFileTest, BuiltInChannelKeys) {
    AppSettings& s = t.app.Settings;
    Write("[Pelkor]\r\nVersion=3\r\n[Connection]\r\nPort=/dev/ttyUSB0 ;; "
          "adapter\r\nBaudrate=19200\r\n");
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(s.Port + "|" + std::to_string(s.Baudrate), "/dev/ttyUSB0|19200");
    s.Port = "udp:plc-7";
    s.Baudrate = 0;
    ASSERT_TRUE(WriteStartFileSettings(t.app));
    EXPECT_EQ(Key("Connection", "Port") + "|" + Key("Connection", "Baudrate"), "udp:plc-7|");
    // A rate the built-in library lacks is the connect's business, not a bad file.
    Write("[Pelkor]\r\nVersion=3\r\n[Connection]\r\nBaudrate=57600\r\n");
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(s.Baudrate, 57600);
    Write("[Pelkor]\r\nVersion=3\r\n[Connection]\r\nBaudrate=-5\r\n");
    EXPECT_FALSE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(
        t.ui.LastMessage()->Text,
        "ReadPelkorStartFile function error : Invalid baud rate ([Connection] Baudrate = -5)");
}

TEST_F(StartFileTest, LongListsReadWholeAndMisfitHeadsAreLogged) {
    std::string list;
    for (int i = 0; i < 400; ++i)
        list += (i ? ",R " : "R ") + std::to_string(i);
    ASSERT_GT(list.size(), ProfileValueLimit);
    Write("[Pelkor]\r\nVersion=3\r\nLogUsed=1\r\nLogFolder=" + t.dir.path() +
          "\r\nTask=3\r\n[Task1]\r\nData=" + list +
          "\r\n[Task2]\r\nData=R 0 [4],F 0 [8]\r\nDataHead=x,a,b\r\n[Task3]\r\nData= ,R "
          "1\r\nDataHead=x,a\r\n");
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(t.app.Tasks[1].Data, list);
    const std::string log = ReadFile(t.app.Settings.LogFile);
    EXPECT_NE(
        log.find("Task 2 : the headlines (DataHead) do not line up with the addresses (Data)"),
        std::string::npos);
    EXPECT_EQ(log.find("Task 1 : the headlines"), std::string::npos);
    EXPECT_EQ(log.find("Task 3 : the headlines"),
              std::string::npos); // mended when its list is parsed
}

TEST_F(StartFileTest, BadStartFilesAreReportedAndKeepWhatWasApplied) {
    t.app.Settings.LogUsed = 1;
    for (const char* text :
         {"[Pelkor]\r\nTask=1\r\n", "[Pelkor]\r\nVersion=0\r\n", "[Pelkor]\r\nVersion=abc\r\n"}) {
        Write(text);
        t.ui.ClearMessages();
        EXPECT_FALSE(ReadPelkorStartFile(t.app)) << text;
        ASSERT_EQ(t.ui.Messages().size(), 1u);
        EXPECT_EQ(t.ui.LastMessage()->Text, "ReadPelkorStartFile function error : ");
        EXPECT_EQ(t.ui.LastMessage()->Icon, MsgIcon::Exclamation);
        EXPECT_EQ(t.ui.LastStatusLine(), "Bad start file: " + file() + " - ");
    }
    EXPECT_NE(ReadFile(t.app.Settings.LogFile).find("Bad start file: "), std::string::npos);
    // A task that fails later leaves no "Settings" key written into the others.
    const std::string late =
        "[Pelkor]\r\nVersion=3\r\nTask=2\r\n[Task1]\r\nData=R 0\r\n[Task2]\r\nSBus=70000\r\n";
    Write(late);
    EXPECT_FALSE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(ReadFile(file()), late);
    Write("[Pelkor]\r\nVersion=3\r\nReadWindow=1\r\nTask=2\r\n[Task2]\r\nSBus=70000\r\n");
    EXPECT_FALSE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(t.ui.LastMessage()->Text,
              "ReadPelkorStartFile function error : Overflow ([Task2] SBus)");
    EXPECT_EQ(t.app.Settings.ReadWindow, 1);
    Write("[Pelkor]\r\nVersion=3\r\n[Task1]\r\nReadHour=half past ten\r\n");
    EXPECT_FALSE(ReadPelkorStartFile(t.app));
    EXPECT_NE(t.ui.LastMessage()->Text.find("[Task1] ReadHour"), std::string::npos);
}

TEST_F(StartFileTest, TaskKeysLoadAndSaveBack) {
    Write(
        "\xEF\xBB\xBF; boiler house\r\n[Pelkor]\r\nVersion=3\r\nTask=2\r\n"
        "[task1]\r\nsettings=0\r\nSBus=4\r\nComments=boiler\r\nIntervalUnit=3\r\nReadHour=06:30:"
        "00\r\n"
        "FileType=XLS\r\nOutFolder=/data/out\r\nFileName=Boiler\r\nFileIndex=0\r\nOutSheet=Week\r\n"
        "StartCell=B2\r\nOrientation=1\r\nFileNew=2\r\nFormatUsed=1\r\nFormatTime=hh:nn\r\n"
        "HeadLines=1,ignored\r\nLineCount=1,No.\r\nTimeStamp=1,Date,Time\r\nMissValues=0\r\n"
        "TaskNumber=1, Task \r\nTitle=Boiler house\r\nData=r 100.4, f "
        "10\r\ndata=dup\r\nDataHead=a,b\r\n"
        "DataSheet=S\r\nDataCell=A1\r\n[Task2]\r\nData=\r\n[TASK1]\r\nComments=duplicate "
        "section\r\n");
    Task& t1 = t.app.Tasks[1];
    Task& t2 = t.app.Tasks[2];
    t2.ReadInterval = 30;
    t2.OutFolder = "/old";
    t2.Data = "R 5";
    t2.Comments = "old";
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(
        Stored(t1),
        "0||4|0|0|boiler|3|60|06:30:00|XLS|/data/out|Boiler|0|Week|B2|1|0|2|1|hh:nn|1|1,No.|1,Date|"
        "0,|1,Task|Boiler house|R 100.4, F 10|a,b||S|A1");
    // Task 2 loads from a zeroed record: what its section lacks is zero or
    // empty, neither its old value nor task 1's default.
    EXPECT_EQ(Stored(t2), "0||0|0|0||0|0|00:00:00||||0|||0|0|0|0||0|0,|0,|0,|0,||||||");

    // Saved into another section, task 1 reads back the same, "Title" aside.
    t.app.Settings.TaskCount = 3;
    ASSERT_TRUE(WriteStartFileTask(t.app, 3, 1));
    EXPECT_EQ(Key("Pelkor", "Task") + Key("Task3", "Title"), "3<missing>");
    TestContext other;
    ASSERT_TRUE(Reload(other));
    t1.Title.clear();
    EXPECT_EQ(Stored(other.app.Tasks[3]), Stored(t1));

    // Common settings keep the old station keys; "None" writes only the type.
    t1.Settings = 1;
    t1.SBus = 0;
    t1.FileType = "none";
    t1.OutFolder = "/elsewhere";
    ASSERT_TRUE(WriteStartFileTask(t.app, 3, 1));
    EXPECT_EQ(Key("Task3", "SBus") + Key("Task3", "OutFolder") + Key("Task3", "FileType"),
              "4/data/outnone");
    TestContext again;
    ASSERT_TRUE(Reload(again));
    EXPECT_EQ(again.app.Tasks[3].OutFolder + again.app.Tasks[3].FileName, "/data/outBoiler");
    // Any own-station value other than 1 keeps its station in the file.
    t1.Settings = 2;
    t1.SBus = 44;
    ASSERT_TRUE(WriteStartFileTask(t.app, 3, 1));
    EXPECT_EQ(Key("Task3", "SBus"), "44");

    AppSettings& s = t.app.Settings;
    s.LogUsed = s.AutoConnect = 1;
    s.DLL = 20;
    ASSERT_TRUE(WriteStartFileSettings(t.app));
    EXPECT_EQ(Key("Pelkor", "MinPelkor") + Key("Pelkor", "Visible") + Key("Pelkor", "Locked"),
              "100");
    TestContext third;
    ASSERT_TRUE(Reload(third));
    EXPECT_EQ((std::vector<int>{third.app.Settings.TaskCount, third.app.Settings.LogUsed,
                                third.app.Settings.DLL, third.app.Status.AutoConnectActive}),
              (std::vector<int>{3, 1, 20, 1}));
}

TEST_F(StartFileTest, SettingsFromPg5SettingsAreWrittenBack) {
    Write("[Pelkor]\r\nVersion=3\r\nTask=2\r\n[Connection]\r\nPG5Settings=1\r\n[Task2]\r\nSettings="
          "0\r\n");
    t.app.Tasks[1].Settings = 0;
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(t.app.Tasks[1].Settings, 1);
    EXPECT_EQ(Key("Task1", "Settings"), "1");
    EXPECT_EQ(Key("Task2", "Settings"), "0");
    // A read-only (locked) start file still loads.
    Write("[Pelkor]\r\nVersion=3\r\n[Connection]\r\nPG5Settings=2\r\n");
    ::chmod(file().c_str(), 0444);
    EXPECT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(t.app.Tasks[1].Settings, 2);
}

TEST_F(StartFileTest, WritesToAReadOnlyStartFileFailWithTheirMessages) {
    Write("[Pelkor]\r\nVersion=3\r\n[Task1]\r\nFileType=CSV\r\n");
    const std::string before = ReadFile(file());
    ::chmod(file().c_str(), 0444);
    EXPECT_FALSE(WriteStartFileTask(t.app, 1, 1));
    EXPECT_EQ(t.ui.LastMessage()->Text, "Data writing aborted in the file : " + file());
    EXPECT_EQ(t.ui.LastMessage()->Icon, MsgIcon::Critical);
    EXPECT_FALSE(WriteStartFileSettings(t.app));
    EXPECT_EQ(t.ui.LastMessage()->Text, "Settings writing aborted in the file : " + file());
    EXPECT_FALSE(WriteIniString(file(), "Pelkor", "Task", "2"));
    EXPECT_FALSE(ClearStartFileSection(t.app, file(), "Task1"));
    ::chmod(file().c_str(), 0644);
    EXPECT_FALSE(WriteStartFileTask(t.app, 1, MaxTasks + 1)); // a failure, not a crash
    EXPECT_EQ(ReadFile(file()), before);
}

TEST_F(StartFileTest, DeletingATaskClearsTheLastSectionAfterTheShift) {
    t.app.Settings.TaskCount = 3;
    for (int i = 1; i <= 3; ++i) {
        t.app.Tasks[i].FileType = "CSV";
        t.app.Tasks[i].Data = "R " + std::to_string(i);
        ASSERT_TRUE(WriteStartFileTask(t.app, i, i));
    }
    ASSERT_TRUE(WriteStartFileSettings(t.app));
    // Delete task 2 as the task editor does: shift, rewrite, clear the last.
    t.app.Tasks[2] = t.app.Tasks[3];
    t.app.Settings.TaskCount = 2;
    ASSERT_TRUE(WriteStartFileTask(t.app, 2, 2));
    ASSERT_TRUE(ClearStartFileSection(t.app, file(), "Task3"));
    EXPECT_EQ(ReadFile(file()).find("[Task3]"), std::string::npos);
    TestContext other;
    ASSERT_TRUE(Reload(other));
    EXPECT_EQ(other.app.Settings.TaskCount, 2);
    EXPECT_EQ(other.app.Tasks[1].Data + "," + other.app.Tasks[2].Data, "R 1,R 3");
}

TEST_F(StartFileTest, ChannelStationAndPg5Defaults) {
    Write("[Pelkor]\r\nVersion=3\r\n[GoOnline]\r\nStation=21\r\nAutoStation=1\r\nIPAddress=10.0.0."
          "2\r\n");
    int16_t current = -1;
    ASSERT_TRUE(SaveConnectionParameters(t.app, file(), [&](int16_t st) { current = st; }));
    EXPECT_EQ(current, 21);
    EXPECT_EQ(t.app.Settings.Station, 21);
    EXPECT_EQ(Key("Connection", "Station") + Key("Connection", "AutoStation") +
                  Key("Connection", "IPAddress"),
              "21110.0.0.2");

    // The channel is empty: copied only when the PG5 channel is available.
    FakePg5 pg5;
    t.app.Pg5 = &pg5;
    t.app.Status.PG5Available = 0;
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_TRUE(pg5.files.empty());
    t.app.Status.PG5Available = 1;
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    EXPECT_EQ(pg5.files, std::vector<std::string>{file()});
    EXPECT_EQ(Key("GoOnline", "Channel"), "PGU");
    t.app.Pg5 = nullptr;
    EXPECT_TRUE(CopyPg5DefaultsIfAvailable(t.app, file()));
    EXPECT_TRUE(t.ui.Messages().empty());

    ::chmod(file().c_str(), 0444);
    EXPECT_FALSE(SaveConnectionParameters(t.app, file()));
    EXPECT_EQ(
        t.ui.LastMessage()->Text.rfind("SaveConnectionParameters function error : Cannot write", 0),
        0u);
    EXPECT_EQ(t.ui.LastStatusLine().rfind("SaveConnectionParameters Error : " + file() + " - ", 0),
              0u);
}

TEST_F(StartFileTest, TasksAfterTheFirstLackingKeysLoadAsZeroNotAsDefaults) {
    Write("[Pelkor]\r\nVersion=3\r\nTask=2\r\n[Task1]\r\nData=R "
          "1\r\nFileType=CSV\r\n[Task2]\r\nData=R 2\r\nFileType=CSV\r\n");
    ASSERT_TRUE(ReadPelkorStartFile(t.app));
    const Task& t1 = t.app.Tasks[1];
    const Task& t2 = t.app.Tasks[2];
    EXPECT_EQ(std::to_string(t1.ReadInterval) + t1.FileName +
                  std::to_string(t1.FileIndex + t1.TimeStamp),
              "60PCD_Data1");
    EXPECT_EQ(std::to_string(t2.ReadInterval) + t2.FileName +
                  std::to_string(t2.FileIndex + t2.TimeStamp),
              "00");
    ASSERT_TRUE(WriteStartFileTask(t.app, 2, 2));
    EXPECT_EQ(Key("Task2", "ReadInterval") + Key("Task2", "FileIndex"), "00");
}

} // namespace
} // namespace pelkor
