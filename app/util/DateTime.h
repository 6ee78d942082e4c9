#pragma once
// Dates as day counts since 30 December 1899 (the fraction is the time of
// day) and their conversions to civil time and text. Civil time is local
// time; the text forms follow the process locale (LC_TIME): short date and
// long time of the locale, or "yyyy-mm-dd hh:mm:ss" in the C/POSIX locale.
// Before 30 December 1899 the whole part counts days back while the fraction
// still counts the time forward (-1.25 is 29 December 1899 06:00).

#include <ctime>
#include <string>
#include <string_view>

#include "util/Date.h"

namespace pelkor {

// Date of the civil parts. Out-of-range parts carry over (month 13 is
// January of the next year, day 0 the last day of the month before).
Date DateFromParts(int year, int month, int day, int hour = 0, int minute = 0, double second = 0);

struct CivilTime {
    int Year = 1899, Month = 12, Day = 30, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
    int Weekday = 7; // 1 = Sunday ... 7 = Saturday
};
CivilTime ToCivil(Date d);

// Whole part / time part as the day count sees them.
Date DatePart(Date d);
Date TimePart(Date d);

// Local time of a C time and back.
Date DateFromTimeT(std::time_t t);
std::time_t TimeTFromDate(Date d);

// The general date-and-time text: date only when the time is 0, time only
// when the date is 0 (30 December 1899), else date, blank, time.
std::string GeneralDateText(Date d);
std::string TimeText(Date d);
std::string DateText(Date d);

// Reads a date text: the locale's date and/or time forms, the ISO form
// "yyyy-mm-dd[ hh:mm[:ss]]" and a time alone "hh:mm[:ss]" (a time alone is
// a date of day 0). Blanks around the text are ignored. False, leaving out
// unchanged, for anything else.
bool ParseDateText(std::string_view text, Date& out);

// The date-time pattern language: d dd ddd dddd (day, two-digit day, short
// and long weekday name), m mm mmm mmmm (month, two-digit, short and long
// name; m/mm right after h/hh mean minutes), y (day of the year), yy yyyy,
// h hh (hour; 12-hour clock when the pattern has AM/PM, am/pm, A/P or a/p),
// n nn (minute), s ss (second), w (weekday, 1 = Sunday), ww (week of the year:
// weeks start on Sunday, week 1 holds 1 January), q (quarter). Text inside
// double quotes and a character after "\" are copied as they are; any other
// character is copied too.
// TryFormatDate is false for a pattern that cannot be applied (an unclosed
// quote, a date out of range); FormatDate then gives the general text.
bool TryFormatDate(Date d, std::string_view pattern, std::string& out);
std::string FormatDate(Date d, std::string_view pattern);

// Weekday (1 = Sunday) and week of the year as the pattern language counts.
int WeekdayOf(Date d);
int WeekOfYear(Date d);

} // namespace pelkor
