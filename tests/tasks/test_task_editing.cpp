// Storing the editor's controls into a task, creating and removing tasks.
#include <gtest/gtest.h>

#include "support/ScriptedUserInterface.h"
#include "tasks/Resources.h"
#include "tasks/TaskDefaults.h"
#include "tasks/TaskEditing.h"

namespace pelkor {
namespace {

struct FakeServices : TaskEditorServices {
    std::vector<std::string> Calls;
    AppContext* App = nullptr;
    bool SaveTask(int t) override { return Note("save " + std::to_string(t)); }
    bool MoveTaskSection(int s, int t) override {
        return Note("move " + std::to_string(s) + " " + std::to_string(t));
    }
    bool ClearTaskSection(int s) override { return Note("clear " + std::to_string(s)); }
    bool ReloadStartFile() override { return Note("reload"); }
    bool SetResources(int t) override { return Note("resources " + std::to_string(t)); }
    void SearchAllStation(int, int16_t) override {}
    void SetFirstReading(int) override {}
    void SearchNextTaskToRead() override {}
    bool Note(const std::string& c) {
        Calls.push_back(c);
        return true;
    }
    bool Saved() const { return std::find(Calls.begin(), Calls.end(), "save 1") != Calls.end(); }
};

struct Editing : ::testing::Test {
    ScriptedUserInterface ui;
    ManualClock clock{45000.5};
    AppContext app{ui, clock, "/tmp/prog"};
    FakeServices svc;
    TaskForm form;
    void SetUp() override {
        app.Settings.StartMode = 1;
        SetDefaultTaskParameters(app, 1);
        app.Tasks[1].FileType = "CSV";
        app.Tasks[1].Data = "R 1";
        form = FormFromTask(app.Tasks[1]);
    }
};

TEST_F(Editing, CancelOnTheErrorListOrARefusedListLeavesTheTaskAsItWas) {
    app.Tasks[1].Comments = "old";
    form.Comments = "new";
    form.SBus = "254";
    form.Data = "R 5";
    ui.QueueAnswer(MsgAnswer::Cancel);
    EXPECT_FALSE(StoreTask(app, svc, 1, form, false));
    EXPECT_EQ(app.Tasks[1].Comments, "old");
    EXPECT_EQ(app.Tasks[1].Data, "R 1");
    EXPECT_NE(app.Tasks[1].SBus, 254);

    form.SBus = "0";
    form.Data = "R 1,R 99999,F 2";
    EXPECT_FALSE(StoreTask(app, svc, 1, form, false));
    EXPECT_EQ(ui.LastMessage()->Text, "Task 1 : R 99999 : out of range (registers: address + count "
                                      "at most 16384, count at least 1)");
    EXPECT_EQ(app.Tasks[1].Comments, "old");
    EXPECT_FALSE(svc.Saved());
}

// An address file that yields nothing leaves the old list readable.
TEST_F(Editing, EmptyAddressFileOnSaveKeepsTheOldListParsed) {
    struct EmptyFile : FakeServices {
        Task* T = nullptr;
        bool SetResources(int) override {
            T->Data.clear();
            ClearResourceTable(*T);
            return false;
        }
    } files;
    files.T = &app.Tasks[1];
    ASSERT_TRUE(ParseTaskResources(app, 1));
    form.UseFile = true;
    form.DataFile = "/no/such.xls";
    ui.QueueAnswer(MsgAnswer::Ok);
    EXPECT_TRUE(StoreTask(app, files, 1, form, false));
    EXPECT_NE(ui.LastMessage()->Text.find("No Address specified !"), std::string::npos);
    EXPECT_EQ(app.Tasks[1].Data, "R 1");
    EXPECT_EQ(app.Tasks[1].AddressCount, 1);
}

// "Read Addr." without a file, or with one that yields nothing, keeps the
// typed sheet and cells but gives the old list back, parsed.
TEST_F(Editing, ReadAddressFileKeepsTheCellsAndRestoresTheListOnFailure) {
    ASSERT_TRUE(ParseTaskResources(app, 1));
    ui.QueueAnswer(MsgAnswer::Ok);
    EXPECT_FALSE(ReadAddressFile(app, svc, 1, "", " Sheet2 ", " b1:b3 "));
    EXPECT_EQ(ui.LastMessage()->Text, "No Address specified !");
    EXPECT_TRUE(svc.Calls.empty());
    EXPECT_EQ(app.Tasks[1].DataSheet, "Sheet2");
    EXPECT_EQ(app.Tasks[1].DataCell, "B1:B3");

    struct Reads : FakeServices {
        Task* T = nullptr;
        bool SetResources(int) override {
            T->Data = T->DataFile == "/a.xls" ? "R 7" : "";
            return true;
        }
    } files;
    files.T = &app.Tasks[1];
    ui.QueueAnswer(MsgAnswer::Ok);
    EXPECT_FALSE(ReadAddressFile(app, files, 1, "/empty.xls", "S", "A1"));
    EXPECT_EQ(app.Tasks[1].Data, "R 1");
    EXPECT_EQ(app.Tasks[1].AddressCount, 1);
    EXPECT_TRUE(ReadAddressFile(app, files, 1, "/a.xls", "S", "A1"));
    EXPECT_EQ(app.Tasks[1].Data, "R 7");
}

TEST(BrowsedFolder, ABareNewNameMeansTheProgramFolder) {
    ScriptedUserInterface ui;
    ManualClock clock{0};
    AppContext app{ui, clock, "/tmp/prog"};
    EXPECT_EQ(BrowsedFolder(app, "out", "/old"), "/tmp/prog");
    EXPECT_EQ(BrowsedFolder(app, "out", "out"), "out");
    EXPECT_EQ(BrowsedFolder(app, "/data/out", "/old"), "/data/out");
    EXPECT_EQ(BrowsedFolder(app, "C:\\out", "/old"), "C:\\out");
}

TEST_F(Editing, StationAndIntervalLinesInOrderStationFirst) {
    const std::pair<const char*, const char*> bad[] = {{"254", "0"}, {"-1", "61"}, {"abc", "x"}};
    for (auto [station, interval] : bad) {
        form.SBus = station;
        form.Interval = interval;
        ui.QueueAnswer(MsgAnswer::Cancel);
        EXPECT_FALSE(StoreTask(app, svc, 1, form, false));
        EXPECT_EQ(ui.LastMessage()->Text, "Task 1 Error : \r\n\r\nBad Station (numeric value 0 to "
                                          "253)\r\nBad Interval (numeric value 1 to "
                                          "60)\r\n\r\nDo you want to continue ?");
        EXPECT_FALSE(svc.Saved());
    }
    // A station the 16-bit field cannot hold leaves the field as it was.
    form.SBus = "70000";
    form.Interval = "60";
    form.Unit = 3;
    ui.QueueAnswer(MsgAnswer::Ok);
    EXPECT_TRUE(StoreTask(app, svc, 1, form, false));
    EXPECT_EQ(app.Tasks[1].SBus, 0);
    EXPECT_EQ(app.Tasks[1].ReadInterval, 60);
    EXPECT_EQ(app.Tasks[1].IntervalUnit, 3);
}

TEST_F(Editing, StartCellIsNormalisedOrA1AndBadOnesAreListed) {
    form.StartCell = "b7 ";
    ASSERT_TRUE(StoreTask(app, svc, 1, form, true));
    EXPECT_EQ(form.StartCell, "B7");
    EXPECT_EQ(app.Tasks[1].StartCell, "B7");
    form.StartCell = "";
    ASSERT_TRUE(StoreTask(app, svc, 1, form, true));
    EXPECT_EQ(app.Tasks[1].StartCell, "A1");
    form.StartCell = "3B";
    ui.QueueAnswer(MsgAnswer::Cancel);
    EXPECT_FALSE(StoreTask(app, svc, 1, form, true));
    EXPECT_NE(ui.LastMessage()->Text.find("Invalid Start Cell : 3B\r\n"), std::string::npos);
}

TEST_F(Editing, DisabledTaskWithErrorsIsStoredWithoutQuestion) {
    form.Enabled = false;
    form.FileName = "";
    form.SBus = "999";
    EXPECT_TRUE(StoreTask(app, svc, 1, form, false));
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_TRUE(svc.Saved());
    EXPECT_EQ(app.Tasks[1].Disabled, 1);
}

TEST_F(Editing, BadStartTimeFailsEvenForOtherUnitsAndStoresNothing) {
    form.Unit = 0;
    form.ReadHour = "25:99";
    form.Comments = "changed";
    bool badTime = false;
    EXPECT_FALSE(StoreTask(app, svc, 1, form, false, &badTime));
    EXPECT_TRUE(badTime);
    EXPECT_EQ(ui.LastMessage()->Text, "Time value hh:mm:ss");
    EXPECT_EQ(ui.LastMessage()->Icon, MsgIcon::Exclamation);
    EXPECT_EQ(app.Tasks[1].Comments, "");
    EXPECT_FALSE(svc.Saved());
}

TEST_F(Editing, NoOutputTaskKeepsItsOutputBlock) {
    app.Tasks[1].FileType = "None";
    app.Tasks[1].FileName = "kept";
    form = FormFromTask(app.Tasks[1]);
    EXPECT_TRUE(form.NoOutput);
    EXPECT_EQ(form.FileType, -1);
    EXPECT_EQ(form.FileName, "");
    form.Data = "R 1";
    EXPECT_TRUE(StoreTask(app, svc, 1, form, false));
    EXPECT_TRUE(ui.Messages().empty()); // no "Empty Output File Name"
    EXPECT_EQ(app.Tasks[1].FileType, "None");
    EXPECT_EQ(app.Tasks[1].FileName, "kept");
}

TEST_F(Editing, NewStopsAtTheMaximumAndStartsFromDefaults) {
    app.Tasks[2].Disabled = 1; // left behind by a removed task
    app.Tasks[2].SBus = 9;
    bool stored = false;
    EXPECT_EQ(NewTask(app, svc, stored), 2);
    EXPECT_TRUE(stored);
    EXPECT_EQ(app.Settings.TaskCount, 2);
    EXPECT_EQ(app.Status.EditTask, 2);
    EXPECT_EQ(app.Tasks[2].Disabled, 0);
    EXPECT_EQ(app.Tasks[2].SBus, 0);
    EXPECT_EQ(app.Tasks[2].FileType, "CSV");
    EXPECT_EQ(app.Tasks[2].OutFolder, "/tmp/prog");
    EXPECT_TRUE(ui.Messages().empty());

    app.Settings.TaskCount = MaxTasks;
    EXPECT_EQ(NewTask(app, svc, stored), 0);
    EXPECT_EQ(ui.LastMessage()->Text, "You cannot create a new Task. Maximum = 100");
    EXPECT_EQ(ui.LastMessage()->Icon, MsgIcon::Critical);
    EXPECT_EQ(app.Settings.TaskCount, MaxTasks);
}

TEST_F(Editing, RemoveRefusesTheOnlyTaskAndMovesTheRestDown) {
    EXPECT_FALSE(RemoveTask(app, svc, 1));
    EXPECT_EQ(ui.LastMessage()->Text, "You cannot remove this Task.");

    app.Settings.TaskCount = 4;
    for (int i = 1; i <= 4; ++i)
        app.Tasks[i].Comments = "T" + std::to_string(i);
    ui.QueueAnswer(MsgAnswer::Cancel);
    EXPECT_FALSE(RemoveTask(app, svc, 2));
    EXPECT_EQ(app.Settings.TaskCount, 4);

    app.Status.EditTask = 4;
    EXPECT_TRUE(RemoveTask(app, svc, 2));
    EXPECT_EQ(ui.LastMessage()->Text, "Do you want to remove the Task 2");
    EXPECT_EQ(app.Settings.TaskCount, 3);
    EXPECT_EQ(app.Tasks[2].Comments, "T3");
    EXPECT_EQ(app.Tasks[3].Comments, "T4");
    EXPECT_EQ(app.Tasks[4].Comments, "");
    EXPECT_EQ(app.Status.EditTask, 3);
    EXPECT_EQ(svc.Calls, (std::vector<std::string>{"move 2 2", "move 3 3", "clear 4", "reload"}));

    // Locked: the table changes, the start file does not.
    app.Settings.StartMode = 2;
    svc.Calls.clear();
    EXPECT_TRUE(RemoveTask(app, svc, 3));
    EXPECT_EQ(app.Settings.TaskCount, 2);
    EXPECT_TRUE(svc.Calls.empty());
}

} // namespace
} // namespace pelkor
