#include <gtest/gtest.h>

#include <set>

#include "support/ResourceEntries.h"
#include "support/TestContext.h"
#include "tasks/TaskDefaults.h"

using namespace pelkor;

namespace {

class FakePg5 : public Pg5Services {
public:
    explicit FakePg5(std::set<int> installed) : installed_(std::move(installed)) {}
    bool ProgramFolderFound(int version) override {
        asked.push_back(version);
        return installed_.count(version) > 0;
    }
    bool CopyPg5Defaults(AppContext&, const std::string&) override { return true; }
    std::vector<int> asked;

private:
    std::set<int> installed_;
};

} // namespace

TEST(SetDefaultTaskParameters, ResetsTheTaskButKeepsItsIdentity) {
    TestContext c;
    Task& t = c.app.Tasks[2];
    t.Disabled = 1;
    t.IPAddress = "10.0.0.5";
    t.SBus = 12;
    t.Auto = 1;
    t.Title = "Boiler";
    t.DataSheet = "Sheet1";
    t.TimeStampText = "When";
    t.LineCountText = "No";
    t.Comments = "c";
    t.Data = "R 1";
    t.DataHead = "h";
    t.DataFile = "/x.xls";
    t.DataCell = "A1";
    t.Settings = 2;
    t.IntervalUnit = 3;
    t.ReadInterval = 5;
    t.ReadHour = 0.5;
    t.FileName = "Other";
    t.FileNew = 2;
    t.FileIndex = 0;
    t.HeadLines = 1;
    t.LineCount = 1;
    t.TimeStamp = 0;
    t.MissValues = 1;
    t.TaskNumber = 1;
    t.ReadMissing = 7;
    t.FileType = "XLS";
    t.OutSheet = "S";
    t.StartCell = "B2";
    t.Orientation = 1;
    t.Overwrite = 1;
    t.FormatUsed = 1;
    t.FormatTime = "hh";
    t.ResourceCount = 3;
    ResourceEntry entry = MakeEntry('R', 1, 0);
    entry.Label = "x";
    t.Resources.assign(3, entry);

    SetDefaultTaskParameters(c.app, 2);

    EXPECT_EQ(t.Disabled, 1);
    EXPECT_EQ(t.IPAddress, "10.0.0.5");
    EXPECT_EQ(t.SBus, 12);
    EXPECT_EQ(t.Auto, 1);
    EXPECT_EQ(t.Title, "Boiler");
    EXPECT_EQ(t.DataSheet, "Sheet1");
    EXPECT_EQ(t.TimeStampText, "When");
    EXPECT_EQ(t.LineCountText, "No");

    EXPECT_EQ(t.Comments, "");
    EXPECT_EQ(t.Data, "");
    EXPECT_EQ(t.DataHead, "");
    EXPECT_EQ(t.DataFile, "");
    EXPECT_EQ(t.DataCell, "");
    EXPECT_EQ(t.Settings, 1);
    EXPECT_EQ(t.IntervalUnit, 0);
    EXPECT_EQ(t.ReadInterval, 60);
    EXPECT_EQ(t.ReadHour, 0);
    EXPECT_EQ(t.FileName, "PCD_Data");
    EXPECT_EQ(t.FileNew, 0);
    EXPECT_EQ(t.FileIndex, 1);
    EXPECT_EQ(t.HeadLines, 0);
    EXPECT_EQ(t.LineCount, 0);
    EXPECT_EQ(t.TimeStamp, 1);
    EXPECT_EQ(t.MissValues, 0);
    EXPECT_EQ(t.TaskNumber, 0);
    EXPECT_EQ(t.ReadMissing, 0);
    EXPECT_EQ(t.FileType, "");
    EXPECT_EQ(t.OutSheet, "");
    EXPECT_EQ(t.StartCell, "");
    EXPECT_EQ(t.Orientation, 0);
    EXPECT_EQ(t.Overwrite, 0);
    EXPECT_EQ(t.FormatUsed, 0);
    EXPECT_EQ(t.FormatTime, "");
    EXPECT_EQ(t.ResourceCount, 0);
    ASSERT_EQ(t.Resources.size(), 1u);
    EXPECT_EQ(t.Resources[0].Label, "");
}

TEST(SetDefaultTaskParameters, OutputFolderFollowsThePreviousTask) {
    TestContext c;
    c.app.UserDataFolder = c.dir.file("data");
    c.app.Tasks[2].OutFolder = "/data/plant";
    SetDefaultTaskParameters(c.app, 3);
    EXPECT_EQ(c.app.Tasks[3].OutFolder, "/data/plant");
    SetDefaultTaskParameters(c.app, 1);
    EXPECT_EQ(c.app.Tasks[1].OutFolder, c.app.UserDataFolder);
    // A task before it without a folder gives the user's data folder.
    c.app.Tasks[6].OutFolder = "/old";
    SetDefaultTaskParameters(c.app, 6);
    EXPECT_EQ(c.app.Tasks[6].OutFolder, c.app.UserDataFolder);
    // Task 1 keeps a folder it already has.
    c.app.Tasks[1].OutFolder = "/mine";
    SetDefaultTaskParameters(c.app, 1);
    EXPECT_EQ(c.app.Tasks[1].OutFolder, "/mine");
}

TEST(SetDefaultTaskParameters, TaskNumberOutsideTheTableIsARangeError) {
    TestContext c;
    EXPECT_THROW(SetDefaultTaskParameters(c.app, 101), std::out_of_range);
    EXPECT_THROW(SetDefaultTaskParameters(c.app, -1), std::out_of_range);
    EXPECT_NO_THROW(SetDefaultTaskParameters(c.app, 0));
    EXPECT_NO_THROW(SetDefaultTaskParameters(c.app, MaxTasks));
}

TEST(DefaultParameters, ResetsSettingsAndPicksTheNewestPg5) {
    TestContext c;
    c.app.UserDataFolder = c.dir.file("data");
    FakePg5 pg5({14, 18});
    c.app.Pg5 = &pg5;
    AppSettings& s = c.app.Settings;
    s.LogUsed = s.SingleShot = s.Hidden = s.Minimized = 1;
    s.AutoConnect = 1;
    s.COM = 4;
    s.Baudrate = 38400;
    s.LogFolder = "/elsewhere";
    c.app.Status.AutoConnectActive = 1;
    c.app.Status.NextTask = 4;
    c.app.Tasks[4].Data = "R 1";
    int stationResets = 0;

    DefaultParameters(c.app, [&] { ++stationResets; });

    EXPECT_EQ(s.LogUsed, 0);
    EXPECT_EQ(s.SingleShot, 0);
    EXPECT_EQ(s.Hidden, 0);
    EXPECT_EQ(s.Minimized, 0);
    EXPECT_EQ(s.AutoConnect, 0);
    EXPECT_EQ(s.COM, 1);
    EXPECT_EQ(s.Baudrate, 9600);
    EXPECT_EQ(s.LogFolder, c.app.UserDataFolder);
    EXPECT_EQ(s.LogFile, c.app.UserDataFolder + "/Pelkor.txt");
    EXPECT_EQ(c.app.Status.AutoConnectActive, 0);
    EXPECT_EQ(stationResets, 1);
    EXPECT_EQ(c.app.Tasks[4].Data, "");
    EXPECT_EQ(c.app.Status.PG5Available, 1);
    EXPECT_EQ(c.app.Status.PG5Version, 18);
    EXPECT_EQ(pg5.asked, (std::vector<int>{20, 19, 18}));
}

TEST(DefaultParameters, WithoutPg5TheBuiltInLibraryIsUsed) {
    TestContext c;
    DefaultParameters(c.app);
    EXPECT_EQ(c.app.Status.PG5Available, 0);
    FakePg5 none({});
    c.app.Pg5 = &none;
    DefaultParameters(c.app);
    EXPECT_EQ(c.app.Status.PG5Available, 0);
    EXPECT_EQ(none.asked, (std::vector<int>{20, 19, 18, 17, 16, 15, 14, 13}));
}
