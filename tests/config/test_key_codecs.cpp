#include <gtest/gtest.h>

#include "config/KeyCodecs.h"

using namespace pelkor;

TEST(CompositeFields, NumberAndTextFieldsWithDefaults) {
    EXPECT_EQ(GetNumberField(0, "5,abc", "7"), 5);
    EXPECT_EQ(GetNumberField(1, "5, 12x", ""), 12);
    EXPECT_EQ(GetNumberField(2, "5,6", "7"), 7);
    EXPECT_EQ(GetNumberField(0, "", "7"), 7);
    EXPECT_EQ(GetNumberField(0, "", ""), 0);
    EXPECT_EQ(GetNumberField(0, "abc", "7"), 0); // a field that is there but not a number
    EXPECT_EQ(GetNumberField(-1, "5", "3"), 3);
    EXPECT_EQ(GetTextField(1, "1,  Time  ,x", "d"), "Time");
    EXPECT_EQ(GetTextField(3, "1,Time", "d"), "d");
    EXPECT_EQ(GetTextField(0, "", "d"), "d");
    EXPECT_EQ(GetTextField(1, "1,", "d"), "");
}

TEST(CompositeFields, HeadlineKeys) {
    EXPECT_EQ(HeadlineKeyValue(1, "Time"), "1,Time");
    EXPECT_EQ(HeadlineKeyValue(0, ""), "0,");
    int16_t flag = 9;
    std::string text = "x";
    ParseHeadlineKey("1,Date,Time", flag, text);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(text, "Date");
    ParseHeadlineKey("", flag, text);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(text, "");
    ParseHeadlineKey(" 1 , Line ", flag, text);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(text, "Line");
    ParseHeadlineKey("yes,Line", flag, text);
    EXPECT_EQ(flag, 0);
    ParseHeadlineKey(HeadlineKeyValue(1, "Missing"), flag, text);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(text, "Missing");
}
