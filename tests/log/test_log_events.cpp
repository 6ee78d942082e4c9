#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

#include "log/LogEvents.h"
#include "support/TestContext.h"
#include "util/DateTime.h"

using namespace pelkor;
namespace fs = std::filesystem;

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        c.clock.Set(DateFromParts(2026, 12, 6, 10, 15, 0));
        SetLogFolder(c.app.Settings, c.dir.path());
        c.app.Settings.LogUsed = 1;
    }
    std::string Log() { return ReadAll(c.app.Settings.LogFile); }
    TestContext c;
    const std::string stamp = "2026-12-06 10:15:00";
};

const std::string kStars = "* * * * * * * * * * * * * * * * * * * * *";
const std::string kEquals = "= = = = = = = = = = = = = = = = = = = = = = = = = = = = = = = = =";

} // namespace

TEST_F(LogTest, LinesOfEachCodeWithCrLf) {
    EXPECT_TRUE(LogEvent(c.app, 0, ""));
    EXPECT_TRUE(LogEvent(c.app, 1, "Pelkor started"));
    EXPECT_TRUE(LogEvent(c.app, 2, "Read STN 3 R 100 failed : no response"));
    EXPECT_TRUE(LogEvent(c.app, 7, "odd code counts as error"));
    EXPECT_EQ(Log(), kStars + "\r\n" + stamp + " - Pelkor started\r\n" + stamp +
                         " - Err 1 - Read STN 3 R 100 failed : no response\r\n" + stamp +
                         " - Err 2 - odd code counts as error\r\n");
    EXPECT_EQ(c.app.Settings.LogFile, c.dir.path() + "/Pelkor.txt");
}

TEST_F(LogTest, StatusLineShowsEveryTextWhetherOrNotTheFileIsUsed) {
    c.app.Settings.LogUsed = 0;
    LogEvent(c.app, 1, "info");
    LogEvent(c.app, 2, "error");
    LogEvent(c.app, 0, "");
    EXPECT_EQ(c.ui.StatusLines(), (std::vector<std::string>{"info", "error", ""}));
    EXPECT_FALSE(fs::exists(c.app.Settings.LogFile));
    EXPECT_EQ(c.app.Log.ErrorCounter, 0); // nothing written, nothing counted
    c.app.Settings.LogUsed = 1;
    LogEvent(c.app, 1, "info");
    LogEvent(c.app, 1, "info");
    EXPECT_EQ(c.ui.StatusLines().size(), 5u); // repeated texts still show
}

TEST_F(LogTest, RepeatedInformationIsWrittenOnce) {
    LogEvent(c.app, 1, "Connected");
    LogEvent(c.app, 1, "Connected");
    LogEvent(c.app, 2, "Oops"); // an error in between changes nothing
    LogEvent(c.app, 1, "Connected");
    LogEvent(c.app, 0, "");
    LogEvent(c.app, 1, "Connected");
    LogEvent(c.app, 1, "Disconnected");
    LogEvent(c.app, 1, "Connected");
    LogEvent(c.app, 1, ""); // empty texts are never suppressed
    LogEvent(c.app, 1, "");
    EXPECT_EQ(Log(), stamp + " - Connected\r\n" + stamp + " - Err 1 - Oops\r\n" + kStars + "\r\n" +
                         stamp + " - Disconnected\r\n" + stamp + " - Connected\r\n" + stamp +
                         " - \r\n" + stamp + " - \r\n");
}

TEST_F(LogTest, ErrorCounterWrapsToZero) {
    c.app.Log.ErrorCounter = INT32_MAX - 1;
    LogEvent(c.app, 2, "a");
    LogEvent(c.app, 2, "b");
    LogEvent(c.app, 2, "c");
    EXPECT_EQ(Log(), stamp + " - Err 2147483647 - a\r\n" + stamp + " - Err 0 - b\r\n" + stamp +
                         " - Err 1 - c\r\n");
}

TEST_F(LogTest, TimeStampIsTheGeneralDateOfTheClock) {
    c.clock.Set(DateFromParts(2027, 1, 2)); // midnight: date alone
    LogEvent(c.app, 1, "x");
    c.clock.AdvanceSeconds(3661);
    LogEvent(c.app, 1, "y");
    EXPECT_EQ(Log(), "2027-01-02 - x\r\n2027-01-02 01:01:01 - y\r\n");
}

TEST_F(LogTest, FullFileRollsOverToBakWithTheEndBlock) {
    const std::string file = c.app.Settings.LogFile;
    const std::string bak = c.dir.file("Pelkor.bak");
    std::string old(100001, 'x');
    std::ofstream(file, std::ios::binary) << old;
    std::ofstream(bak, std::ios::binary) << "older backup";
    EXPECT_TRUE(LogEvent(c.app, 1, "next event"));
    EXPECT_EQ(Log(), stamp + " - next event\r\n");
    EXPECT_EQ(ReadAll(bak), old + "\r\n" + kEquals + "\r\n" + stamp +
                                " - End of this loging file (max. 100'000 bytes).\r\n" + kEquals +
                                "\r\n");
}

TEST_F(LogTest, FileAtTheLimitIsNotRolledOver) {
    std::ofstream(c.app.Settings.LogFile, std::ios::binary) << std::string(100000, 'x');
    LogEvent(c.app, 1, "e");
    EXPECT_EQ(Log().size(), 100000 + stamp.size() + 6);
    EXPECT_FALSE(fs::exists(c.dir.file("Pelkor.bak")));
}

TEST_F(LogTest, GrowingLogKeepsRollingOver) {
    for (int i = 0; i < 3000; ++i)
        ASSERT_TRUE(LogEvent(c.app, 2, "a line of some length to fill the log"));
    EXPECT_LE(fs::file_size(c.app.Settings.LogFile), 100200u);
    EXPECT_TRUE(fs::exists(c.dir.file("Pelkor.bak")));
    EXPECT_GT(fs::file_size(c.dir.file("Pelkor.bak")), 100000u);
}

TEST_F(LogTest, MissingFolderFallsBackToTheDataFolderNotTheCurrentOne) {
    TempDir cwd;
    std::string before = fs::current_path().string();
    ASSERT_EQ(::chdir(cwd.path().c_str()), 0);
    SetLogFolder(c.app.Settings, c.dir.file("gone/away"));
    bool ok = LogEvent(c.app, 1, "still logged");
    std::string folder = c.app.Settings.LogFolder, file = c.app.Settings.LogFile;
    ASSERT_EQ(::chdir(before.c_str()), 0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(folder, c.app.UserDataFolder);
    EXPECT_EQ(file, folder + "/Pelkor.txt");
    EXPECT_EQ(ReadAll(c.dir.file("Pelkor.txt")), stamp + " - still logged\r\n");
    EXPECT_FALSE(fs::exists(cwd.file("Pelkor.txt")));
}

TEST_F(LogTest, UnwritableLogGoesOnInTheDataFolderSaidOnce) {
    TempDir other;
    SetLogFolder(c.app.Settings, other.path());
    fs::create_directory(c.app.Settings.LogFile); // cannot be written
    EXPECT_TRUE(LogEvent(c.app, 1, "first"));
    EXPECT_TRUE(LogEvent(c.app, 1, "second"));
    EXPECT_EQ(c.app.Settings.LogFolder, other.path()) << "the user's choice is kept for a save";
    const std::string log = ReadAll(c.dir.file("Pelkor.txt"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;
    EXPECT_NE(log.find("the log goes on in " + c.dir.file("Pelkor.txt")), std::string::npos) << log;
    EXPECT_NE(log.find(" - second"), std::string::npos);
}

TEST_F(LogTest, WriteFailureIsReportedToTheCaller) {
    fs::create_directory(c.app.Settings.LogFile); // a folder where the file should be
    c.app.Status.LastErrorText.clear();
    EXPECT_FALSE(LogEvent(c.app, 2, "lost?"));
    EXPECT_NE(c.app.Status.LastErrorText.find(c.app.Settings.LogFile), std::string::npos);
    EXPECT_EQ(c.ui.LastStatusLine(), "lost?"); // the user still saw it
}

// A disk that fills in the middle of a line (a file size limit stops the
// write part-way, as a full disk does): the part written is taken back, and
// the next event starts a line of its own.
TEST_F(LogTest, NoEventIsGluedOntoATornLine) {
    ASSERT_TRUE(LogEvent(c.app, 1, "first"));
    const std::string before = Log();
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = before.size() + 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = LogEvent(c.app, 1, "second, longer than the room that is left");
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(written);
    EXPECT_EQ(Log(), before);

    ASSERT_TRUE(LogEvent(c.app, 1, "third"));
    EXPECT_EQ(Log(), before + stamp + " - third\r\n");
}

TEST_F(LogTest, TextIsWrittenAsUtf8Bytes) {
    LogEvent(c.app, 1, "Temp\xC3\xA9rature \xE2\x82\xAC");
    EXPECT_EQ(Log(), stamp + " - Temp\xC3\xA9rature \xE2\x82\xAC\r\n");
}

TEST(LogNames, FileAndBackupNames) {
    EXPECT_EQ(LogFileOf("/var/log/pelkor"), "/var/log/pelkor/Pelkor.txt");
    EXPECT_EQ(LogFileOf("/var/log/pelkor/"), "/var/log/pelkor/Pelkor.txt");
    EXPECT_EQ(LogFileOf("C:\\Logs\\"), "C:\\Logs\\Pelkor.txt");
    EXPECT_EQ(LogBackupName("/a/Pelkor.txt"), "/a/Pelkor.bak");
    EXPECT_EQ(LogBackupName("/a.b/log"), "/a.b/log.bak");
    EXPECT_EQ(LogBackupName("/a/x.y.txt"), "/a/x.y.bak");
    AppSettings s;
    SetLogFolder(s, "/x");
    EXPECT_EQ(s.LogFolder, "/x");
    EXPECT_EQ(s.LogFile, "/x/Pelkor.txt");
}
