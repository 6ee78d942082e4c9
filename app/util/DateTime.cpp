#include "util/DateTime.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <langinfo.h>

#include "util/Text.h"

namespace pelkor {

namespace {

// Days of the proleptic Gregorian calendar relative to 1 March of year 0
// (Hinnant's algorithm); shifted so that 30 December 1899 is day 0.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

const long long kEpoch = DaysFromCivil(1899, 12, 30);

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

// The representable range: 1 January 100 to 31 December 9999.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958465.99999999;

bool InRange(Date d) {
    return std::isfinite(d) && d >= kMinDate - 1 && d <= kMaxDate + 1e-9;
}

// A day count from the plain number line (negative dates hold the time as a
// positive fraction).
Date FromLinear(double l) {
    if (l >= 0) return l;
    double day = std::floor(l);
    double time = l - day;
    return day == 0 ? time : day - time;
}

struct Split_ {
    long long day; // calendar day, 0 = 30 December 1899
    long long ms;  // milliseconds into the day
};

Split_ SplitDate(Date d, bool toSeconds) {
    if (!std::isfinite(d)) d = 0;
    if (d < kMinDate) d = kMinDate;
    if (d > kMaxDate) d = kMaxDate;
    double whole = std::trunc(d);
    double frac = std::fabs(d - whole);
    long long ms = std::llround(frac * 86400000.0);
    if (toSeconds) ms = (ms + 500) / 1000 * 1000;
    long long day = static_cast<long long>(whole);
    if (ms >= 86400000) {
        ms -= 86400000;
        day += 1;
    }
    if (day > 2958465) { // rounding never leaves the calendar's last day
        day = 2958465;
        ms = toSeconds ? 86399000 : 86399999;
    }
    return {day, ms};
}

CivilTime CivilOf(Date d, bool toSeconds) {
    Split_ s = SplitDate(d, toSeconds);
    CivilTime c;
    CivilFromDays(s.day + kEpoch, c.Year, c.Month, c.Day);
    c.Hour = static_cast<int>(s.ms / 3600000);
    c.Minute = static_cast<int>(s.ms / 60000 % 60);
    c.Second = static_cast<int>(s.ms / 1000 % 60);
    c.Millisecond = static_cast<int>(s.ms % 1000);
    long long wd = ((s.day % 7) + 7 + 6) % 7; // day 0 was a Saturday
    c.Weekday = static_cast<int>(wd) + 1;
    return c;
}

bool IsCLocale() {
    const char* name = std::setlocale(LC_TIME, nullptr);
    if (!name) return true;
    return std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
           std::strncmp(name, "C.", 2) == 0;
}

std::tm TmOf(const CivilTime& c) {
    std::tm t{};
    t.tm_year = c.Year - 1900;
    t.tm_mon = c.Month - 1;
    t.tm_mday = c.Day;
    t.tm_hour = c.Hour;
    t.tm_min = c.Minute;
    t.tm_sec = c.Second;
    t.tm_wday = c.Weekday - 1;
    t.tm_yday =
        static_cast<int>(DaysFromCivil(c.Year, c.Month, c.Day) - DaysFromCivil(c.Year, 1, 1));
    t.tm_isdst = -1;
    return t;
}

std::string Strftime(const char* format, const std::tm& t) {
    char buf[256];
    std::size_t n = std::strftime(buf, sizeof buf, format, &t);
    return std::string(buf, n);
}

std::string Two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

std::string IsoDate(const CivilTime& c) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.Year, c.Month, c.Day);
    return buf;
}

std::string IsoTime(const CivilTime& c) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", c.Hour, c.Minute, c.Second);
    return buf;
}

bool ValidCivil(int y, int m, int d, int h, int mi, double s) {
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
        s < 0 || s >= 60)
        return false;
    int yy, mm, dd;
    CivilFromDays(DaysFromCivil(y, m, d), yy, mm, dd);
    return yy == y && mm == m && dd == d;
}

// Reads 1..maxDigits digits at s[i]; advances i.
bool Digits(std::string_view s, std::size_t& i, int minDigits, int maxDigits, int& value) {
    int n = 0;
    value = 0;
    while (i < s.size() && n < maxDigits && s[i] >= '0' && s[i] <= '9') {
        value = value * 10 + (s[i] - '0');
        ++i;
        ++n;
    }
    return n >= minDigits;
}

// "hh:mm[:ss[.fff]]" from s[i] to the end.
bool ParseClock(std::string_view s, std::size_t i, int& h, int& mi, double& sec) {
    int ss = 0;
    sec = 0;
    if (!Digits(s, i, 1, 2, h) || i >= s.size() || s[i] != ':') return false;
    ++i;
    if (!Digits(s, i, 2, 2, mi)) return false;
    if (i < s.size() && s[i] == ':') {
        ++i;
        if (!Digits(s, i, 2, 2, ss)) return false;
        sec = ss;
        if (i < s.size() && s[i] == '.') {
            ++i;
            double scale = 0.1;
            std::size_t start = i;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 9) {
                sec += (s[i] - '0') * scale;
                scale /= 10;
                ++i;
            }
            if (i == start) return false;
        }
    }
    return i == s.size() && h <= 23 && mi <= 59 && sec < 60;
}

bool ParseIso(std::string_view s, Date& out) {
    std::size_t i = 0;
    int y, m, d, h = 0, mi = 0;
    double sec = 0;
    if (!Digits(s, i, 4, 4, y) || i >= s.size() || s[i] != '-') return false;
    ++i;
    if (!Digits(s, i, 1, 2, m) || i >= s.size() || s[i] != '-') return false;
    ++i;
    if (!Digits(s, i, 1, 2, d)) return false;
    if (i < s.size()) {
        if (s[i] != ' ' && s[i] != 'T' && s[i] != '\t') return false;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == 'T'))
            ++i;
        if (!ParseClock(s, i, h, mi, sec)) return false;
    }
    if (!ValidCivil(y, m, d, h, mi, sec)) return false;
    out = DateFromParts(y, m, d, h, mi, sec);
    return true;
}

// One locale form through strptime; the whole text must be used.
bool ParseLocale(const std::string& s, const char* format, bool hasDate, bool hasTime, Date& out) {
    std::tm t{};
    t.tm_mday = 1;
    const char* end = strptime(s.c_str(), format, &t);
    if (!end) return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end) return false;
    int y = t.tm_year + 1900, m = t.tm_mon + 1, d = t.tm_mday;
    if (!hasDate) y = 1899, m = 12, d = 30;
    int h = hasTime ? t.tm_hour : 0, mi = hasTime ? t.tm_min : 0, sec = hasTime ? t.tm_sec : 0;
    if (sec == 60) sec = 59; // a leap second strptime lets through
    if (!ValidCivil(y, m, d, h, mi, sec)) return false;
    out = hasDate ? DateFromParts(y, m, d, h, mi, sec) : (h * 3600.0 + mi * 60.0 + sec) / 86400.0;
    return true;
}

} // namespace

Date DateFromParts(int year, int month, int day, int hour, int minute, double second) {
    long long y = year;
    long long m0 = static_cast<long long>(month) - 1;
    y += (m0 >= 0 ? m0 : m0 - 11) / 12;
    m0 = ((m0 % 12) + 12) % 12;
    double days = static_cast<double>(DaysFromCivil(y, static_cast<unsigned>(m0 + 1), 1) - kEpoch) +
                  (day - 1.0);
    double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    return FromLinear(days + time);
}

CivilTime ToCivil(Date d) {
    return CivilOf(d, false);
}

Date DatePart(Date d) {
    return std::isfinite(d) ? std::trunc(d) : 0;
}
Date TimePart(Date d) {
    return std::isfinite(d) ? std::fabs(d - std::trunc(d)) : 0;
}

Date DateFromTimeT(std::time_t t) {
    std::tm lt{};
    if (!localtime_r(&t, &lt)) return 0;
    return DateFromParts(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min,
                         lt.tm_sec);
}

std::time_t TimeTFromDate(Date d) {
    CivilTime c = ToCivil(d);
    std::tm t = TmOf(c);
    return std::mktime(&t);
}

std::string DateText(Date d) {
    CivilTime c = CivilOf(d, true);
    if (IsCLocale()) return IsoDate(c);
    return Strftime("%x", TmOf(c));
}

std::string TimeText(Date d) {
    CivilTime c = CivilOf(d, true);
    if (IsCLocale()) return IsoTime(c);
    return Strftime("%X", TmOf(c));
}

std::string GeneralDateText(Date d) {
    Split_ s = SplitDate(d, true);
    if (s.day == 0) return TimeText(d);
    if (s.ms == 0) return DateText(d);
    return DateText(d) + " " + TimeText(d);
}

bool ParseDateText(std::string_view text, Date& out) {
    std::string s = Trim(text);
    if (s.empty() || s.size() > 200) return false;
    if (ParseIso(s, out)) return true;
    int h, mi;
    double sec;
    if (ParseClock(s, 0, h, mi, sec)) {
        out = (h * 3600.0 + mi * 60.0 + sec) / 86400.0;
        return true;
    }
    if (IsCLocale()) return false;
    return ParseLocale(s, "%x %X", true, true, out) || ParseLocale(s, "%x", true, false, out) ||
           ParseLocale(s, "%X", false, true, out);
}

int WeekdayOf(Date d) {
    return ToCivil(d).Weekday;
}

int WeekOfYear(Date d) {
    CivilTime c = ToCivil(d);
    long long doy = DaysFromCivil(c.Year, c.Month, c.Day) - DaysFromCivil(c.Year, 1, 1); // 0-based
    int jan1 = WeekdayOf(DateFromParts(c.Year, 1, 1)) - 1; // 0 = Sunday
    return static_cast<int>((doy + jan1) / 7 + 1);
}

namespace {

// A 12-hour clock when the pattern holds an AM/PM marker outside quotes.
// False for an unterminated quote.
bool FindTwelveHour(std::string_view pattern, bool& twelve) {
    twelve = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '"') {
            std::size_t e = pattern.find('"', i + 1);
            if (e == std::string_view::npos) return false;
            i = e;
            continue;
        }
        if (pattern[i] == '\\') {
            ++i;
            continue;
        }
        std::string_view rest = pattern.substr(i);
        if (StartsWithNoCase(rest, "AM/PM") || StartsWithNoCase(rest, "A/P") ||
            StartsWithNoCase(rest, "AMPM"))
            twelve = true;
    }
    return true;
}

// Quoted text, escapes, AM/PM markers and other characters that are no
// field letter: appended to r, i moved past them. False at a field letter.
bool AppendLiteral(std::string_view pattern, std::size_t& i, const CivilTime& c, std::string& r) {
    const char ch = pattern[i];
    const char lo = static_cast<char>(ch | 0x20);
    std::string_view rest = pattern.substr(i);
    if (ch == '"') {
        std::size_t e = pattern.find('"', i + 1);
        r.append(pattern.substr(i + 1, e - i - 1));
        i = e + 1;
    } else if (ch == '\\') {
        if (i + 1 < pattern.size()) r += pattern[i + 1];
        i += 2;
    } else if (StartsWithNoCase(rest, "AM/PM")) {
        r.append(c.Hour < 12 ? rest.substr(0, 2) : rest.substr(3, 2));
        i += 5;
    } else if (StartsWithNoCase(rest, "AMPM")) {
        r += nl_langinfo(c.Hour < 12 ? AM_STR : PM_STR);
        i += 4;
    } else if (StartsWithNoCase(rest, "A/P")) {
        r += c.Hour < 12 ? rest[0] : rest[2];
        i += 3;
    } else if (ch < 0 || !std::strchr("dmyhnswqtc", lo)) {
        r += ch;
        ++i;
    } else {
        return false;
    }
    return true;
}

struct FieldContext {
    Date d;
    CivilTime c;
    std::tm tm;
    bool twelve;
};

// n letters `lo` (pattern letter ch); m after an hour means minutes.
void AppendField(const FieldContext& x, char ch, char lo, std::size_t n, bool afterHour,
                 std::string& r) {
    const CivilTime& c = x.c;
    switch (lo) {
    case 'd':
        if (n == 1)
            r += std::to_string(c.Day);
        else if (n == 2)
            r += Two(c.Day);
        else if (n == 3)
            r += Strftime("%a", x.tm);
        else if (n == 4)
            r += Strftime("%A", x.tm);
        else
            r += DateText(x.d);
        break;
    case 'm':
        if (n <= 2 && afterHour)
            r += n == 1 ? std::to_string(c.Minute) : Two(c.Minute);
        else if (n == 1)
            r += std::to_string(c.Month);
        else if (n == 2)
            r += Two(c.Month);
        else if (n == 3)
            r += Strftime("%b", x.tm);
        else
            r += Strftime("%B", x.tm);
        break;
    case 'y':
        if (n == 1)
            r += std::to_string(x.tm.tm_yday + 1);
        else if (n <= 3)
            r += Two(c.Year % 100);
        else
            r += std::to_string(c.Year);
        break;
    case 'h': {
        int h = c.Hour;
        if (x.twelve) h = h % 12 == 0 ? 12 : h % 12;
        r += n == 1 ? std::to_string(h) : Two(h);
        break;
    }
    case 'n':
        r += n == 1 ? std::to_string(c.Minute) : Two(c.Minute);
        break;
    case 's':
        r += n == 1 ? std::to_string(c.Second) : Two(c.Second);
        break;
    case 'w':
        r += n == 1 ? std::to_string(c.Weekday) : std::to_string(WeekOfYear(x.d));
        break;
    case 'q':
        r += std::string(n, '0' + static_cast<char>((c.Month - 1) / 3 + 1));
        break;
    case 't':
        if (n >= 5)
            r += TimeText(x.d);
        else
            r.append(n, ch);
        break;
    case 'c':
        r += GeneralDateText(x.d);
        break;
    }
}

} // namespace

bool TryFormatDate(Date d, std::string_view pattern, std::string& out) {
    if (!InRange(d)) return false;
    const CivilTime c = CivilOf(d, true);
    bool twelve = false;
    if (!FindTwelveHour(pattern, twelve)) return false;
    const FieldContext x{d, c, TmOf(c), twelve};

    std::string r;
    bool afterHour = false;
    std::size_t i = 0;
    while (i < pattern.size()) {
        if (AppendLiteral(pattern, i, c, r)) continue;
        const char ch = pattern[i];
        const char lo = static_cast<char>(ch | 0x20);
        std::size_t n = 0;
        while (i + n < pattern.size() && (pattern[i + n] | 0x20) == lo)
            ++n;
        i += n;
        AppendField(x, ch, lo, n, afterHour, r);
        afterHour = lo == 'h';
    }
    out = std::move(r);
    return true;
}

std::string FormatDate(Date d, std::string_view pattern) {
    std::string out;
    if (TryFormatDate(d, pattern, out)) return out;
    return GeneralDateText(d);
}

} // namespace pelkor
