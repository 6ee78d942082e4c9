// The scheduler on a manual clock: first readings, the pass over the table,
// replanning, the choice of the next task and the end of a single-shot job.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "log/LogEvents.h"
#include "support/TestContext.h"
#include "tasks/FakePcd.h"
#include "tasks/Resources.h"
#include "tasks/TaskEngine.h"
#include "util/DateTime.h"

namespace pelkor {
namespace {

using testing::FakePcd;

constexpr Date Sec = 1.0 / 86400.0;

class SchedulerTest : public ::testing::Test {
protected:
    TestContext ctx;
    AppContext& app = ctx.app;
    FakePcd pcd{app};
    TaskEngine engine{app, pcd};

    SchedulerTest() {
        engine.SetProgressPause(0);
        SetLogFolder(app.Settings, ctx.dir.path());
        app.Settings.LogUsed = 1;
        app.Status.Connected = 1;
    }

    // A task that reads one register, writes no file.
    Task& AddTask(int n, int unit, int interval) {
        app.Settings.TaskCount = static_cast<int16_t>(std::max<int>(app.Settings.TaskCount, n));
        Task& t = app.Tasks[n];
        t.IntervalUnit = static_cast<int16_t>(unit);
        t.ReadInterval = interval;
        t.FileType = "None";
        t.Data = "R 10 [1]";
        EXPECT_TRUE(ParseTaskResources(app, n)) << app.Status.LastErrorText;
        return t;
    }
    void At(int h, int m, double s, int day = 6) {
        ctx.clock.Set(DateFromParts(2026, 12, day, h, m, s));
    }
    static Date T(int h, int m, double s, int day = 6) {
        return DateFromParts(2026, 12, day, h, m, s);
    }
    std::string Log() {
        std::ifstream in(app.Settings.LogFile, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Runs passes every `step` seconds until `until`; returns readings done.
    int RunUntil(Date until, double step = 1) {
        const int before = app.Status.WriteCounter;
        for (int guard = 0; guard < 200000 && ctx.clock.Now() < until; ++guard) {
            engine.CheckDueTasks();
            ctx.clock.AdvanceSeconds(step);
        }
        return app.Status.WriteCounter - before;
    }
};

TEST_F(SchedulerTest, FirstReadingIsTheNextPeriodBoundaryCountedFromMidnight) {
    Task& t = AddTask(1, 1, 15);
    At(10, 7, 30);
    engine.SetFirstReading(1);
    EXPECT_DOUBLE_EQ(t.NextRead, T(10, 15, 0));
    EXPECT_DOUBLE_EQ(t.Period, 15.0 / 1440);

    AddTask(2, 0, 7);
    At(0, 0, 3);
    engine.SetFirstReading(2);
    EXPECT_DOUBLE_EQ(app.Tasks[2].NextRead, T(0, 0, 7));

    // Exactly on a boundary: the next one, never the current second.
    AddTask(3, 0, 60);
    At(10, 0, 0);
    engine.SetFirstReading(3);
    EXPECT_DOUBLE_EQ(app.Tasks[3].NextRead, T(10, 1, 0));

    AddTask(4, 2, 2);
    At(13, 59, 59.6);
    engine.SetFirstReading(4);
    EXPECT_DOUBLE_EQ(app.Tasks[4].NextRead, T(14, 0, 0));
    EXPECT_DOUBLE_EQ(app.Tasks[4].Period, 2.0 / 24);
}

TEST_F(SchedulerTest, DaysUnitReadsAtReadHourTodayOrTomorrow) {
    Task& t = AddTask(1, 3, 1);
    t.ReadHour = 0.25; // 06:00
    At(7, 0, 0);
    engine.SetFirstReading(1);
    EXPECT_DOUBLE_EQ(t.NextRead, T(6, 0, 0, 7));
    EXPECT_DOUBLE_EQ(t.Period, 1);
    At(5, 0, 0);
    engine.SetFirstReading(1);
    EXPECT_DOUBLE_EQ(t.NextRead, T(6, 0, 0));
    At(6, 0, 0);
    engine.SetFirstReading(1);
    EXPECT_DOUBLE_EQ(t.NextRead, T(6, 0, 0));
    engine.CheckDueTasks();
    EXPECT_EQ(app.Status.WriteCounter, 1) << "due at once";
    EXPECT_DOUBLE_EQ(t.NextRead, T(6, 0, 0, 7));

    // Whole seconds count: within the ReadHour second it is still today.
    At(6, 0, 0.3);
    engine.SetFirstReading(1);
    EXPECT_DOUBLE_EQ(t.NextRead, T(6, 0, 0));
    At(6, 0, 1);
    engine.SetFirstReading(1);
    EXPECT_DOUBLE_EQ(t.NextRead, T(6, 0, 0, 7));

    // A ReadHour that carries a date still means a time of day.
    t.ReadHour = DateFromParts(2020, 1, 1, 6, 0, 0);
    At(5, 0, 0);
    engine.SetFirstReading(1);
    EXPECT_DOUBLE_EQ(t.NextRead, T(6, 0, 0));
}

TEST_F(SchedulerTest, UnknownUnitKeepsPeriodAndSingleShotPlansNow) {
    Task& t = AddTask(1, 0, 0);
    At(9, 0, 0);
    t.NextRead = 0;
    engine.SetFirstReading(1);
    EXPECT_EQ(t.NextRead, 0) << "no period: not scheduled";

    t.IntervalUnit = 7;
    t.Period = 0.5;
    t.ReadHour = 0.5;
    engine.SetFirstReading(1);
    EXPECT_DOUBLE_EQ(t.Period, 0.5);
    EXPECT_DOUBLE_EQ(t.NextRead, T(12, 0, 0));

    app.Settings.SingleShot = 1;
    t.Period = 0.25;
    engine.SetFirstReading(1);
    EXPECT_DOUBLE_EQ(t.NextRead, ctx.clock.Now());
    EXPECT_DOUBLE_EQ(t.Period, 0.25);
}

TEST_F(SchedulerTest, ADayOfFifteenMinuteReadingsHitsEveryBoundaryOnce) {
    Task& t = AddTask(1, 1, 15);
    At(10, 7, 30);
    engine.SetFirstReading(1);
    std::vector<Date> stamps;
    pcd.DuringRead = [&] { stamps.push_back(ctx.clock.Now()); };
    const int readings = RunUntil(T(10, 7, 30, 7), 0.25 * 4);
    EXPECT_EQ(readings, 96);
    ASSERT_EQ(stamps.size(), 96u);
    EXPECT_NEAR(stamps.front(), T(10, 15, 0), 0.5 * Sec);
    EXPECT_NEAR(stamps[1], T(10, 30, 0), 0.5 * Sec);
    EXPECT_NEAR(stamps.back(), T(10, 0, 0, 7), 0.5 * Sec);
    EXPECT_DOUBLE_EQ(t.NextRead, T(10, 15, 0, 7));
    EXPECT_EQ(Log().find("out-dated"), std::string::npos);
}

TEST_F(SchedulerTest, SlowReadingIsLoggedOutDatedAndReplannedFromNow) {
    Task& t = AddTask(1, 0, 7);
    At(0, 0, 3);
    engine.SetFirstReading(1);
    pcd.DuringRead = [&] { ctx.clock.AdvanceSeconds(20); }; // reading takes 20 s
    At(0, 0, 7);
    engine.CheckDueTasks();
    // The pass compares against its own start (00:00:07): 00:00:14 is not
    // before it, so the first slow reading is caught only at the next pass.
    EXPECT_DOUBLE_EQ(t.NextRead, T(0, 0, 14));
    engine.CheckDueTasks(); // now 00:00:27, NextRead 00:00:21 after reading
    const std::string log = Log();
    EXPECT_NE(log.find("Reading at " + ShortDateLongTime(T(0, 0, 21)) +
                       " aborted: reading time out-dated !"),
              std::string::npos)
        << log;
    // Replanned on the next boundary after the current time (00:00:47).
    EXPECT_DOUBLE_EQ(t.NextRead, T(0, 0, 49));
    EXPECT_EQ(app.Status.WriteCounter, 2) << "missed periods are not caught up";
}

TEST_F(SchedulerTest, ClockGoingBackReplansButAShortWaitDoesNot) {
    Task& t = AddTask(1, 1, 15);
    At(10, 7, 30);
    engine.SetFirstReading(1);
    At(10, 7, 0); // half a minute back: still within one period
    engine.CheckDueTasks();
    EXPECT_DOUBLE_EQ(t.NextRead, T(10, 15, 0));
    At(8, 1, 0); // two hours back
    engine.CheckDueTasks();
    EXPECT_DOUBLE_EQ(t.NextRead, T(8, 15, 0));
    EXPECT_EQ(app.Status.WriteCounter, 0);
}

TEST_F(SchedulerTest, NextTaskIsTheEarliestEnabledLowerNumberOnTies) {
    AddTask(1, 0, 60).Disabled = 1;
    AddTask(2, 0, 60);
    AddTask(3, 0, 60);
    AddTask(4, 0, 60);
    At(9, 0, 10);
    for (int i = 1; i <= 4; ++i)
        engine.SetFirstReading(i);
    app.Tasks[1].NextRead = T(9, 0, 30); // earliest, but disabled
    app.Tasks[4].NextRead = DateFromParts(2999, 1, 1);
    bool found = false;
    engine.SearchNextTaskToRead(true, found);
    EXPECT_FALSE(found);
    EXPECT_EQ(app.Status.NextTask, 2);
    EXPECT_EQ(app.Status.CurrentTask, 2);
    EXPECT_EQ(ctx.ui.TaskLabel(), "2");
    EXPECT_EQ(ctx.ui.NextLabel(), GeneralDateText(T(9, 1, 0)));

    // Planned on or after 1 January 2999: never shown.
    app.Tasks[2].Disabled = app.Tasks[3].Disabled = 1;
    engine.SearchNextTaskToRead(true, found);
    EXPECT_EQ(app.Status.NextTask, 0);
    EXPECT_EQ(ctx.ui.NextLabel(), "No Enabled Task");
    EXPECT_EQ(ctx.ui.TaskLabel(), "");
}

TEST_F(SchedulerTest, DueSearchIsCyclicFromTheTaskAfterNextTask) {
    for (int i = 1; i <= 4; ++i)
        AddTask(i, 0, 60).NextRead = T(11, 0, 0);
    At(12, 0, 0);
    app.Status.NextTask = 2;
    ctx.ui.SetNextLabel("unchanged");
    bool found = false;
    engine.SearchNextTaskToRead(false, found);
    EXPECT_TRUE(found);
    EXPECT_EQ(app.Status.NextTask, 3);
    EXPECT_EQ(ctx.ui.NextLabel(), "unchanged") << "a found due task does not refresh the display";
    app.Status.NextTask = 4;
    engine.SearchNextTaskToRead(false, found);
    EXPECT_EQ(app.Status.NextTask, 1);

    // A single task: NextTask is 1 when it is enabled, whatever is due.
    app.Settings.TaskCount = 1;
    found = false;
    engine.SearchNextTaskToRead(false, found);
    EXPECT_FALSE(found);
    EXPECT_EQ(app.Status.NextTask, 1);
    app.Tasks[1].Disabled = 1;
    engine.SearchNextTaskToRead(false, found);
    EXPECT_EQ(app.Status.NextTask, 0);
    EXPECT_EQ(ctx.ui.NextLabel(), "No Enabled Task");
}

TEST_F(SchedulerTest, PassReadsEveryDueTaskOnceInTableOrder) {
    std::vector<int> order;
    for (int i = 1; i <= 3; ++i)
        AddTask(i, 0, 10);
    pcd.DuringRead = [&] { order.push_back(app.Status.CurrentTask); };
    At(8, 0, 0);
    for (int i = 1; i <= 3; ++i)
        engine.SetFirstReading(i);
    app.Tasks[2].Disabled = 1;
    At(8, 0, 10);
    engine.CheckDueTasks();
    EXPECT_EQ(order, (std::vector<int>{1, 3}));
    EXPECT_DOUBLE_EQ(app.Tasks[2].NextRead, T(8, 0, 20)) << "a disabled task moves on unread";
    EXPECT_EQ(app.Status.NextTask, 1);
    EXPECT_EQ(ctx.ui.NextLabel(), GeneralDateText(T(8, 0, 20)));
}

TEST_F(SchedulerTest, ManualReadingOrAnUnscheduledTaskMeansNoReading) {
    AddTask(1, 0, 10);
    At(8, 0, 0);
    engine.SetFirstReading(1);
    At(8, 0, 30);
    app.Status.ManualReading = 1;
    engine.CheckDueTasks();
    EXPECT_EQ(pcd.Reads, 0);
    app.Status.ManualReading = 0;
    app.Tasks[1].NextRead = 0;
    engine.CheckDueTasks();
    EXPECT_EQ(pcd.Reads, 0);
}

TEST_F(SchedulerTest, ZeroPeriodsAndStaleDisabledTasksDoNotStallThePass) {
    Task& days = AddTask(1, 3, 0); // "Days" with interval 0: no period at all
    days.ReadHour = 0.5;
    Task& off = AddTask(2, 0, 1);
    off.Disabled = 1;
    AddTask(3, 0, 1);
    At(12, 0, 0);
    for (int i = 1; i <= 3; ++i)
        engine.SetFirstReading(i);
    EXPECT_DOUBLE_EQ(days.NextRead, 0) << "no period: not planned";
    off.NextRead = T(12, 0, 0, 1); // five days behind, one-second period
    app.Tasks[3].NextRead = ctx.clock.Now();
    engine.CheckDueTasks();
    EXPECT_EQ(pcd.Reads, 1) << "each due task read once";
    EXPECT_GT(off.NextRead, ctx.clock.Now());
    ctx.clock.AdvanceSeconds(1);
    engine.CheckDueTasks();
    EXPECT_DOUBLE_EQ(days.NextRead, 0);
}

TEST_F(SchedulerTest, ATaskWithoutReadIntervalIsNeverPlannedAndSaysSoOnce) {
    AddTask(1, 0, 0);
    AddTask(2, 1, 10);
    At(8, 0, 0);
    for (int k = 0; k < 2; ++k)
        engine.SetFirstReading(1);
    engine.SetFirstReading(2);
    bool found = false;
    engine.SearchNextTaskToRead(true, found);
    EXPECT_EQ(app.Status.NextTask, 2);
    EXPECT_EQ(RunUntil(T(8, 0, 5), 0.25), 0);
    EXPECT_EQ(app.Tasks[1].TaskError, "Task 1 : no read interval, not read");
    const std::string log = Log();
    EXPECT_EQ(log.find("Task 1 : no read interval, not read"),
              log.rfind("Task 1 : no read interval, not read"));
    EXPECT_NE(log.find("Task 1 : no read interval, not read"), std::string::npos);
    EXPECT_EQ(log.find("out-dated"), std::string::npos);
}

TEST_F(SchedulerTest, DueTaskWithoutConnectionConnectsOnlyWhenAutoConnectOrPending) {
    app.Status.Connected = 0;
    AddTask(1, 0, 10);
    At(8, 0, 0);
    engine.SetFirstReading(1);
    At(8, 0, 10);
    engine.CheckDueTasks();
    EXPECT_EQ(pcd.Connects, 0);
    EXPECT_EQ(pcd.Reads, 0);
    EXPECT_DOUBLE_EQ(app.Tasks[1].NextRead, T(8, 0, 20)) << "the reading is skipped, not retried";

    pcd.Pending = true;
    At(8, 0, 20);
    engine.CheckDueTasks();
    EXPECT_EQ(pcd.Connects, 1);
    EXPECT_EQ(pcd.Reads, 1);

    pcd.Pending = false;
    app.Status.AutoConnectActive = 1;
    pcd.Disconnect();
    pcd.ConnectSucceeds = false;
    At(8, 0, 30);
    engine.CheckDueTasks();
    EXPECT_EQ(pcd.Connects, 2);
    EXPECT_EQ(pcd.Reads, 1);
}

TEST_F(SchedulerTest, EveryTwelfthVisitChecksTheConnectionAfterADueTask) {
    for (int i = 1; i <= 4; ++i)
        AddTask(i, 0, 10);
    At(8, 0, 0);
    for (int i = 1; i <= 4; ++i)
        engine.SetFirstReading(i);
    At(8, 0, 5);
    engine.CheckDueTasks();
    engine.CheckDueTasks(); // 8 visits, nothing due
    EXPECT_EQ(engine.ReconnectCounter(), 8);
    const int before = pcd.StatusChecks;
    At(8, 0, 10);
    engine.CheckDueTasks(); // visit 12 wraps with due tasks in the pass
    EXPECT_EQ(engine.ReconnectCounter(), 0);
    // Four readings of one entry check the status once each, the wrap once more.
    EXPECT_EQ(pcd.StatusChecks - before, 4 + 1);

    // Wrapping in a pass where nothing fell due checks nothing.
    for (int k = 0; k < 2; ++k)
        engine.CheckDueTasks();
    const int checks = pcd.StatusChecks;
    engine.CheckDueTasks();
    EXPECT_EQ(engine.ReconnectCounter(), 0);
    EXPECT_EQ(pcd.StatusChecks, checks);
}

TEST_F(SchedulerTest, TaskWithoutAddressesIsLoggedEachTimeAndNotRead) {
    Task& t = AddTask(1, 0, 10);
    t.Data = "";
    ASSERT_TRUE(ParseTaskResources(app, 1));
    EXPECT_FALSE(engine.ReadPCDValues(1, false));
    EXPECT_NE(Log().find("Task 1 : No Address specified."), std::string::npos);
    EXPECT_EQ(pcd.Reads, 0);
    EXPECT_EQ(app.Status.WriteCounter, 0);

    Task& u = AddTask(2, 0, 10);
    u.Disabled = 1;
    EXPECT_FALSE(engine.ReadPCDValues(2, false));
    EXPECT_EQ(pcd.Reads, 0);
    EXPECT_TRUE(engine.ReadPCDValues(2, true)) << "forced";
    app.Status.ReadingActive = 1;
    EXPECT_FALSE(engine.ReadPCDValues(2, true));
    EXPECT_EQ(pcd.Reads, 1);
    app.Status.ReadingActive = 0;
    app.Status.WriteCounter = 999999998;
    engine.ReadPCDValues(2, true);
    EXPECT_EQ(app.Status.WriteCounter, 0);
}

// ---- single-shot jobs --------------------------------------------------------

class SingleShotTest : public SchedulerTest {
protected:
    SingleShotTest() {
        app.Settings.SingleShot = 1;
        app.Status.AutoConnectActive = 1;
        app.Status.Connected = 0;
    }
    void Plan() {
        for (int i = 1; i <= app.Settings.TaskCount; ++i)
            engine.SetFirstReading(i);
    }
};

TEST_F(SingleShotTest, HiddenRunReadsEachEnabledTaskOnceAndEndsWithStatusZero) {
    for (int i = 1; i <= 3; ++i)
        AddTask(i, 1, 15);
    app.Tasks[2].Disabled = 1;
    Plan();
    engine.RunHiddenSingleShot();
    EXPECT_EQ(pcd.Reads, 2);
    EXPECT_EQ(pcd.Connects, 2) << "disconnected after each task";
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(app.Tasks[i].NextRead, 0);
    EXPECT_TRUE(engine.ExitRequested());
    EXPECT_EQ(engine.ExitStatus(), 0);
    EXPECT_TRUE(ctx.ui.Messages().empty());
    EXPECT_NE(ctx.ui.ReadLog().find("\r\n3 Data Task have been read and saved in file(s).\r\n"),
              std::string::npos);
    EXPECT_NE(Log().find("Stop the application."), std::string::npos);
}

TEST_F(SingleShotTest, HiddenRunWithAFailedPacketReportsOkLineFirstAndFails) {
    AddTask(1, 0, 1);
    Task& t = AddTask(2, 0, 1);
    t.Data = "R 1 [2], STN 9 R 5 [3]";
    ASSERT_TRUE(ParseTaskResources(app, 2));
    Plan();
    engine.RunHiddenSingleShot();
    EXPECT_EQ(app.Status.TotalPackets, 3);
    EXPECT_EQ(app.Status.FailedPackets, 1);
    EXPECT_EQ(app.Status.MissingValues, 3);
    ASSERT_EQ(ctx.ui.Messages().size(), 1u);
    EXPECT_EQ(ctx.ui.Messages()[0].Text, "Pelkor Single Shot failed !\r\r2 Packet Data Read OK\r\n "
                                         "- 1 Packet Data Read Failed ( 3 Missing Values )");
    EXPECT_EQ(ctx.ui.Messages()[0].Title, "Pelkor Error Message.");
    EXPECT_EQ(ctx.ui.Messages()[0].Icon, MsgIcon::Critical);
    EXPECT_EQ(engine.ExitStatus(), 1);
}

TEST_F(SingleShotTest, TimerRunSummaryShowsFailedLineFirstInThePane) {
    AddTask(1, 0, 1);
    Task& t = AddTask(2, 0, 1);
    t.Data = "R 1 [2], STN 9 R 5 [3]";
    ASSERT_TRUE(ParseTaskResources(app, 2));
    Plan();
    engine.StartTimer(1000);
    engine.ConnectTimerTick();
    EXPECT_FALSE(engine.TimerRunning());
    const std::string& pane = ctx.ui.ReadLog();
    const std::string failed =
        " - 1 Packet Data Read Failed ( 3 Missing Values )\r\n - 2 Packet Data Read OK";
    EXPECT_NE(pane.find(std::string(50, '-') +
                        "\r\n2 Data Task have been read and saved in file(s).\r\n" + failed),
              std::string::npos)
        << pane;
    ASSERT_EQ(ctx.ui.Messages().size(), 1u);
    EXPECT_EQ(ctx.ui.Messages()[0].Text, "Pelkor Single Shot failed !\r\r - 2 Packet Data Read "
                                         "OK\r\n - 1 Packet Data Read Failed ( 3 Missing "
                                         "Values )\r\n\rDo you want to see details ?");
    EXPECT_EQ(ctx.ui.Messages()[0].Buttons, MsgButtons::YesNo);
    EXPECT_EQ(ctx.ui.LastStatusLine(), "Stop the application.");
    EXPECT_EQ(ctx.ui.CounterLabel(), "2");
    EXPECT_EQ(engine.ExitStatus(), 1);
}

TEST_F(SingleShotTest, TimerRunAnsweredYesStaysOpenAndCleanRunEndsQuietly) {
    Task& t = AddTask(1, 0, 1);
    t.Data = "STN 9 R 5 [3]";
    ASSERT_TRUE(ParseTaskResources(app, 1));
    pcd.Answering = {0, 9};
    pcd.ReadFails = {9};
    Plan();
    ctx.ui.QueueAnswer(MsgAnswer::Yes);
    engine.ConnectTimerTick();
    EXPECT_FALSE(engine.ExitRequested());
    EXPECT_EQ(engine.ExitStatus(), 1) << "the job failed, whatever the answer";
    EXPECT_EQ(app.Status.LastErrorText, "1 Packet Data Read\r\n - 3 Missing Values.");
}

TEST_F(SingleShotTest, MissingValuesOnlyAndCleanRun) {
    AddTask(1, 0, 1);
    Plan();
    engine.ConnectTimerTick();
    EXPECT_TRUE(ctx.ui.Messages().empty());
    EXPECT_TRUE(engine.ExitRequested());
    EXPECT_EQ(engine.ExitStatus(), 0);
    EXPECT_NE(ctx.ui.ReadLog().find(" - 1 Packet Data Read OK"), std::string::npos);
    bool sawClean = false;
    for (const auto& s : ctx.ui.StatusLines())
        sawClean |= s == "Pelkor Single Shot terminated without error.\r\n";
    EXPECT_TRUE(sawClean);
}

} // namespace
} // namespace pelkor
