// The application object without a line: start-up from a start file, its
// log lines, the "Shutdown" key and the program's options.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "application/PelkorApp.h"
#include "pcd/PelsbusDriver.h"
#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"

namespace pelkor {
namespace {

class AppTest : public ::testing::Test {
protected:
    TempDir dir;
    ScriptedUserInterface ui;
    ManualClock clock{46362.5};
    DlPelsbus driver{{dir.path() + "/no-library-here"}};
    PelkorApp app{ui, clock, dir.path(), driver};

    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = dir.file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string Job(const std::string& pelkor) {
        return "[Pelkor]\nVersion=3\nLogFolder=" + dir.path() + "\nLogUsed=1\nTask=1\n" + pelkor +
               "\n[Connection]\nAutoConnect=0\nStation=1\nDLL=0\n\n[Task1]\nIntervalUnit="
               "1\nReadInterval=15\n"
               "Data=R 0 [2]\nFileType=None\n";
    }
    std::string Log() { return ReadAll(dir.file("Pelkor.txt")); }
};

TEST_F(AppTest, LockedStartFileStartsTheTimerAndPlansTheTasks) {
    const std::string start = Write("job.pelk", Job("Locked=1\nMinimized=0"));
    ASSERT_TRUE(app.Start(start + " PG5=20", dir.path()));
    const std::string log = Log();
    EXPECT_NE(log.find("Pelkor Version "), std::string::npos);
    const auto locked = log.find("Locked start file -> " + start);
    ASSERT_NE(locked, std::string::npos) << log;
    EXPECT_GT(log.find("Application minimized = 0"), locked);
    EXPECT_TRUE(app.Engine().TimerRunning());
    EXPECT_EQ(app.Engine().TimerInterval(), 250);
    EXPECT_EQ(app.App().Tasks[1].AddressCount, 2);
    EXPECT_DOUBLE_EQ(app.App().Tasks[1].NextRead, 46362.5 + 15.0 / 1440);
    EXPECT_EQ(ui.TaskLabel(), "1");
    EXPECT_EQ(ui.Caption(), "Pelkor Application");
    EXPECT_FALSE(app.Ended());
}

TEST_F(AppTest, ShutdownKeyRefusesUserAndProgramClosesButNotTheSystem) {
    const std::string start = Write("job.pelk", Job("Shutdown=1"));
    ASSERT_TRUE(app.Start(start + " PG5=20", dir.path()));
    EXPECT_FALSE(app.RequestClose(PelkorApp::CloseReason::User));
    EXPECT_FALSE(app.RequestClose(PelkorApp::CloseReason::Program));
    ASSERT_NE(ui.LastMessage(), nullptr);
    EXPECT_EQ(ui.LastMessage()->Text, "Shutdown not allowed.");
    EXPECT_EQ(ui.LastMessage()->Icon, MsgIcon::Exclamation);
    EXPECT_FALSE(app.Ended());
    EXPECT_EQ(Log().find("Stop the application."), std::string::npos);

    EXPECT_TRUE(app.RequestClose(PelkorApp::CloseReason::System));
    EXPECT_TRUE(app.Ended());
    EXPECT_NE(Log().find("Stop the application."), std::string::npos);
    EXPECT_EQ(app.ExitStatus(), 0);
}

TEST_F(AppTest, WithoutShutdownTheUserMayCloseAndABadListFailsTheStart) {
    const std::string start = Write("job.pelk", Job("Shutdown=0"));
    ASSERT_TRUE(app.Start(start + " PG5=20", dir.path()));
    EXPECT_TRUE(app.RequestClose(PelkorApp::CloseReason::User));
    EXPECT_EQ(app.ExitStatus(), 0);

    TempDir other;
    PelkorApp second{ui, clock, other.path(), driver};
    std::string job = Job("");
    job.replace(job.find("R 0 [2]"), 7, "R 1 [30000], R 2 [30000]");
    const std::string bad = Write("bad.pelk", job);
    ASSERT_TRUE(second.Start(bad + " PG5=20", dir.path()));
    second.RequestClose(PelkorApp::CloseReason::System);
    EXPECT_EQ(second.ExitStatus(), PelkorApp::StartFailed)
        << "a job that cannot read what it names";
}

TEST_F(AppTest, UnattendedBadStartFileEndsWithStatusTwoAndStaysByteIdentical) {
    const std::string text = "[Pelkor]\r\nLocked=1\r\nLogUsed=0\r\nTask=4 ;; "
                             "four\r\n[Connection]\r\nPort=/dev/ttyUSB7\r\n";
    const std::string start = Write("job.pelk", text);
    for (bool unattended : {true, false}) {
        ui.UnattendedRun = unattended;
        TempDir data;
        PelkorApp run{ui, clock, data.path(), driver};
        EXPECT_EQ(run.Start(start + " PG5=20", dir.path()), !unattended);
        EXPECT_EQ(ReadAll(start), text) << "unattended " << unattended;
        const auto& lines = ui.StatusLines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Start file left as it was: " + start),
                  lines.end());
        if (unattended) {
            EXPECT_EQ(run.ExitStatus(), PelkorApp::StartFailed);
        }
        run.RequestClose(PelkorApp::CloseReason::System);
    }
}

// A damaged address workbook: its message names the workbook and the task,
// and no connect failure that never was follows it.
TEST_F(AppTest, ADamagedAddressWorkbookIsNamedAndNotTakenForAConnectFailure) {
    const std::string book = Write("list.xls", "not a workbook at all");
    std::string job = Job("");
    job.replace(job.find("AutoConnect=0"), 13, "AutoConnect=1");
    job += "DataFile=" + book + "\nDataCell=A1:A3\n";
    ASSERT_TRUE(app.Start(Write("job.pelk", job) + " PG5=20", dir.path()));
    ASSERT_NE(ui.LastMessage(), nullptr);
    EXPECT_EQ(ui.Messages()[0].Text.rfind(
                  "SetResources function error : Task 1 - address workbook " + book, 0),
              0u)
        << ui.Messages()[0].Text;
    const std::string log = Log();
    EXPECT_EQ(log.find("No valid connection for the Task."), std::string::npos) << log;
    EXPECT_EQ(ui.LastStatusLine().find("No valid connection for the Task."), std::string::npos)
        << ui.LastStatusLine();
}

TEST_F(AppTest, NoStartFileEndsAtOnce) {
    EXPECT_FALSE(app.Start("", dir.path()));
    EXPECT_TRUE(app.Ended());
    EXPECT_EQ(app.ExitStatus(), PelkorApp::StartFailed);
}

TEST_F(AppTest, AStoredReadingRefreshesTheOpenEditorOfAContinuousRunOnly) {
    ASSERT_TRUE(app.Start(Write("job.pelk", Job("Locked=1")) + " PG5=20", dir.path()));
    RunStatus& st = app.App().Status;
    EXPECT_TRUE(app.Engine().ReadPCDValues(1, true));
    EXPECT_TRUE(ui.EditorDataReadRefreshes().empty()) << "no editor open";
    st.EditorOpen = 1;
    EXPECT_TRUE(app.Engine().ReadPCDValues(1, true));
    EXPECT_EQ(ui.EditorDataReadRefreshes(), std::vector<int>({1}));
    app.App().Settings.SingleShot = 1;
    EXPECT_TRUE(app.Engine().ReadPCDValues(1, true));
    EXPECT_EQ(ui.EditorDataReadRefreshes().size(), 1u);
}

TEST(IdleWorkTest, TheFirstItemThatWaitsTakesTheWaitAndTheHeadlessEventsRunIt) {
    IdleWork idle;
    std::vector<int> waits;
    idle.Add([&](int ms) {
        waits.push_back(ms);
        return false;
    });
    idle.Add([&](int ms) {
        waits.push_back(ms);
        return true;
    });
    idle.Add([&](int ms) {
        waits.push_back(ms);
        return false;
    });
    idle.Run(40);
    EXPECT_EQ(waits, (std::vector<int>{40, 40, 0}));
    HeadlessUserInterface headless;
    headless.SetIdleWork(&idle);
    headless.ProcessEvents();
    EXPECT_EQ(waits.size(), 6u);
    EXPECT_EQ(waits.back(), 0);
}

TEST_F(AppTest, UserFilesGoToTheDataFolderMadeOnFirstUseAndStartArmsTheConnection) {
    TempDir program;
    const std::string data = dir.file("home/.local/share/pelkor");
    PelkorApp installed{ui, clock, program.path(), driver, data};
    ASSERT_TRUE(installed.Start(dir.file("missing.pelk") + " PG5=20", dir.path()));
    EXPECT_TRUE(std::filesystem::exists(data + "/Default.pelk"));
    EXPECT_TRUE(std::filesystem::is_empty(program.path())) << "nothing beside the program";
    EXPECT_EQ(installed.App().Status.AutoConnectActive, 0);
    EXPECT_TRUE(installed.PressStart());
    EXPECT_EQ(installed.App().Status.AutoConnectActive, 1);
    installed.RequestClose(PelkorApp::CloseReason::System);
}

TEST(RunOptionsTest, OptionsAnywhereAndTheRestIsTheCommandText) {
    RunOptions o;
    std::vector<std::string> rest;
    bool help = false;
    std::string error;
    ASSERT_TRUE(ParseRunOptions({"--verbose", "/data/My job.pelk", "--seconds", "2.5", "PG5=20"}, o,
                                rest, help, error));
    EXPECT_TRUE(o.Verbose);
    EXPECT_DOUBLE_EQ(o.Seconds, 2.5);
    EXPECT_EQ(rest, (std::vector<std::string>{"/data/My job.pelk", "PG5=20"}));
    EXPECT_FALSE(help);

    EXPECT_FALSE(ParseRunOptions({"--seconds", "soon"}, o, rest, help, error));
    EXPECT_NE(error.find("soon"), std::string::npos);
    EXPECT_FALSE(ParseRunOptions({"--dde-socket"}, o, rest, help, error));
    EXPECT_FALSE(ParseRunOptions({"--colour"}, o, rest, help, error));
    ASSERT_TRUE(ParseRunOptions({"-h"}, o, rest, help, error));
    EXPECT_TRUE(help);
    ASSERT_TRUE(ParseRunOptions({"--start", "--version"}, o, rest, help, error));
    EXPECT_TRUE(o.PressStart && o.Version);
}

} // namespace
} // namespace pelkor
