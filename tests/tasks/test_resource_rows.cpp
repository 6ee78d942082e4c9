// The resource editor's rows: what Apply makes of them, and the row editor's
// reading and writing of a variable cell.
#include <gtest/gtest.h>

#include <vector>

#include "support/ScriptedUserInterface.h"
#include "tasks/ResourceRows.h"
#include "tasks/Resources.h"

namespace pelkor {
namespace {

template <class Field> std::vector<Field> Column(const Task& t, Field ResourceEntry::*field) {
    std::vector<Field> column;
    for (const ResourceEntry& e : t.Resources)
        column.push_back(e.*field);
    return column;
}

struct Rows : ::testing::Test {
    ScriptedUserInterface ui;
    ManualClock clock;
    AppContext app{ui, clock, "/tmp"};
    Task& t = app.Tasks[1];
    void SetUp() override { app.Settings.Station = 7; }
};

TEST_F(Rows, StationsAreWrittenWhereTheyChange) {
    ApplyResourceRows(app, 1, {{"2", "R 1", ""}, {"", "F 5 [3]", ""}, {"3", "CLK", ""}});
    EXPECT_EQ(t.Data, "STN 2 R 1,F 5 [3],STN 3 CLK");
    EXPECT_EQ(Column(t, &ResourceEntry::Station), (std::vector<int16_t>{2, 2, 3}));
    EXPECT_EQ(Column(t, &ResourceEntry::StationInherited), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(t.AddressCount, 5);

    ApplyResourceRows(app, 1, {{"2", "R 1", ""}, {"2", "R 2", ""}, {"", "R 3", ""}});
    EXPECT_EQ(t.Data, "STN 2 R 1,R 2,R 3");
    EXPECT_EQ(Column(t, &ResourceEntry::Station), (std::vector<int16_t>{2, 2, 2}));

    // Before any station the task's default station applies.
    ApplyResourceRows(app, 1, {{"", "R 1", ""}});
    EXPECT_EQ(t.Resources[0].Station, 7);
}

TEST_F(Rows, RowsThatNameNothingReadableAreRefusedOrLeftOutWithTheirHeads) {
    EXPECT_EQ(ResourceRowsProblem({{"", "R 1", "a"}, {"", "", "b"}}), "Row 2 : variable missing");
    EXPECT_EQ(ResourceRowsProblem({{"", "R abc", "a"}}), "Row 1 : not a valid address (R abc)");
    EXPECT_EQ(ResourceRowsProblem({{"", "R 99999", ""}}),
              "Row 1 : R 99999 out of range (registers: address + count at most 16384, count at "
              "least 1)");
    EXPECT_EQ(ResourceRowsProblem({{"", "F 1", "Temp;C"}}),
              "Row 1 : \";\" cannot be used in a headline (Temp;C)");
    EXPECT_EQ(ResourceRowsProblem({{"", "", ""}, {"", "K", "a,b"}}), "");
    EXPECT_EQ(HeadlineTextProblem("No, x", true),
              "\",\" cannot be used in the headline of an optional column (No, x)");
    EXPECT_EQ(HeadlineTextProblem("No, x", false), "");

    ApplyResourceRows(
        app, 1, {{"", "", ""}, {"", "R 0 [4]", "a"}, {"", "R abc", "z"}, {"", "F 0 [8]", "b"}});
    EXPECT_EQ(t.Data, "R 0 [4],F 0 [8]");
    EXPECT_EQ(t.DataHead, "a,b");
    EXPECT_EQ(t.ResourceCount, 2);
}

TEST_F(Rows, ClockRowsStayTheClockThroughASave) {
    ApplyResourceRows(app, 1, {{"", "K", ""}, {"", "clk", ""}});
    EXPECT_EQ(t.Data, "CLK,CLK");
    EXPECT_EQ(Column(t, &ResourceEntry::Count), (std::vector<int16_t>{1, 1}));
    ASSERT_TRUE(ParseTaskResources(app, 1));
    EXPECT_EQ(t.ResourceCount, 2);
}

TEST_F(Rows, CommaInAHeadlineSurvivesAsCharacterOne) {
    ApplyResourceRows(app, 1, {{"", "R 1 [2]", "a,b"}, {"", "R 5", "c"}});
    EXPECT_EQ(t.DataHead, "a\x01"
                          "b,c");
    ASSERT_TRUE(ParseTaskResources(app, 1));
    EXPECT_EQ(t.Resources[0].Head, "a,b");
    EXPECT_EQ(ResourceRowsOf(t)[0].Head, "a,b");
}

TEST_F(Rows, EmptyVariableIsLeftOutWithItsHeadNotRegisterZero) {
    ApplyResourceRows(app, 1, {{"", "", "x"}, {"", "R 4", "y"}});
    EXPECT_EQ(t.ResourceCount, 1);
    EXPECT_EQ(t.Resources[0].Kind, 'R');
    EXPECT_EQ(t.Resources[0].Address, 4);
    EXPECT_EQ(t.DataHead, "y");
    EXPECT_EQ(t.AddressCount, 1);
}

TEST_F(Rows, GridShowsTheTaskAndTheRowEditorReadsCells) {
    EXPECT_EQ(ResourceRowsOf(t).size(), 1u); // an empty task has one empty row
    t.Data = "STN 3 R 100 [10],F 5,R 7 [0],CLK";
    ASSERT_TRUE(ParseTaskResources(app, 1));
    const auto rows = ResourceRowsOf(t);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].Station, "3");
    EXPECT_EQ(rows[0].Variable, "R 100 [10]");
    EXPECT_EQ(rows[1].Variable, "F 5");
    EXPECT_EQ(rows[2].Variable, "R 7 [0]"); // kept, so Apply does not start reading it
    EXPECT_EQ(rows[3].Variable, "CLK");

    VariableFields f = ParseVariableText("R 100 [10]");
    EXPECT_EQ(f.Type, 0);
    EXPECT_EQ(f.Address, "100");
    EXPECT_EQ(f.Number, "10");
    EXPECT_EQ(ParseVariableText("I 3").Type, 2);
    EXPECT_EQ(ParseVariableText("R 7 [0]").Number, "");
    EXPECT_EQ(ParseVariableText("clk").Type, 3);
    EXPECT_EQ(ParseVariableText("X 1").Type, 0);
    EXPECT_EQ(ComposeVariableText(0, "100", "1"), "R 100");
    EXPECT_EQ(ComposeVariableText(1, "5", "3"), "F 5 [3]");
    EXPECT_EQ(ComposeVariableText(3, "9", "9"), "K");
}

} // namespace
} // namespace pelkor
