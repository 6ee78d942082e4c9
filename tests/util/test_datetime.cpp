#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include "support/TempDir.h"
#include "util/DateTime.h"
#include "util/Number.h"

using namespace pelkor;

namespace {

// Every test starts and ends in the C locale.
class DateTest : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_ALL, "C"); }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

bool SameInstant(Date a, Date b) {
    return std::fabs(a - b) < 0.5 / 86400.0;
}

} // namespace

TEST_F(DateTest, DayCountsOfKnownDates) {
    EXPECT_EQ(DateFromParts(1899, 12, 30), 0);
    EXPECT_EQ(DateFromParts(1900, 1, 1), 2);
    EXPECT_EQ(DateFromParts(2026, 12, 6), 46362);
    EXPECT_EQ(DateFromParts(2000, 2, 29), 36585);
    EXPECT_DOUBLE_EQ(DateFromParts(2026, 12, 6, 18), 46362.75);
    // Before the epoch the fraction still counts forward in the day.
    EXPECT_DOUBLE_EQ(DateFromParts(1899, 12, 29, 6), -1.25);
    EXPECT_DOUBLE_EQ(DateFromParts(1899, 12, 30, 6), 0.25);
    // Parts out of range carry over.
    EXPECT_EQ(DateFromParts(2025, 13, 1), DateFromParts(2026, 1, 1));
    EXPECT_EQ(DateFromParts(2026, 3, 0), DateFromParts(2026, 2, 28));
    EXPECT_EQ(DateFromParts(2026, 0, 1), DateFromParts(2025, 12, 1));
    EXPECT_DOUBLE_EQ(DateFromParts(2026, 1, 1, 24), DateFromParts(2026, 1, 2));
}

TEST_F(DateTest, CivilPartsRoundTripAcrossTheCalendar) {
    for (Date day = -657000; day < 2958000; day += 997.37) {
        CivilTime c = ToCivil(day);
        Date back = DateFromParts(c.Year, c.Month, c.Day, c.Hour, c.Minute,
                                  c.Second + c.Millisecond / 1000.0);
        ASSERT_TRUE(std::fabs(back - day) < 1e-6) << day;
    }
    CivilTime sat = ToCivil(0);
    EXPECT_EQ(sat.Weekday, 7);
    EXPECT_EQ(ToCivil(46362).Weekday, 1); // 6 December 2026 is a Sunday
    CivilTime t = ToCivil(-1.25);
    EXPECT_EQ(t.Year * 10000 + t.Month * 100 + t.Day, 18991229);
    EXPECT_EQ(t.Hour, 6);
    // A hair before midnight is the next day in whole seconds.
    EXPECT_EQ(GeneralDateText(46362.9999999999), "2026-12-07");
    EXPECT_EQ(ToCivil(46362 + 0.5 + 0.25 / 86400).Millisecond, 250);
}

TEST_F(DateTest, LocalTimeConversions) {
    std::time_t t = 1780000000; // a May day, far from any clock change
    Date d = DateFromTimeT(t);
    EXPECT_EQ(TimeTFromDate(d), t);
    std::tm lt{};
    localtime_r(&t, &lt);
    CivilTime c = ToCivil(d);
    EXPECT_EQ(c.Hour, lt.tm_hour);
    EXPECT_EQ(c.Day, lt.tm_mday);
}

TEST_F(DateTest, GeneralTextInTheCLocale) {
    EXPECT_EQ(GeneralDateText(DateFromParts(2026, 12, 6, 10, 15, 0)), "2026-12-06 10:15:00");
    EXPECT_EQ(GeneralDateText(DateFromParts(2026, 12, 6)), "2026-12-06");
    EXPECT_EQ(GeneralDateText(DateFromParts(1899, 12, 30, 10, 15, 7)), "10:15:07");
    EXPECT_EQ(GeneralDateText(0), "00:00:00");
    EXPECT_EQ(DateText(46362.75), "2026-12-06");
    EXPECT_EQ(TimeText(46362.75), "18:00:00");
    EXPECT_EQ(GeneralDateText(std::nan("")), "00:00:00"); // nonsense never crashes
}

TEST_F(DateTest, ParsingAcceptsIsoAndTimeForms) {
    Date d = -1;
    ASSERT_TRUE(ParseDateText("2026-12-06 10:15:00", d));
    EXPECT_TRUE(SameInstant(d, DateFromParts(2026, 12, 6, 10, 15)));
    ASSERT_TRUE(ParseDateText("  2026-12-06  ", d));
    EXPECT_EQ(d, 46362);
    ASSERT_TRUE(ParseDateText("2026-1-6T08:30", d));
    EXPECT_TRUE(SameInstant(d, DateFromParts(2026, 1, 6, 8, 30)));
    ASSERT_TRUE(ParseDateText("7:05", d));
    EXPECT_TRUE(SameInstant(d, (7 * 60 + 5) / 1440.0));
    ASSERT_TRUE(ParseDateText("23:59:59", d));
    EXPECT_TRUE(SameInstant(d, 86399 / 86400.0));
    ASSERT_TRUE(ParseDateText("00:00:00", d));
    EXPECT_EQ(d, 0);
}

TEST_F(DateTest, ParsingRefusesAnythingElseAndLeavesTheValue) {
    for (const char* t :
         {"", "abc", "2026-02-30", "2026-13-01", "24:00", "10:60", "10:5", "2026-12-06 25:00",
          "2026-12-06x", "12/06/2026", "99999-01-01", "10:15:00 extra", ":", "-", "2026--1"}) {
        Date d = 123;
        EXPECT_FALSE(ParseDateText(t, d)) << t;
        EXPECT_EQ(d, 123) << t;
    }
}

TEST_F(DateTest, GeneralTextRoundTripsInTheCLocale) {
    for (Date d : {0.0, 0.5, 46362.0, 46362.4270833333, 36585.999988, 2.0, 1.0 / 86400}) {
        Date back = -1;
        ASSERT_TRUE(ParseDateText(GeneralDateText(d), back)) << GeneralDateText(d);
        EXPECT_TRUE(SameInstant(back, d)) << GeneralDateText(d);
    }
}

// Another locale: generated into a temporary folder (glibc's LOCPATH), since
// these machines carry only the C locales.
class OtherLocaleTest : public DateTest {
protected:
    bool Use(const std::string& name, const std::string& source) {
        std::string out = dir_.file(name);
        std::string cmd = "localedef -i " + source + " -f UTF-8 '" + out + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0 && !std::getenv("LOCPATH")) return false;
        setenv("LOCPATH", dir_.path().c_str(), 1);
        return std::setlocale(LC_ALL, name.c_str()) != nullptr;
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
    }
    TempDir dir_;
};

TEST_F(OtherLocaleTest, GermanShortDateAndLongTime) {
    if (!Use("de_DE.UTF-8", "de_DE"))
        GTEST_SKIP() << "cannot build the de_DE locale (localedef or sources missing)";
    Date d = DateFromParts(2026, 12, 6, 10, 15, 30);
    EXPECT_EQ(GeneralDateText(d), "06.12.2026 10:15:30");
    EXPECT_EQ(FormatDate(d, "dddd, d. mmmm yyyy"), "Sonntag, 6. Dezember 2026");
    for (Date v : {d, DateFromParts(2026, 12, 6), 0.75, DateFromParts(1999, 1, 31, 23, 59, 59)}) {
        Date back = -1;
        ASSERT_TRUE(ParseDateText(GeneralDateText(v), back)) << GeneralDateText(v);
        EXPECT_TRUE(SameInstant(back, v)) << GeneralDateText(v);
    }
    Date iso = -1;
    EXPECT_TRUE(ParseDateText("2026-12-06 10:15:30", iso)); // ISO stays accepted
    EXPECT_TRUE(SameInstant(iso, d));
}

// Dates follow the locale; numbers never do.
TEST_F(OtherLocaleTest, NumbersKeepTheirDecimalPointInAGermanLocale) {
    if (!Use("de_DE.UTF-8", "de_DE"))
        GTEST_SKIP() << "cannot build the de_DE locale (localedef or sources missing)";
    EXPECT_EQ(LeadingNumber("2.5x"), 2.5);
    EXPECT_EQ(LeadingNumber("-1.25e1"), -12.5);
    EXPECT_TRUE(IsNumeric(" 2.5 "));
    EXPECT_EQ(NumberText(2.5), "2.5");
    EXPECT_EQ(NumberText(-1234567), "-1234567");
}

TEST_F(OtherLocaleTest, UsTwelveHourClockRoundTrips) {
    if (!Use("en_US.UTF-8", "en_US"))
        GTEST_SKIP() << "cannot build the en_US locale (localedef or sources missing)";
    for (Date v :
         {DateFromParts(2026, 12, 6, 13, 5, 0), DateFromParts(2026, 7, 4, 0, 30, 0), 0.99}) {
        Date back = -1;
        ASSERT_TRUE(ParseDateText(GeneralDateText(v), back)) << GeneralDateText(v);
        EXPECT_TRUE(SameInstant(back, v)) << GeneralDateText(v);
    }
}

TEST_F(DateTest, WeekNumbersStartOnSundayWithWeekOneHoldingFirstJanuary) {
    struct Case {
        int y, m, d, week;
    };
    for (Case c : {Case{2026, 1, 1, 1},
                   {2026, 1, 3, 1},
                   {2026, 1, 4, 2},
                   {2025, 12, 31, 53},
                   {2026, 12, 6, 50},
                   {2023, 1, 1, 1},
                   {2023, 1, 7, 1},
                   {2023, 1, 8, 2},
                   {2023, 12, 31, 53},
                   {2022, 1, 1, 1},
                   {2022, 1, 2, 2},
                   {2022, 12, 31, 53},
                   {2028, 12, 31, 54},
                   {2017, 12, 31, 53},
                   {2018, 1, 1, 1}}) {
        EXPECT_EQ(WeekOfYear(DateFromParts(c.y, c.m, c.d)), c.week)
            << c.y << "-" << c.m << "-" << c.d;
    }
    EXPECT_EQ(FormatDate(DateFromParts(2026, 1, 2), "wwyy"), "126");
}

TEST_F(DateTest, FileSuffixPatterns) {
    Date d = DateFromParts(2026, 12, 6, 10, 15, 0);
    EXPECT_EQ("_D" + FormatDate(d, "ddmmyy"), "_D061226");
    EXPECT_EQ("_W" + FormatDate(d, "wwyy"), "_W5026");
    EXPECT_EQ("_M" + FormatDate(d, "mmyy"), "_M1226");
    EXPECT_EQ(FormatDate(DateFromParts(2005, 1, 9), "ddmmyy"), "090105");
}

TEST_F(DateTest, PatternLanguage) {
    Date d = DateFromParts(2026, 12, 6, 13, 5, 9);
    EXPECT_EQ(FormatDate(d, "dd.mm.yyyy hh:mm:ss"), "06.12.2026 13:05:09"); // m after h is minutes
    EXPECT_EQ(FormatDate(d, "DD/MM/YYYY"), "06/12/2026");
    EXPECT_EQ(FormatDate(d, "yyyy-mm-dd hh:nn:ss"), "2026-12-06 13:05:09");
    EXPECT_EQ(FormatDate(d, "d/m/yy h:n:s"), "6/12/26 13:5:9");
    EXPECT_EQ(FormatDate(d, "h:nn AM/PM"), "1:05 PM");
    EXPECT_EQ(FormatDate(d, "hh:nn am/pm"), "01:05 pm");
    EXPECT_EQ(FormatDate(DateFromParts(2026, 12, 6, 0, 5), "h:nn A/P"), "12:05 A");
    EXPECT_EQ(FormatDate(d, "ddd dddd mmm mmmm"), "Sun Sunday Dec December");
    EXPECT_EQ(FormatDate(d, "w q y"), "1 4 340");
    EXPECT_EQ(FormatDate(d, "\"Week \"ww"), "Week 50");
    EXPECT_EQ(FormatDate(d, "\\d\\a\\y d"), "day 6");
    EXPECT_EQ(FormatDate(d, "[yyyy]"), "[2026]");
    EXPECT_EQ(FormatDate(d, ""), "");
}

TEST_F(DateTest, PatternThatCannotBeAppliedLeavesTheValueUnformatted) {
    Date d = DateFromParts(2026, 12, 6, 13, 5, 9);
    std::string out = "kept";
    EXPECT_FALSE(TryFormatDate(d, "dd \"open", out));
    EXPECT_EQ(out, "kept");
    EXPECT_EQ(FormatDate(d, "dd \"open"), "2026-12-06 13:05:09");
    EXPECT_FALSE(TryFormatDate(std::nan(""), "dd", out));
    EXPECT_FALSE(TryFormatDate(1e12, "dd", out));
}
