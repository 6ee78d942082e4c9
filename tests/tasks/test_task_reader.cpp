// The reader of one task against a fake connection manager: values and
// missing fields, station handling and its log lines, storing, the DDE feed,
// totals, and SetResources.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "log/LogEvents.h"
#include "support/ResourceEntries.h"
#include "support/TestContext.h"
#include "tasks/FakePcd.h"
#include "tasks/Resources.h"
#include "tasks/TaskEngine.h"
#include "util/DateTime.h"

namespace pelkor {
namespace {

using testing::FakeDde;
using testing::FakePcd;

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1))
        ++n;
    return n;
}

class ReaderTest : public ::testing::Test {
protected:
    TestContext ctx;
    AppContext& app = ctx.app;
    FakePcd pcd{app};
    FakeDde dde;
    TaskEngine engine{app, pcd};

    ReaderTest() {
        engine.AddReadingObserver(&dde);
        engine.SetProgressPause(0);
        SetLogFolder(app.Settings, ctx.dir.path());
        app.Settings.LogUsed = 1;
        app.Status.Connected = 1;
    }
    Task& Setup(const std::string& data, const std::string& type = "None", int n = 1) {
        Task& t = app.Tasks[n];
        t.Data = data;
        t.FileType = type;
        t.OutFolder = ctx.dir.path();
        t.FileIndex = 0;
        t.TimeStamp = 0;
        EXPECT_TRUE(ParseTaskResources(app, n)) << app.Status.LastErrorText;
        return t;
    }
    bool Read(int n = 1) { return engine.ReadPCDValues(n, false); }
    std::string Log() { return ReadAll(app.Settings.LogFile); }
};

TEST_F(ReaderTest, ValuesOfEveryKindInListOrder) {
    Task& t = Setup("R 100 [3], F 4 [2], I 7 [2], CLK");
    pcd.ClockValue = DateFromParts(2026, 12, 6, 8, 30, 0);
    ASSERT_TRUE(Read());
    EXPECT_EQ(t.LastValues, "1100;1101;1102;0;1;0;1;" + GeneralDateText(pcd.ClockValue));
    EXPECT_EQ(t.ReadMissing, 0);
    EXPECT_EQ(t.StationCount, 1);
    EXPECT_EQ(t.FailedStations, 0);
    EXPECT_EQ(t.LastMessage.rfind("Read : K ", 0), 0u);
    EXPECT_EQ(t.TaskError, "");
    EXPECT_EQ(
        ctx.ui.ReadLog().rfind("Task 1 Read : R 100  [3] - OK\r\nTask 1 Read : F 4  [2] - OK", 0),
        0u)
        << ctx.ui.ReadLog();
    EXPECT_EQ(ctx.ui.LastStatusLine(), "Data reading without errors.");
    EXPECT_EQ(ctx.ui.ConnectionCaption(), "PCD Connected");
    EXPECT_EQ(ctx.ui.ProgressMaximum(), 5);
    EXPECT_FALSE(ctx.ui.BusyCursor());
    ASSERT_EQ(dde.Posted.size(), 1u) << "FileType None still feeds the DDE service";
    EXPECT_EQ(dde.Posted[0], t.LastValues);
    EXPECT_EQ(app.Status.TotalPackets, 1);
    EXPECT_EQ(app.Status.WriteCounter, 1);
}

TEST_F(ReaderTest, FailedEntryKeepsItsWidthOfEmptyFields) {
    Task& t = Setup("R 1 [2], R 50 [3], F 0 [1]");
    pcd.FailAddresses = {50};
    ASSERT_TRUE(Read()) << "a failed entry does not stop the reading";
    EXPECT_EQ(t.LastValues, "1001;1002;;;;0");
    EXPECT_EQ(t.ReadMissing, 3);
    EXPECT_EQ(t.StationCount, 1) << "a read failure is not a station failure";
    EXPECT_EQ(t.FailedStations, 0);
    EXPECT_EQ(t.TaskError, "Read STN 0 R 50 failed : No response");
    EXPECT_NE(Log().find("Read STN 0 R 50 failed : No response"), std::string::npos);
    EXPECT_EQ(app.Status.MissingValues, 3);

    // The clock through the built-in library is a failure of one field.
    Task& c = Setup("CLK, R 1 [1]", "None", 2);
    ASSERT_TRUE(engine.ReadPCDValues(2, false));
    EXPECT_EQ(c.LastValues, ";1001");
    EXPECT_EQ(c.TaskError, "Read STN 0 Clock failed : Function not supported by the local DLL");
}

TEST_F(ReaderTest, CountZeroEntriesLeaveNoFieldsAndNoLines) {
    Task& t = Setup("R 1 [2]");
    // An entry with count 0 in the middle, as the parser leaves a
    // non-numeric address.
    t.ResourceCount = 3;
    t.Resources = {MakeEntry('R', 2, 1), MakeEntry('R', 0, 0), MakeEntry('F', 1, 3)};
    ASSERT_TRUE(Read());
    EXPECT_EQ(t.LastValues, "1001;1002;1");
    EXPECT_EQ(Count(ctx.ui.ReadLog(), "Task 1 Read"), 2u);
    EXPECT_EQ(Log().find("has no PCD variable"), std::string::npos);
    // A grid row left without a variable is skipped with a log line.
    t.Resources[1].Kind = '\0';
    ASSERT_TRUE(Read());
    EXPECT_EQ(t.LastValues, "1001;1002;1");
    EXPECT_NE(Log().find("Task 1 : entry 2 has no PCD variable, skipped."), std::string::npos);
}

TEST_F(ReaderTest, ConnectFailedDuringTheReadEmptiesTheRestButStores) {
    Task& t = Setup("R 1 [1], R 2 [2], R 3 [1]", "CSV");
    t.FileName = "cf";
    int events = 0;
    ctx.ui.OnProcessEvents = [&] {
        // Something handled between entries reports a failed connect.
        if (++events == 4) pcd.Failed = true;
    };
    ASSERT_TRUE(Read());
    EXPECT_EQ(t.LastValues, "1001;;;");
    EXPECT_EQ(t.ReadMissing, 3);
    EXPECT_EQ(ReadAll(ctx.dir.file("cf.csv")), "1001;;;\r\n");
    EXPECT_EQ(t.TaskError, "") << "no message for entries skipped this way";
}

TEST_F(ReaderTest, StopDuringTheReadingLeavesTheFrameDisconnected) {
    Setup("R 1 [1], R 2 [2]");
    bool stopped = false;
    ctx.ui.OnProcessEvents = [&] {
        // Stop pressed once: the connection manager ends the reading, closes and says so.
        if (!app.Status.ReadingActive || std::exchange(stopped, true)) return;
        pcd.Failed = true;
        app.Status.Connected = 0;
        ctx.ui.SetConnectionFrame("PCD disconnected", UiColour::Red);
    };
    Read();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(ctx.ui.ConnectionCaption(), "PCD disconnected");
    EXPECT_EQ(ctx.ui.ConnectionColour(), UiColour::Red);
    EXPECT_EQ(ctx.ui.TaskLabel(), "1");
}

TEST_F(ReaderTest, UnreachableStationIsLoggedOnceAndRestoredOnce) {
    Task& t = Setup("R 1 [1], STN 7 R 2 [2]", "CSV");
    t.FileName = "st";
    pcd.Answering = {0, 7};
    ASSERT_TRUE(Read());
    for (int k = 0; k < 3; ++k) {
        pcd.Answering = {0};
        pcd.Station = 0;
        ASSERT_TRUE(Read());
        EXPECT_EQ(t.LastValues, "1001;;");
        EXPECT_EQ(t.StationCount, 2);
        EXPECT_EQ(t.FailedStations, 1);
        EXPECT_EQ(ctx.ui.ConnectionCaption(), "PCD Connected  ( 1 of 2 stations )");
        EXPECT_EQ(ctx.ui.ConnectionColour(), UiColour::Magenta);
    }
    pcd.Answering = {0, 7};
    pcd.Station = 0;
    ASSERT_TRUE(Read());
    EXPECT_EQ(t.LastValues, "1001;1002;1003");
    EXPECT_EQ(ctx.ui.ConnectionCaption(), "PCD Connected  ( 2 of 2 stations )");
    pcd.Station = 0;
    ASSERT_TRUE(Read());

    const std::string log = Log();
    EXPECT_EQ(Count(log, "Task 1 - Connection with PCD station 7 failed !"), 1u) << log;
    EXPECT_EQ(Count(log, "Task 1 - Connection with PCD station 7 restored."), 1u) << log;
    // Each failing reading still reports its own entry as a task message.
    EXPECT_EQ(Count(log, "Read : R 2  [2] - Failed : No connection with PCD station 7"), 3u);
    EXPECT_EQ(
        ReadAll(ctx.dir.file("st.csv")),
        "1001;1002;1003\r\n1001;;\r\n1001;;\r\n1001;;\r\n1001;1002;1003\r\n1001;1002;1003\r\n");
}

// A station whose status answers again while its reads still fail is not
// restored yet, and a reading with missing values is not "without errors".
TEST_F(ReaderTest, RestoredOnlyAfterAReadSucceeds) {
    Task& t = Setup("STN 7 R 2 [1]");
    pcd.Answering = {0};
    ASSERT_TRUE(Read());
    pcd.Answering = {0, 7};
    pcd.ReadFails = {7};
    pcd.ReadFailText = "COM port failed";
    ASSERT_TRUE(Read());
    EXPECT_EQ(t.ReadMissing, 1);
    EXPECT_EQ(Count(Log(), "restored."), 0u) << Log();
    EXPECT_NE(ctx.ui.LastStatusLine(), "Data reading without errors.");
    pcd.ReadFails.clear();
    ASSERT_TRUE(Read());
    EXPECT_EQ(Count(Log(), "Task 1 - Connection with PCD station 7 restored."), 1u) << Log();
    EXPECT_EQ(ctx.ui.LastStatusLine(), "Data reading without errors.");
}

// A reading due just before midnight and written just after goes into the
// file of the day it was due.
TEST_F(ReaderTest, RecordGoesIntoTheFileOfItsOwnPeriod) {
    Task& t = Setup("R 1 [1]", "CSV");
    t.FileName = "day";
    t.FileIndex = 1;
    t.FileNew = 0;
    t.NextRead = DateFromParts(2026, 12, 6, 23, 59, 58);
    ctx.clock.Set(DateFromParts(2026, 12, 7, 0, 0, 1));
    ASSERT_TRUE(Read()) << app.Status.LastErrorText;
    EXPECT_TRUE(std::filesystem::exists(ctx.dir.file("day_D061226.csv")));
    EXPECT_FALSE(std::filesystem::exists(ctx.dir.file("day_D071226.csv")));
}

TEST_F(ReaderTest, OpenStationThatStopsAnsweringFailsItsStatusCheck) {
    Task& t = Setup("R 1 [1], R 2 [1]");
    pcd.Answering = {};
    ASSERT_TRUE(Read());
    EXPECT_EQ(t.LastValues, ";");
    EXPECT_EQ(t.StationCount, 2) << "the failed station stays unaddressed, each entry counts";
    EXPECT_EQ(t.FailedStations, 2);
    EXPECT_NE(ctx.ui.ReadLog().find("\r\nTask 1 Connection with PCD station 0 failed !"),
              std::string::npos);
    EXPECT_NE(ctx.ui.ReadLog().find(" - 2 Packet Data Read Failed\r\n - 0 Packet Data Read OK"),
              std::string::npos);
    EXPECT_EQ(Count(Log(), "Task 1 Connection with PCD station 0 failed !"), 2u)
        << "once per entry";
}

TEST_F(ReaderTest, PguModeRefusesAStationChangeAndBadStationIsRefused) {
    Task& t = Setup("R 1 [1], STN 3 R 2 [1]");
    pcd.Pgu = true;
    pcd.Answering = {0, 3};
    ASSERT_TRUE(Read());
    EXPECT_EQ(t.LastValues, "1001;");
    EXPECT_EQ(t.TaskError, "Read : R 2  [1] - Error : SBus Station Change not allowed in PGU.");

    pcd.Pgu = false;
    t.Resources[1].Station = -2;
    ASSERT_TRUE(Read());
    EXPECT_EQ(t.LastValues, "1001;");
    EXPECT_NE(Log().find("Task 1 - Connection with PCD aborted, bad station : -2"),
              std::string::npos);
}

TEST_F(ReaderTest, CsvRecordsGoToTheComposedPathWithTheirStamp) {
    Task& t = Setup("R 5 [2]", "CSV");
    t.FileName = "log";
    t.TimeStamp = 1;
    t.NextRead = DateFromParts(2026, 12, 6, 10, 15, 0);
    ASSERT_TRUE(Read());
    EXPECT_EQ(t.OutputPath, ctx.dir.file("log.csv"));
    EXPECT_EQ(ReadAll(t.OutputPath), GeneralDateText(t.NextRead) + ";1005;1006\r\n");
    EXPECT_EQ(t.RowsWritten, 1);
    EXPECT_NE(ctx.ui.ReadLog().find("\r\nWrite Data to : " + t.OutputPath), std::string::npos);

    // On demand the stamp is the time of the reading.
    ASSERT_TRUE(engine.ReadPCDValues(1, false, true));
    EXPECT_EQ(Count(ReadAll(t.OutputPath), GeneralDateText(ctx.clock.Now()) + ";1005;1006\r\n"),
              1u);

    // A file emptied meanwhile restarts the count.
    std::ofstream(t.OutputPath, std::ios::trunc).close();
    t.RowsWritten = 55;
    ASSERT_TRUE(Read());
    EXPECT_EQ(t.RowsWritten, 1);
}

TEST_F(ReaderTest, WriteFailureIsReportedAndNotCounted) {
    Task& t = Setup("R 5 [1]", "CSV");
    t.FileName = "x";
    std::filesystem::create_directory(ctx.dir.file("x.csv")); // a folder where the file should be
    app.Status.EditTask = 1;
    EXPECT_FALSE(Read());
    EXPECT_EQ(app.Status.LastErrorText, "Writing data in file aborted !");
    EXPECT_EQ(t.LastValues, "Writing data in file aborted !") << "shown in the task editor";
    EXPECT_NE(Log().find("Writing data in file aborted !"), std::string::npos);
    EXPECT_TRUE(dde.Posted.empty());
    EXPECT_EQ(app.Status.TotalPackets, 0);
    EXPECT_FALSE(ctx.ui.BusyCursor());

    t.OutFolder = "/proc/nope/out";
    EXPECT_FALSE(Read());
    EXPECT_EQ(app.Status.LastErrorText, "Bad output file directory: /proc/nope/out");
}

TEST_F(ReaderTest, ObserversHearEveryStoredRecordOnly) {
    struct Recorder : ReadingObserver {
        std::vector<ReadingDoneEvent> Events;
        std::vector<std::string> Records;
        void ReadingDone(const ReadingDoneEvent& e) override {
            Events.push_back(e);
            Records.push_back(e.TaskRecord->LastValues);
        }
    } rec;
    engine.AddReadingObserver(&rec);
    engine.AddReadingObserver(&rec); // once only
    Task& t = Setup("R 5 [2]", "CSV");
    t.FileName = "x";
    t.NextRead = DateFromParts(2026, 12, 6, 8, 0, 0);
    ASSERT_TRUE(Read());
    ASSERT_EQ(rec.Events.size(), 1u);
    EXPECT_EQ(rec.Events[0].TaskNumber, 1);
    EXPECT_EQ(rec.Events[0].Stamp, t.NextRead);
    EXPECT_EQ(rec.Records[0], "1005;1006");

    std::filesystem::remove(ctx.dir.file("x.csv"));
    std::filesystem::create_directory(ctx.dir.file("x.csv")); // the store fails
    EXPECT_FALSE(Read());
    EXPECT_EQ(rec.Events.size(), 1u) << "a record not stored is not announced";
    engine.RemoveReadingObserver(&rec);
    std::filesystem::remove(ctx.dir.file("x.csv"));
    ASSERT_TRUE(Read());
    EXPECT_EQ(rec.Events.size(), 1u);
}

TEST_F(ReaderTest, TheReaderReadsTheTaskItIsGivenNotCurrentTask) {
    Task& one = Setup("R 1 [1]");
    Task& two = Setup("R 2 [1]", "None", 2);
    app.Status.CurrentTask = 2;
    ASSERT_TRUE(engine.ReadTaskValues(1));
    EXPECT_EQ(one.LastValues, "1001");
    EXPECT_EQ(two.LastValues, "");
    EXPECT_EQ(app.Status.CurrentTask, 2);
}

TEST_F(ReaderTest, FailedStoreWritesTheErrorIntoTheFailingTaskOnly) {
    app.Settings.TaskCount = 2;
    Task& shown = Setup("R 5 [1]", "CSV", 1);
    shown.FileName = "one";
    ASSERT_TRUE(Read(1));
    const std::string served = shown.LastValues;
    Task& failing = Setup("R 6 [1]", "CSV", 2);
    failing.FileName = "two";
    std::filesystem::create_directory(ctx.dir.file("two.csv"));
    app.Status.EditTask = 1;
    app.Status.EditorOpen = 1;
    EXPECT_FALSE(Read(2));
    EXPECT_EQ(shown.LastValues, served);
    EXPECT_EQ(failing.LastValues, "Writing data in file aborted !");
    app.Status.EditTask = 2;
    EXPECT_FALSE(Read(2));
    EXPECT_EQ(ctx.ui.EditorDataReadRefreshes(), std::vector<int>({2}))
        << "shown when it is the editor's task";
}

TEST_F(ReaderTest, SingleShotWriteFailureClosesAndStillFailsTheJob) {
    app.Settings.SingleShot = 1;
    app.Settings.TaskCount = 2;
    Task& bad = Setup("R 5 [1]", "CSV", 1);
    bad.FileName = "x";
    std::filesystem::create_directory(ctx.dir.file("x.csv"));
    Task& good = Setup("R 6 [1]", "CSV", 2);
    good.FileName = "y";
    app.Status.AutoConnectActive = 1;
    for (int i = 1; i <= 2; ++i)
        engine.SetFirstReading(i);
    engine.RunHiddenSingleShot();
    EXPECT_NE(ctx.ui.ReadLog().find("\r\nError : Writing data in file aborted !"),
              std::string::npos);
    EXPECT_EQ(ctx.ui.ConnectionCaption().empty(), false);
    EXPECT_NE(Log().find("Task 2 - Data have been read and saved in the file : " + good.OutputPath),
              std::string::npos);
    // Task 2 went well after task 1's failure; the job as a whole did not.
    EXPECT_EQ(engine.ExitStatus(), 1);
    ASSERT_FALSE(ctx.ui.Messages().empty());
    EXPECT_NE(ctx.ui.Messages().back().Text.find("Writing data in file aborted !"),
              std::string::npos);
}

TEST_F(ReaderTest, SetResourcesParsesAndReportsBadLists) {
    Task& t = app.Tasks[1];
    t.Data = "r 1 [4]; f 2 [3]";
    bool ok = false;
    engine.SetResources(1, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(t.ResourceCount, 2);
    EXPECT_EQ(t.AddressCount, 7);

    t.Data = "R 1 [30000], R 2 [30000]"; // more values than a table can count
    engine.SetResources(1, ok);
    EXPECT_FALSE(ok);
    ASSERT_EQ(ctx.ui.Messages().size(), 1u);
    EXPECT_EQ(ctx.ui.Messages()[0].Text.rfind("SetResources function error : ", 0), 0u);
    EXPECT_EQ(ctx.ui.Messages()[0].Icon, MsgIcon::Critical);

    // A resource workbook that cannot be read is reported, not ignored.
    std::ofstream(ctx.dir.file("list.xls")) << "not a workbook";
    t.DataFile = ctx.dir.file("list.xls");
    t.DataCell = "A1:A3";
    engine.SetResources(1, ok);
    EXPECT_FALSE(ok);
    ASSERT_EQ(ctx.ui.Messages().size(), 2u);
    EXPECT_EQ(ctx.ui.Messages()[1].Text.rfind("SetResources function error : ", 0), 0u);
}

} // namespace
} // namespace pelkor
