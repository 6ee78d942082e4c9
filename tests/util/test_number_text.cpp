#include <gtest/gtest.h>

#include <cmath>

#include "util/Number.h"
#include "util/Text.h"

using namespace pelkor;

TEST(LeadingNumber, TakesTheNumberAtTheStartAndStopsWhereItCannotGoOn) {
    EXPECT_EQ(LeadingNumber("  12abc"), 12);
    EXPECT_EQ(LeadingNumber("\t7"), 7);
    EXPECT_EQ(LeadingNumber("-3.5e2x"), -350);
    EXPECT_EQ(LeadingNumber("+4"), 4);
    EXPECT_EQ(LeadingNumber(".5"), 0.5);
    EXPECT_EQ(LeadingNumber("5."), 5);
    EXPECT_EQ(LeadingNumber("1.2.3"), 1.2);
    EXPECT_EQ(LeadingNumber("1e"), 1); // an exponent without digits is not part of it
    EXPECT_EQ(LeadingNumber("2e+"), 2);
    EXPECT_EQ(LeadingNumber("12 34"), 12);
    EXPECT_EQ(LeadingNumber("100]"), 100);
}

TEST(LeadingNumber, TextWithoutANumberGivesZero) {
    for (const char* t : {"", "   ", "abc", "-", "+", ".", "e5", "- 5", "x12"})
        EXPECT_EQ(LeadingNumber(t), 0) << t;
    EXPECT_EQ(LeadingNumber("1e999"), 0); // not representable
    EXPECT_EQ(LeadingNumber(std::string("7\0"
                                        "8",
                                        3)),
              7);
}

TEST(IsNumeric, WholeTextMustBeOneNumber) {
    for (const char* t : {"12", " 12 ", "-5", "+5", "1.5", ".5", "5.", "1e5", "1E-2", "\t3\t"})
        EXPECT_TRUE(IsNumeric(t)) << t;
    for (const char* t :
         {"", " ", "1 2", "12a", "abc", "-", ".", "1e", "1e999", "[5", "5]", "0x10"})
        EXPECT_FALSE(IsNumeric(t)) << t;
}

TEST(Integers, RoundHalvesToEvenAndRefuseOverflow) {
    int16_t v = 99;
    EXPECT_TRUE(ToInt16(2.5, v));
    EXPECT_EQ(v, 2);
    EXPECT_TRUE(ToInt16(3.5, v));
    EXPECT_EQ(v, 4);
    EXPECT_TRUE(ToInt16(-32768, v));
    EXPECT_EQ(v, -32768);
    EXPECT_TRUE(ToInt16(32767.4, v));
    EXPECT_EQ(v, 32767);
    v = 1;
    EXPECT_FALSE(ToInt16(32767.5, v));
    EXPECT_FALSE(ToInt16(-40000, v));
    EXPECT_FALSE(ToInt16(std::nan(""), v));
    EXPECT_EQ(v, 1);
    int32_t w = 0;
    EXPECT_TRUE(ToInt32(2147483647, w));
    EXPECT_FALSE(ToInt32(2147483648.0, w));
}

TEST(NumberText, IntegersWithoutFraction) {
    EXPECT_EQ(NumberText(5), "5");
    EXPECT_EQ(NumberText(-12), "-12");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(2.5), "2.5");
    EXPECT_EQ(NumberText(0.1), "0.1");
}

TEST(Text, TrimCaseAndSearch) {
    EXPECT_EQ(Trim(" \t a b \t"), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(UpperCase("stn 5 r"), "STN 5 R");
    EXPECT_EQ(LowerCase("ABC1"), "abc1");
    EXPECT_TRUE(EqualsNoCase("Task12", "TASK12"));
    EXPECT_FALSE(EqualsNoCase("Task1", "Task12"));
    EXPECT_TRUE(StartsWithNoCase("stn 3", "STN"));
    EXPECT_FALSE(StartsWithNoCase("st", "STN"));
    EXPECT_TRUE(EndsWithNoCase("x.PELK", ".pelk"));
    EXPECT_TRUE(ContainsNoCase("r 1 clk", "CLK"));
    EXPECT_EQ(FindNoCase("aXbx", "x", 2), 3u);
    EXPECT_EQ(FindNoCase("ab", "abc"), std::string::npos);
}

TEST(Text, SplitJoinReplace) {
    EXPECT_EQ(Split("", ',').size(), 1u);
    EXPECT_EQ(Split("a,,b", ','), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(Split("a,", ','), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(Split("a\r\nb", "\r\n"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Join({"a", "b", "c"}, ";"), "a;b;c");
    EXPECT_EQ(Join({}, ";"), "");
    EXPECT_EQ(ReplaceAll("a;b;;c", ";", ","), "a,b,,c");
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    // Patterns longer than one character: every match, none overlapping,
    // nothing matched inside a replacement.
    EXPECT_EQ(ReplaceAll("aXYbXYXYc", "XY", "-"), "a-b--c");
    EXPECT_EQ(ReplaceAll("aaaaa", "aa", "b"), "bba");
    EXPECT_EQ(ReplaceAll("\\\\srv\\share", "\\\\", "//"), "//srv\\share");
    EXPECT_EQ(ReplaceAll("abXY", "XY", "XYXY"), "abXYXY");
    EXPECT_EQ(ReplaceAll("ab", "abc", "x"), "ab");
}
