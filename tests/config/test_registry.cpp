#include <gtest/gtest.h>

#include <cstdlib>

#include "config/ConfigTestSupport.h"
#include "config/Registry.h"
#include "support/TempDir.h"

namespace pelkor {
namespace {

using test::WriteFile;

const char* const kSystemReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win32\n"
    "\n"
    "[Software\\\\SAIA-Burgess\\\\PG5 1.4] 1415181231\n"
    "#time=1d0a1b2c3d4e5f6\n"
    "\"ProgramFolder\"=\"C:\\\\Program Files\\\\SAIA-Burgess\\\\PG5 1.4\\\\\"\n"
    "\"Quote\"=\"say \\\"hi\\\"\\ttab\"\n"
    "\"Unicode\"=\"Z\\x00fcrich \\x20ac\"\n"
    "\"Cut\"=\"before\\0after\"\n"
    "\"Count\"=dword:00000003\n"
    "\"Expand\"=str(2):\"%ProgramFiles%\"\n"
    "\"Binary\"=hex:01,02,03,\\\n"
    "  04,05\n"
    "@=\"default value\"\n"
    "\"ProgramFolder\"=\"second definition\"\n"
    "\n"
    "[Software\\\\SAIA-Burgess\\\\PG5 1.4\\\\Sub] 1415181231\n"
    "\"ProgramFolder\"=\"sub key\"\n"
    "\r\n"
    "[Software\\\\SAIA-Burgess\\\\PG5 1.4] 1\n"
    "\"Later\"=\"duplicate key is not read\"\n";

TEST(Registry, OnlyPlainStringValuesOfTheFirstMatchingKeyRead) {
    TempDir dir;
    const std::string reg = dir.file("system.reg");
    WriteFile(reg, kSystemReg);
    const std::string key = "SOFTWARE\\SAIA-Burgess\\PG5 1.4";
    auto get = [&](const std::string& k, const std::string& v) {
        return GetRegStringFrom(reg, k, v);
    };
    EXPECT_EQ(get(key, "ProgramFolder"), "C:\\Program Files\\SAIA-Burgess\\PG5 1.4\\");
    EXPECT_EQ(get("software\\saia-burgess\\pg5 1.4\\", "PROGRAMFOLDER"), get(key, "ProgramFolder"));
    EXPECT_EQ(get(key, "Quote"), "say \"hi\"\ttab");
    EXPECT_EQ(get(key, "Unicode"), "Z\xC3\xBCrich \xE2\x82\xAC");
    EXPECT_EQ(get(key, "Cut"), "before");
    EXPECT_EQ(get(key, ""), "default value");
    EXPECT_EQ(get(key + "\\Sub", "ProgramFolder"), "sub key");
    for (const char* empty : {"Count", "Expand", "Binary", "Missing", "Later"})
        EXPECT_EQ(get(key, empty), "") << empty;
    EXPECT_EQ(get("SOFTWARE\\SAIA-Burgess\\PG5 2.0", "ProgramFolder"), "");
    EXPECT_EQ(GetRegStringFrom(dir.file("none.reg"), key, "ProgramFolder"), "");
    WriteFile(reg, "WINE REGISTRY Version 2\n[Software\\\\A] 1\n\"Open\"=\"never closed\n");
    EXPECT_EQ(get("Software\\A", "Open"), "");
}

TEST(Registry, RegeditExportsAndTheEnvironmentVariable) {
    TempDir dir;
    const std::string reg = dir.file("export.reg");
    WriteFile(reg, "Windows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_CURRENT_USER\\Software\\SAIA-Burgess\\PG5 2.0]\r\n"
                   "\"ProgramFolder\"=\"user hive\"\r\n\r\n"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SAIA-Burgess\\PG5 2.0]\r\n"
                   "\"ProgramFolder\"=\"C:\\\\PG5 2.0\\\\\"\r\n");
    EXPECT_EQ(GetRegStringFrom(reg, "SOFTWARE\\SAIA-Burgess\\PG5 2.0", "ProgramFolder"),
              "C:\\PG5 2.0\\");

    ::unsetenv("PELKOR_REGISTRY");
    EXPECT_EQ(GetRegString("SOFTWARE\\SAIA-Burgess\\PG5 2.0", "ProgramFolder"), "");
    ::setenv("PELKOR_REGISTRY", reg.c_str(), 1);
    EXPECT_EQ(GetRegString("SOFTWARE\\SAIA-Burgess\\PG5 2.0", "ProgramFolder"), "C:\\PG5 2.0\\");
    ::unsetenv("PELKOR_REGISTRY");
}

} // namespace
} // namespace pelkor
