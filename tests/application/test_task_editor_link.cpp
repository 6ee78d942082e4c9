// The task editor's link into the application, without any window: the keys
// a moved section carries and "Read Now" refusing what it cannot read.

#include <gtest/gtest.h>

#include <fstream>

#include "application/PelkorApp.h"
#include "application/TaskEditorLink.h"
#include "config/StartFile.h"
#include "pcd/PelsbusDriver.h"
#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"

namespace pelkor {
namespace {

class TaskEditorLinkTest : public ::testing::Test {
protected:
    TempDir dir;
    ScriptedUserInterface ui;
    ManualClock clock{46362.5};
    DlPelsbus driver{{dir.path() + "/no-library-here"}};
    PelkorApp app{ui, clock, dir.path(), driver};
    TaskEditorLink link{app};
    std::string start = dir.file("job.pelk");

    void SetUp() override {
        std::ofstream(start, std::ios::binary)
            << "[Pelkor]\nVersion=3\nLogFolder=" << dir.path() << "\nTask=2\n"
            << "[Connection]\nAutoConnect=0\nStation=1\nDLL=0\n\n"
            << "[Task1]\nSettings=1\nIntervalUnit=1\nReadInterval=15\nData=R 0 [2]\nFileType=None\n"
            << "[Task2]\nSettings=1\nIntervalUnit=1\nReadInterval=15\nData=\nFileType="
               "None\nComments=old\n";
        ASSERT_TRUE(app.Start(start + " PG5=20", dir.path()));
    }
    std::string Key(const std::string& section, const std::string& key) {
        return GetIniString(start, section, key);
    }
};

TEST_F(TaskEditorLinkTest, MovedSectionCarriesTheStationKeysAndTheTitle) {
    Task& t = app.App().Tasks[1];
    t.SBus = 7;
    t.Auto = 3;
    t.IPAddress = "10.0.0.5";
    t.Title = "Boiler";
    ASSERT_TRUE(link.MoveTaskSection(2, 1));
    EXPECT_EQ(Key("Task2", "SBus"), "7");
    EXPECT_EQ(Key("Task2", "Auto"), "3");
    EXPECT_EQ(Key("Task2", "IPAddress"), "10.0.0.5");
    EXPECT_EQ(Key("Task2", "Title"), "Boiler");
    EXPECT_EQ(Key("Task2", "Data"), "R 0 [2]");
    EXPECT_EQ(Key("Task2", "Comments"), ""); // the old section is gone

    t.Title.clear();
    ASSERT_TRUE(link.MoveTaskSection(2, 1));
    EXPECT_EQ(Key("Task2", "Title"), "");
    EXPECT_TRUE(link.ClearTaskSection(2));
    EXPECT_EQ(Key("Task2", "SBus"), "");
}

TEST_F(TaskEditorLinkTest, ReadNowRefusesATaskWithoutAddressesAndAMissingConnection) {
    EXPECT_EQ(link.ReadNow(2), TaskEditorLink::ReadResult::NoAddress);
    ASSERT_NE(ui.LastMessage(), nullptr);
    EXPECT_EQ(ui.LastMessage()->Text, "Task 2 : No Address specified.");

    // No S-Bus library beside the program: the connection cannot open.
    EXPECT_EQ(link.ReadNow(1), TaskEditorLink::ReadResult::ConnectionError);
    EXPECT_EQ(app.App().Tasks[1].TaskError.rfind("Open Connection Error : ", 0), 0u)
        << app.App().Tasks[1].TaskError;
    EXPECT_EQ(app.App().Status.ManualReading, 0);
}

} // namespace
} // namespace pelkor
