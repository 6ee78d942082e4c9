#include <gtest/gtest.h>

#include "config/ResourceLists.h"

using namespace pelkor;

TEST(NormaliseResourceList, SeparatorsTrimmingAndLoneStations) {
    EXPECT_EQ(NormaliseResourceList("R 100;F 5 [8]"), "R 100,F 5 [8]");
    EXPECT_EQ(NormaliseResourceList("  R 1 ,  F 2  ;I 3"), "R 1,F 2,I 3");
    EXPECT_EQ(NormaliseResourceList("STN 3,R 10 [2]"), "STN 3 R 10 [2]");
    EXPECT_EQ(NormaliseResourceList("STN 5,R 1"), "STN 5 R 1");
    EXPECT_EQ(NormaliseResourceList("R 1,STN 7,F 2,I 3"), "R 1,STN 7 F 2,I 3");
    EXPECT_EQ(NormaliseResourceList("stn 3,r 10"), "stn 3 r 10");
    EXPECT_EQ(NormaliseResourceList("STN5,R1"), "STN5 R1");
    EXPECT_EQ(NormaliseResourceList("STN 4 R 1,F 2"),
              "STN 4 R 1,F 2");                                       // an entry naming its station
    EXPECT_EQ(NormaliseResourceList("R 1,STN 9"), "R 1");             // nothing left to join
    EXPECT_EQ(NormaliseResourceList("STN 2,STN 3,R 1"), "STN 3 R 1"); // the later lone station wins
    EXPECT_EQ(NormaliseResourceList(""), "");
    EXPECT_EQ(NormaliseResourceList(" ; ,, ;"), "");
}

TEST(NormaliseResourceList, DropsItemsThatCannotBeEntries) {
    EXPECT_EQ(NormaliseResourceList("X,R 1"), "R 1"); // no empty entry left behind
    EXPECT_EQ(NormaliseResourceList("X"), "");
    EXPECT_EQ(NormaliseResourceList("R abc"), "");
    EXPECT_EQ(NormaliseResourceList("R"), "");
    EXPECT_EQ(NormaliseResourceList("R 1 CLK"), "");
    EXPECT_EQ(NormaliseResourceList("R[5]"), "");
    EXPECT_EQ(NormaliseResourceList("[5]"), "");
    EXPECT_EQ(NormaliseResourceList("R 1 2"), "");
    // The count is not checked here; only the address before "[".
    EXPECT_EQ(NormaliseResourceList("R 100 [abc]"), "R 100 [abc]");
    EXPECT_EQ(NormaliseResourceList("R100[10]"), "R100[10]");
    EXPECT_EQ(NormaliseResourceList("F 1 [16],X y,I 2"), "F 1 [16],I 2");
    EXPECT_EQ(NormaliseResourceList("X 3"),
              "X 3"); // any kind letter passes; the reader skips unknown kinds
}

TEST(NormaliseResourceList, ClockAndDigitFirstItemsSurvive) {
    EXPECT_EQ(NormaliseResourceList("CLK"), "CLK");
    EXPECT_EQ(NormaliseResourceList("clk,R 1"), "clk,R 1");
    EXPECT_EQ(NormaliseResourceList("100"), "100");
    EXPECT_EQ(NormaliseResourceList("STN 2,CLK"), "STN 2 CLK");
    EXPECT_EQ(NormaliseResourceList("STN 2,100"), "STN 2 100");
}
