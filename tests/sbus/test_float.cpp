// PCD float conversions against hand-computed words and the text parser's
// status codes.
#include "sbus/PcdFloat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

using namespace pelsbus;

TEST(PcdFloat, KnownWordsBothWays) {
    EXPECT_EQ(IeeeToPcd(1.0f), 0x80000041u);
    EXPECT_EQ(IeeeToPcd(-1.0f), 0x800000C1u);
    EXPECT_EQ(IeeeToPcd(0.5f), 0x80000040u);
    EXPECT_EQ(IeeeToPcd(1.5f), 0xC0000041u);
    EXPECT_EQ(PcdToIeee(0x80000041u), 1.0f);
    EXPECT_EQ(PcdToIeee(0x800000C1u), -1.0f);
    EXPECT_EQ(PcdToIeee(0xC0000041u), 1.5f);
    EXPECT_EQ(IeeeToPcd(0.0f), 0u);
    EXPECT_EQ(IeeeToPcd(-0.0f), 0u);
    EXPECT_EQ(PcdToIeee(0x00000000u), 0.0f);
    EXPECT_EQ(PcdToIeee(0x7FFFFFFFu), 0.0f);
}

TEST(PcdFloat, RangeEnds) {
    EXPECT_EQ(IeeeToPcd(std::numeric_limits<float>::infinity()), 0xFFFFFFFFu);
    EXPECT_EQ(IeeeToPcd(-std::numeric_limits<float>::infinity()), 0xFFFFFFFFu);
    EXPECT_EQ(IeeeToPcd(std::numeric_limits<float>::quiet_NaN()), 0xFFFFFFFFu);
    EXPECT_EQ(IeeeToPcd(std::ldexp(1.0f, -66)), 0u);
    EXPECT_EQ(IeeeToPcd(std::ldexp(1.0f, 63)), 0xFFFFFFFFu);
    EXPECT_EQ(IeeeToPcd(std::numeric_limits<float>::denorm_min()), 0u);
    // Smallest and largest magnitudes survive the round trip exactly.
    const float smallest = std::ldexp(1.0f, -65);
    const float largest = std::ldexp(1.0f - std::ldexp(1.0f, -24), 63);
    EXPECT_EQ(IeeeToPcd(smallest), 0x80000000u);
    EXPECT_EQ(IeeeToPcd(largest), 0xFFFFFF7Fu);
    EXPECT_EQ(PcdToIeee(IeeeToPcd(smallest)), smallest);
    EXPECT_EQ(PcdToIeee(IeeeToPcd(largest)), largest);
    for (float f : {3.14159f, -273.15f, 1e-10f, 6.02e17f, -0.001f})
        EXPECT_EQ(PcdToIeee(IeeeToPcd(f)), f) << f;
}

TEST(PcdFloat, DecimalTextStatusCodes) {
    int32_t st = -1;
    EXPECT_EQ(DecimalToPcd("1.5", st), 0xC0000041u);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(DecimalToPcd("  -1", st), 0x800000C1u);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(DecimalToPcd("2.5e-1", st), IeeeToPcd(0.25f));
    EXPECT_EQ(DecimalToPcd("1e30", st), 0u);
    EXPECT_EQ(st, 1);
    EXPECT_EQ(DecimalToPcd("-1e19", st), 0u);
    EXPECT_EQ(st, 1);
    EXPECT_EQ(DecimalToPcd("1e-30", st), 0u);
    EXPECT_EQ(st, 2);
    EXPECT_EQ(DecimalToPcd("12abc", st), 0u);
    EXPECT_EQ(st, 3);
    EXPECT_EQ(DecimalToPcd("1.5 ", st), 0u);
    EXPECT_EQ(st, 3);
    EXPECT_EQ(DecimalToPcd("", st), 0u);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(DecimalToPcd("0", st), 0u);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(DecimalToPcd("1e-50", st), 0u); // rounds to zero as a single
    EXPECT_EQ(st, 0);
    EXPECT_EQ(DecimalToPcd("nan", st), 0u);
    EXPECT_EQ(st, 3);
    EXPECT_EQ(DecimalToPcd(nullptr, st), 0u);
    EXPECT_EQ(st, 3);
    // Only blanks, sign, digits with a point and an exponent: no hexadecimal
    // and no infinity, which the C conversion would take.
    for (const char* text :
         {"0x10", "0X1p4", "inf", "-inf", "infinity", "  ", ".", "-", "1e", "+.e5"}) {
        st = -1;
        EXPECT_EQ(DecimalToPcd(text, st), 0u) << text;
        EXPECT_EQ(st, 3) << text;
    }
    EXPECT_EQ(DecimalToPcd(" +.5", st), IeeeToPcd(0.5f));
    EXPECT_EQ(st, 0);
    EXPECT_EQ(DecimalToPcd("5.E-1", st), IeeeToPcd(0.5f));
    EXPECT_EQ(st, 0);
}

TEST(PcdFloat, DecimalPointWhateverTheHostLocale) {
    // A host that set a comma locale must still get the point.
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
    int32_t st = -1;
    EXPECT_EQ(DecimalToPcd("1.5", st), 0xC0000041u);
    EXPECT_EQ(st, 0);
    std::setlocale(LC_NUMERIC, "C");
}
