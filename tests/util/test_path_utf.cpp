// The one path joiner and the one UTF codec every layer uses.

#include <gtest/gtest.h>

#include "util/Path.h"
#include "util/Utf.h"

namespace pelkor {
namespace {

TEST(JoinPath, OneSeparatorWhateverTheFolderEndsIn) {
    EXPECT_EQ(JoinPath("/data", "a.txt"), "/data/a.txt");
    EXPECT_EQ(JoinPath("/data/", "a.txt"), "/data/a.txt");
    EXPECT_EQ(JoinPath("C:\\Data\\", "a.txt"), "C:\\Data\\a.txt");
    EXPECT_EQ(JoinPath("", "a.txt"), "a.txt");
    EXPECT_EQ(JoinPath("/", "a.txt"), "/a.txt");
}

TEST(Utf, RoundTripsAndRepairsDamagedText) {
    const std::string text = "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x98\x80";
    const std::u16string units = Utf8ToUtf16(text);
    EXPECT_EQ(units, u"Z\u00FCrich \u20AC \U0001F600");
    EXPECT_EQ(Utf16ToUtf8(units), text);
    // A damaged byte never swallows what follows it.
    EXPECT_EQ(Utf8ToUtf16("a\xC3"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("a\xC3"
                          "b",
                          BadUtf8::Latin1),
              u"a\u00C3b");
    EXPECT_EQ(Utf8ToUtf16("\xE0\x80\x80", BadUtf8::Replace), u"\uFFFD\uFFFD\uFFFD"); // overlong
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}

} // namespace
} // namespace pelkor
