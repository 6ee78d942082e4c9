#include <gtest/gtest.h>

#include <random>

#include "support/TestContext.h"
#include "tasks/Resources.h"

using namespace pelkor;

namespace {

struct Parsed {
    TestContext t;
    Task& task;
    bool ok;
    explicit Parsed(const std::string& data, const std::string& head = "", int16_t common = 0,
                    int16_t settings = 1, int16_t sbus = 0)
        : task(t.app.Tasks[1]) {
        t.app.Settings.Station = common;
        task.Settings = settings;
        task.SBus = sbus;
        task.Data = data;
        task.DataHead = head;
        ok = ParseTaskResources(t.app, 1);
    }
};

void ExpectTableSized(const Task& t) {
    std::size_t n = t.ResourceCount > 0 ? static_cast<std::size_t>(t.ResourceCount) : 1;
    EXPECT_EQ(t.Resources.size(), n);
}

} // namespace

TEST(ParseTaskResources, EntriesCountsAndLabels) {
    Parsed p("R 100;F 5 [8]");
    ASSERT_TRUE(p.ok);
    const Task& t = p.task;
    EXPECT_EQ(t.Data, "R 100,F 5 [8]"); // stored back normalised
    EXPECT_EQ(t.ResourceCount, 2);
    EXPECT_EQ(t.AddressCount, 9);
    ExpectTableSized(t);
    EXPECT_EQ(t.Resources[0].Kind, 'R');
    EXPECT_EQ(t.Resources[0].Address, 100);
    EXPECT_EQ(t.Resources[0].Count, 1);
    EXPECT_EQ(t.Resources[0].Label, "R 100 [1]");
    EXPECT_EQ(t.Resources[1].Kind, 'F');
    EXPECT_EQ(t.Resources[1].Address, 5);
    EXPECT_EQ(t.Resources[1].Count, 8);
    EXPECT_EQ(t.Resources[1].Label, "F 5 [8]");

    Parsed q("i  0 [ 8 ],r0100");
    EXPECT_EQ(q.task.Resources[0].Label, "I 0 [8]");
    EXPECT_EQ(q.task.Resources[1].Label, "R 100 [1]");
    EXPECT_EQ(q.task.AddressCount, 9);
}

TEST(ParseTaskResources, StationsNamedJoinedAndInherited) {
    Parsed p("STN 3,R 10 [2],F 1,STN 7 I 4", "", /*common*/ 9);
    ASSERT_TRUE(p.ok);
    const Task& t = p.task;
    EXPECT_EQ(t.Data, "STN 3 R 10 [2],F 1,STN 7 I 4");
    ASSERT_EQ(t.ResourceCount, 3);
    EXPECT_EQ(t.Resources[0].Station, 3);
    EXPECT_FALSE(t.Resources[0].StationInherited);
    EXPECT_EQ(t.Resources[0].StationText, "3");
    EXPECT_EQ(t.Resources[0].Label, "R 10 [2]");
    EXPECT_EQ(t.Resources[1].Station, 3); // from the entry before
    EXPECT_FALSE(t.Resources[1].StationInherited);
    EXPECT_EQ(t.Resources[1].StationText, "");
    EXPECT_EQ(t.Resources[2].Station, 7);
    EXPECT_EQ(t.Resources[2].Kind, 'I');
    EXPECT_EQ(t.AddressCount, 4);

    Parsed lower("stn 3 r 10");
    EXPECT_EQ(lower.task.Resources[0].Kind, 'R');
    EXPECT_EQ(lower.task.Resources[0].Station, 3);
    EXPECT_EQ(lower.task.Resources[0].Address, 10);
}

TEST(ParseTaskResources, DefaultStationComesFromTheSettingsInUse) {
    Parsed common("R 1,F 2", "", /*common*/ 9, /*settings*/ 1, /*sbus*/ 4);
    EXPECT_EQ(common.task.Resources[0].Station, 9);
    EXPECT_TRUE(common.task.Resources[0].StationInherited);
    EXPECT_EQ(common.task.Resources[1].Station, 9);
    EXPECT_TRUE(common.task.Resources[1].StationInherited);
    // Only 1 means common settings: 2 is the task's own station.
    Parsed own("R 1", "", 9, 2, 4);
    EXPECT_EQ(own.task.Resources[0].Station, 4);
    Parsed zero("R 1", "", 9, 0, 4);
    EXPECT_EQ(zero.task.Resources[0].Station, 4);
}

TEST(ParseTaskResources, ClockForms) {
    Parsed p("CLK,R 1", "Time,Temp");
    const Task& t = p.task;
    EXPECT_EQ(t.Resources[0].Kind, 'K');
    EXPECT_EQ(t.Resources[0].Count, 1);
    EXPECT_EQ(t.Resources[0].Address, 0);
    EXPECT_EQ(t.Resources[0].Label, "CLK");
    EXPECT_EQ(t.Resources[0].Head, "Time"); // the clock keeps its head like every other entry
    EXPECT_EQ(t.AddressCount, 2);
    // A clock read from a named station.
    Parsed s("STN 4,CLK");
    EXPECT_EQ(s.task.Data, "STN 4 CLK");
    EXPECT_EQ(s.task.Resources[0].Kind, 'K');
    EXPECT_EQ(s.task.Resources[0].Station, 4);
    EXPECT_EQ(s.task.Resources[0].StationText, "4");
    EXPECT_EQ(s.task.AddressCount, 1);
    // "CLK" anywhere in a digit-first item makes a clock too.
    Parsed d("1CLK");
    EXPECT_EQ(d.task.Resources[0].Kind, 'K');
}

TEST(ParseTaskResources, OddEntriesKeepOnlyWhatTheyCan) {
    Parsed digits("100");
    EXPECT_EQ(digits.task.Resources[0].Kind, '1');
    EXPECT_EQ(digits.task.AddressCount, 1); // counted although the reader reads nothing for it

    Parsed zero("R 100 [0]");
    EXPECT_EQ(zero.task.Resources[0].Count, 0);
    EXPECT_EQ(zero.task.Resources[0].Label, "R 100");
    EXPECT_EQ(zero.task.AddressCount, 0);

    // A negative count yields no values and so adds none.
    Parsed negative("R 100 [-3],F 1 [2]");
    EXPECT_EQ(negative.task.Resources[0].Count, -3);
    EXPECT_EQ(negative.task.Resources[0].Label, "R 100");
    EXPECT_EQ(negative.task.AddressCount, 2);

    Parsed badCount("R 100 [abc]");
    EXPECT_EQ(badCount.task.Resources[0].Count, 0);
    EXPECT_EQ(badCount.task.Resources[0].Label, "R 100");

    // An entry whose rest after the station is not an address keeps its kind only.
    Parsed kindOnly("STN 5 6");
    EXPECT_EQ(kindOnly.task.ResourceCount, 1);
    EXPECT_EQ(kindOnly.task.Resources[0].Kind, '6');
    EXPECT_EQ(kindOnly.task.Resources[0].Count, 0);
    EXPECT_EQ(kindOnly.task.Resources[0].Label, "");
    EXPECT_EQ(kindOnly.task.AddressCount, 0);
}

TEST(ParseTaskResources, HeadsWithCharacterOneAndMissingHeads) {
    Parsed p("R 1 [2],F 3,I 4", std::string("T1\x01T2,Flag"));
    const Task& t = p.task;
    EXPECT_EQ(t.Resources[0].Head, "T1,T2");
    EXPECT_EQ(t.Resources[1].Head, "Flag");
    EXPECT_EQ(t.Resources[2].Head, "");
    ExpectTableSized(t);
}

TEST(ParseTaskResources, EmptyListGivesOneEmptySlot) {
    Parsed p("X; ;R abc");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.task.Data, "");
    EXPECT_EQ(p.task.ResourceCount, 0);
    EXPECT_EQ(p.task.AddressCount, 0);
    ExpectTableSized(p.task);
    EXPECT_EQ(p.task.Resources[0].Kind, '\0');
    EXPECT_EQ(p.task.Resources[0].Label, "");
}

TEST(ParseTaskResources, ReparsingReplacesTheWholeTable) {
    Parsed p("R 1,R 2,R 3", "a,b,c");
    p.task.Resources[2].Values = "99";
    p.task.Resources[2].StationFailed = true;
    p.task.Data = "F 7";
    p.task.DataHead = "";
    ASSERT_TRUE(ParseTaskResources(p.t.app, 1));
    EXPECT_EQ(p.task.ResourceCount, 1);
    ExpectTableSized(p.task);
    EXPECT_EQ(p.task.Resources[0].Head, "");
    EXPECT_EQ(p.task.Resources[0].Values, "");
    EXPECT_FALSE(p.task.Resources[0].StationFailed);
}

TEST(ParseTaskResources, NumbersBeyondSixteenBitsAreReportedNotWrapped) {
    Parsed big("R 1,R 40000,F 2");
    EXPECT_FALSE(big.ok);
    EXPECT_EQ(big.t.app.Status.LastErrorText.rfind("SetResources function error : ", 0), 0u);
    EXPECT_EQ(big.task.ResourceCount, 3); // the table built so far stays
    EXPECT_EQ(big.task.Resources[0].Label, "R 1 [1]");
    EXPECT_EQ(big.task.Resources[1].Count, 0);
    ExpectTableSized(big.task);

    // Beyond the connection manager's range, so neither entry counts.
    Parsed total("R 0 [30000],R 0 [30000]");
    EXPECT_FALSE(total.ok);
    EXPECT_EQ(total.task.AddressCount, 0);

    Parsed station("STN 70000 R 1");
    EXPECT_FALSE(station.ok);

    // Station numbers beyond 253 are left to the reader to refuse.
    Parsed high("STN 300 R 1");
    EXPECT_TRUE(high.ok);
    EXPECT_EQ(high.task.Resources[0].Station, 300);
}

TEST(ParseTaskResources, HeadsOfDroppedItemsGoWithThemAndMisfitsAreSeen) {
    std::string heads = "x,a,b";
    EXPECT_EQ(NormaliseResourceList(" ,R 0 [4],F 0 [8]", heads), "R 0 [4],F 0 [8]");
    EXPECT_EQ(heads, "a,b");
    Parsed p("R abc;STN 2,R 1,F 2", "bad,stn,one,two");
    EXPECT_EQ(p.task.DataHead, "one,two");
    EXPECT_EQ(p.task.Resources[1].Head, "two");
    // A stored pair that lost an item long ago cannot be mended, only seen.
    EXPECT_FALSE(ResourceHeadsLineUp("R 0 [4],F 0 [8]", "x,a,b"));
    EXPECT_TRUE(ResourceHeadsLineUp(" ,R 0 [4],F 0 [8]", "x,a,b"));
    EXPECT_TRUE(ResourceHeadsLineUp("R 1,F 2", ""));
    EXPECT_EQ(FitHeads("a,b,c", 2) + "|" + FitHeads("a", 3) + "|" + FitHeads("", 3), "a,b|a,,|");
}

TEST(ParseTaskResources, AnEntryOutOfRangeIsSkippedAloneTheRestAreRead) {
    for (const char* bad : {"R 99999", "R 20000", "F 9000 [4]", "R 16380 [10]", "I 8192", "R -3"}) {
        Parsed p(std::string("R 1,") + bad + ",F 2");
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_EQ(p.t.app.Status.LastErrorText,
                  std::string("SetResources function error : Overflow in entry ") + bad);
        EXPECT_EQ(p.task.Resources[1].Kind, '\0') << bad;
        EXPECT_EQ(p.task.Resources[2].Kind, 'F') << bad;
        EXPECT_EQ(p.task.AddressCount, 2) << bad;
    }
    EXPECT_TRUE(Parsed("R 16374 [10],F 8191,I 0 [8192]").ok);
    EXPECT_EQ(
        ResourceListProblem("R 1,STN 3 F 9000 [4]"),
        "STN 3 F 9000 [4] : out of range (flags: address + count at most 8192, count at least 1)");
    EXPECT_EQ(ResourceListProblem("R 5 [0]").substr(0, 20), "R 5 [0] : out of ran");
    EXPECT_EQ(ResourceListProblem("R 16383,CLK,X 5"), "");
}

TEST(ParseTaskResources, BadTaskNumberIsAnErrorNotACrash) {
    TestContext t;
    EXPECT_FALSE(ParseTaskResources(t.app, 101));
    EXPECT_EQ(t.app.Status.LastErrorText.rfind("SetResources function error : ", 0), 0u);
}

TEST(ParseResourceEntry, EmptyItemLeavesTheSlotAndTableGrowsWhenNeeded) {
    Task t;
    SizeResourceTable(t, 2);
    t.Resources[1].Kind = 'R';
    t.Resources[1].Label = "keep";
    EXPECT_TRUE(ParseResourceEntry(t, 1, "   ", "", 0));
    EXPECT_EQ(t.Resources[1].Label, "keep");
    EXPECT_TRUE(ParseResourceEntry(t, 4, "F 1", "", 0)); // an index past the table is no overrun
    EXPECT_EQ(t.Resources[4].Label, "F 1 [1]");
    EXPECT_EQ(ResourceLabel('R', -5, 2), "R -5 [2]");
    EXPECT_EQ(ResourceLabel('K', 0, 1), "CLK");
}

TEST(ParseTaskResources, AnyTextKeepsTheTableConsistent) {
    std::mt19937 rng(1234);
    const std::string alphabet = "RFIKCLSTN0123456789 ,;[]-+.eE\x01\tx";
    for (int round = 0; round < 2000; ++round) {
        std::string data, head;
        int len = static_cast<int>(rng() % 60);
        for (int i = 0; i < len; ++i)
            data += alphabet[rng() % alphabet.size()];
        for (int i = 0; i < len / 2; ++i)
            head += alphabet[rng() % alphabet.size()];
        Parsed p(data, head);
        ExpectTableSized(p.task);
        EXPECT_EQ(p.task.Data, NormaliseResourceList(p.task.Data)) << data; // normalising is stable
        if (HasFailure()) {
            ADD_FAILURE() << "input: " << data;
            break;
        }
    }
}

TEST(TaskEntries, ResourceCountNeverReachesPastTheTable) {
    Task t;
    t.Resources.resize(2);
    t.ResourceCount = 5; // a count the table does not hold
    EXPECT_EQ(t.Entries().size(), 2u);
    t.ResourceCount = -1;
    EXPECT_TRUE(t.Entries().empty());
    t.ResourceCount = 1;
    ASSERT_EQ(t.Entries().size(), 1u);
    EXPECT_EQ(&t.Entries()[0], &t.Resources[0]);
}
