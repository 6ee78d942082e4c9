// Record layout, head line and output path composition.

#include <gtest/gtest.h>

#include <filesystem>

#include "output/Output.h"
#include "output/OutputTestSupport.h"
#include "support/TestContext.h"
#include "util/DateTime.h"

namespace pelkor {
namespace {

using testing::Entry;
using testing::SetEntries;

TEST(OutputKind, ChosenByFileTypeText) {
    Task t;
    t.FileType = "xl csv"; // a workbook wins
    EXPECT_EQ(OutputKindOf(t), OutputKind::Xls);
    t.FileType = "Csv";
    EXPECT_EQ(OutputKindOf(t), OutputKind::Csv);
    t.FileType = "None";
    EXPECT_EQ(OutputKindOf(t), OutputKind::None);
}

TEST(PeriodSuffix, DayWeekMonthAndNone) {
    Task t;
    const Date day = DateFromParts(2026, 12, 6, 23, 59, 0);
    t.FileIndex = 1;
    t.FileNew = 0;
    EXPECT_EQ(PeriodSuffix(t, day), "_D061226");
    t.FileNew = 1;
    EXPECT_EQ(PeriodSuffix(t, day), "_W5026");
    EXPECT_EQ(PeriodSuffix(t, DateFromParts(2026, 1, 3)), "_W126"); // no leading zero
    EXPECT_EQ(PeriodSuffix(t, DateFromParts(2026, 1, 4)), "_W226"); // Sunday starts week 2
    t.FileNew = 2;
    EXPECT_EQ(PeriodSuffix(t, day), "_M1226");
    t.FileNew = 3;
    EXPECT_EQ(PeriodSuffix(t, day), "");
    t.FileNew = 7;
    EXPECT_EQ(PeriodSuffix(t, day), "");
    t.FileNew = 0;
    t.FileIndex = 0;
    EXPECT_EQ(PeriodSuffix(t, day), "");
}

class RecordTest : public ::testing::Test {
protected:
    TestContext ctx;
    Task& task = ctx.app.Tasks[3];
    void SetUp() override {
        SetEntries(task, {{'R', 100, 2, "", ";1234;-7"}, {'F', 5, 1, "", ";"}});
        task.NextRead = DateFromParts(2026, 12, 6, 10, 15, 0);
    }
};

TEST_F(RecordTest, OptionalFieldsInOrderAndMissingValuesAsEmptyFields) {
    EXPECT_EQ(JoinEntryValues(task), "1234;-7;");
    task.TimeStamp = 1;
    task.MissValues = 1;
    task.TaskNumber = 1;
    task.ReadMissing = 1;
    EXPECT_EQ(BuildRecord(ctx.app, 3, false, JoinEntryValues(task)),
              GeneralDateText(task.NextRead) + ";1;Task 3;1234;-7;");

    task.TimeStamp = 0;
    task.MissValues = 0;
    task.TaskNumber = 0;
    EXPECT_EQ(BuildRecord(ctx.app, 3, false, "1;2"), "1;2");

    task.MissValues = 1;
    task.ReadMissing = 0;
    EXPECT_EQ(BuildRecord(ctx.app, 3, false, "5"), "0;5");
}

TEST_F(RecordTest, TimeStampIsNowOnDemandAndNextReadOtherwise) {
    task.TimeStamp = 1;
    EXPECT_EQ(BuildRecord(ctx.app, 3, true, "x"), GeneralDateText(ctx.clock.Now()) + ";x");
    EXPECT_EQ(BuildRecord(ctx.app, 3, false, "x"), GeneralDateText(task.NextRead) + ";x");
}

TEST_F(RecordTest, TimeStampPatternAppliedOnlyWhenUsedAndApplicable) {
    task.FormatTime = "yyyy-mm-dd hh:nn ww";
    task.FormatUsed = 0;
    EXPECT_EQ(TimeStampField(task, task.NextRead), GeneralDateText(task.NextRead));
    task.FormatUsed = 1;
    EXPECT_EQ(TimeStampField(task, task.NextRead), "2026-12-06 10:15 50");
    task.FormatTime = "\"unclosed";
    EXPECT_EQ(TimeStampField(task, task.NextRead), GeneralDateText(task.NextRead));
    task.FormatTime = "";
    EXPECT_EQ(TimeStampField(task, task.NextRead), GeneralDateText(task.NextRead));
}

TEST(JoinEntryValues, EmptyTableAndEntriesWithoutFields) {
    Task t;
    EXPECT_EQ(JoinEntryValues(t), "");
    // An entry with count 0 and a kind the reader cannot read leave no field.
    SetEntries(t, {{'R', 1, 0, "", ""}, {'1', 0, 1, "", ""}, {'R', 2, 1, "", ";9"}});
    EXPECT_EQ(JoinEntryValues(t), "9");
}

TEST(BuildHeadLine, PlaceholdersOfOneEntry) {
    Task t;
    t.TimeStamp = 0;
    auto head = [&t](const std::string& h, int count = 3) {
        SetEntries(t, {{'R', 100, count, h, ""}});
        return BuildHeadLine(t);
    };
    EXPECT_EQ(head("Temp <$I+1>"), "Temp 1;Temp 2;Temp 3");
    EXPECT_EQ(head("<$T><$A>"), "R100;R101;R102");
    EXPECT_EQ(head("<$t>-<$a>/<$i>"), "R-100/0;R-101/1;R-102/2");
    EXPECT_EQ(head("In,Out"), "In;Out;");
    EXPECT_EQ(head("A<$I>,B<$I>"), "A0;B1;B2");
    EXPECT_EQ(head("x<$i+10>y"), "x10y;x11y;x12y");
    EXPECT_EQ(head("<$I+2><$I+2>"), "2<$I+2>;3<$I+2>;4<$I+2>"); // only the first is replaced
    EXPECT_EQ(head("<$I+>"), "<$I+>;<$I+>;<$I+>");              // needs something inside
    EXPECT_EQ(head("Flow"), "Flow;;");
    EXPECT_EQ(head(""), ";;");
    EXPECT_EQ(head("<$A>", 1), "100");
}

TEST(BuildHeadLine, ASeparatorInAHeadNeverSplitsAColumn) {
    Task t;
    t.TimeStamp = 0;
    t.LineCount = 1;
    t.LineCountText = "No;x";
    SetEntries(t, {{'R', 1, 2, "Temp;C <$I>", ""}});
    EXPECT_EQ(BuildHeadLine(t), "No,x;Temp,C 0;Temp,C 1");
}

TEST(BuildHeadLine, CaptionsEntriesAndSeparator) {
    Task t;
    t.LineCount = 1;
    t.TimeStamp = 1;
    t.MissValues = 1;
    t.TaskNumber = 1;
    t.LineCountText = "No";
    t.TimeStampText = "Time";
    t.MissValuesText = "Missing";
    t.TaskNumberText = "Task";
    SetEntries(t, {{'R', 10, 2, "P<$I+1>", ""},
                   {'R', 50, 0, "skipped", ""},
                   {'1', 0, 1, "no field", ""},
                   {'K', 0, 1, "<$T>", ""},
                   {'F', 7, 2, "Door", ""}});
    EXPECT_EQ(BuildHeadLine(t), "No;Time;Missing;Task;P1;P2;K;Door;");
    EXPECT_EQ(BuildHeadLine(t, "\t"), "No\tTime\tMissing\tTask\tP1\tP2\tK\tDoor\t");

    t.MissValues = 0;
    t.TaskNumber = 0;
    SetEntries(t, {});
    EXPECT_EQ(BuildHeadLine(t), "No;Time");
}

class OutputPathTest : public ::testing::Test {
protected:
    TestContext ctx;
    Task& task = ctx.app.Tasks[1];
    void SetUp() override {
        task.FileName = "PCD_Data";
        task.FileType = "CSV";
        task.FileIndex = 1;
        task.FileNew = 0;
    }
};

TEST_F(OutputPathTest, UserDataFolderWhenNoOutFolder) {
    ctx.app.ProgramFolder = "/usr/bin";
    ASSERT_TRUE(ComposeOutputPath(ctx.app, 1));
    EXPECT_EQ(task.OutputPath, ctx.dir.path() + "/PCD_Data_D061226.csv");
    task.FileType = "XLS";
    task.FileIndex = 0;
    ASSERT_TRUE(ComposeOutputPath(ctx.app, 1));
    EXPECT_EQ(task.OutputPath, ctx.dir.path() + "/PCD_Data.xls");
}

TEST_F(OutputPathTest, CreatesEveryMissingLevelAndKeepsTrailingSeparator) {
    const std::string folder = ctx.dir.file("a/b/c");
    task.OutFolder = folder;
    task.FileNew = 2;
    ASSERT_TRUE(ComposeOutputPath(ctx.app, 1)) << ctx.app.Status.LastErrorText;
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(task.OutputPath, folder + "/PCD_Data_M1226.csv");

    task.OutFolder = folder + "/";
    ASSERT_TRUE(ComposeOutputPath(ctx.app, 1));
    EXPECT_EQ(task.OutputPath, folder + "/PCD_Data_M1226.csv");
    task.OutFolder = folder + "\\";
    std::filesystem::create_directories(task.OutFolder);
    ASSERT_TRUE(ComposeOutputPath(ctx.app, 1));
    EXPECT_EQ(task.OutputPath, folder + "\\PCD_Data_M1226.csv");
}

TEST_F(OutputPathTest, FolderThatCannotBeCreatedAbandonsTheWrite) {
    testing::WriteFile(ctx.dir.file("plain"), "x");
    task.OutputPath = "before";
    task.OutFolder = ctx.dir.file("plain/sub");
    EXPECT_FALSE(ComposeOutputPath(ctx.app, 1));
    EXPECT_EQ(ctx.app.Status.LastErrorText, "Bad output file directory: " + task.OutFolder);
    EXPECT_EQ(task.OutputPath, "before");
    EXPECT_TRUE(ctx.ui.Messages().empty()); // no dialog stops an unattended run
}

} // namespace
} // namespace pelkor
