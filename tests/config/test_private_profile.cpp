#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "config/ConfigTestSupport.h"
#include "config/PrivateProfile.h"
#include "support/FileFaults.h"
#include "support/TempDir.h"

namespace pelkor {
namespace {

using test::HiddenFiles;
using test::ReadFile;
using test::WriteFile;

// Case, blanks, comments, orphan keys, duplicates, quotes, NUL, the length
// limit (never splitting a UTF-8 character), line ends and the byte-order mark.
const std::string kOdd =
    "\xEF\xBB\xBForphan=1\r\n[Task1]\r\n  ReadInterval  =  12  \r\nreadinterval=99\r\n"
    "; Comments=not a key\r\njust text\n[ TASK1 ]\rExtra=dup section\r\n[task2]\r\n"
    "Quoted=\"  a b  \"\r\nSingle='x'\r\nOdd=\"x'\r\nEmpty=\r\nNul=ab" +
    std::string(1, '\0') + "cd\r\nLong=" + std::string(ProfileValueLimit - 1, 'a') +
    "\xC3\xA9zz\r\nSemi=12 ;; c\r\n"
    "[C\r\nw=5\r\n[D]x\r\nLast=no newline";

TEST(Profile, ReadRules) {
    ProfileDocument doc = ProfileDocument::Parse(kOdd);
    EXPECT_EQ(doc.Get("TASK1", "READINTERVAL"), "12");
    for (const char* key : {"Comments", "just text", "Extra"})
        EXPECT_EQ(doc.Get("Task1", key, "-"), "-") << key;
    EXPECT_EQ(doc.Get("", "orphan", "-"), "-");
    EXPECT_EQ(doc.Get("task2", "Quoted"), "  a b  ");
    EXPECT_EQ(doc.Get("task2", "Single") + doc.Get("task2", "Odd") + doc.Get("task2", "Nul"),
              "x\"x'ab");
    EXPECT_EQ(doc.Get("task2", "Empty", "-"), "");
    EXPECT_EQ(doc.Get("task2", "Long"), std::string(ProfileValueLimit - 1, 'a'));
    EXPECT_EQ(doc.Get("task2", "Semi"), "12 ;; c"); // the ";;" rule belongs to start files
    EXPECT_EQ(doc.Get("C", "w") + doc.Get("D", "Last"), "5no newline");
    EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"Task1", "task2", "C", "D"}));
    EXPECT_EQ(doc.SectionEntries("task1").size(), 1u);
    EXPECT_EQ(doc.Text().substr(0, 22), "\xEF\xBB\xBForphan=1\r\n[Task1]\r\n");

    // Reading one key straight from the file follows the same rules.
    TempDir dir;
    WriteFile(dir.file("odd.pelk"), kOdd);
    for (const char* section : {"task1", " TASK1 ", "Task2", "C", "D", "", "orphan"})
        for (const char* key :
             {"readinterval", "Extra", "Quoted", "Nul", "Long", "Empty", "w", "Last", "orphan"})
            EXPECT_EQ(ReadProfileString(dir.file("odd.pelk"), section, key, "-"),
                      doc.Get(section, key, "-"))
                << section << "/" << key;
}

TEST(Profile, WritesKeepEveryOtherLine) {
    ProfileDocument doc =
        ProfileDocument::Parse("; job\r\n\r\n[Pelkor]\r\nVERSION = 2 ;; old\r\nTask=1\r\n\r\n; the "
                               "first task\r\n[Task1]\r\nData=R 1\r\n"
                               "K=1\r\nK=2\r\n# just a line\r\n\r\n[Unknown]\r\nKeep=me\r\n");
    ASSERT_TRUE(doc.Set("pelkor", "version", "3"));
    ASSERT_TRUE(doc.Set("Pelkor", "LogUsed", "1"));
    ASSERT_TRUE(doc.Set("TASK1", "k", "3"));
    ASSERT_TRUE(doc.Set("TASK1", "Comments", "two\r\n[Pelkor]\nVersion=0")); // cannot start a line
    ASSERT_TRUE(doc.Set("Task2", "Data", "F 5"));
    EXPECT_EQ(doc.Text(), "; job\r\n\r\n[Pelkor]\r\nVERSION=3\r\nTask=1\r\nLogUsed=1\r\n\r\n; the "
                          "first task\r\n[Task1]\r\n"
                          "Data=R 1\r\nK=3\r\nK=2\r\nComments=two  [Pelkor] Version=0\r\n# just a "
                          "line\r\n\r\n[Unknown]\r\n"
                          "Keep=me\r\n\r\n[Task2]\r\nData=F 5\r\n");
    for (auto [section, key] : std::vector<std::pair<const char*, const char*>>{{"T", "a=b"},
                                                                                {"T", ""},
                                                                                {"T", "[x"},
                                                                                {"T", ";x"},
                                                                                {"T", "a\nb"},
                                                                                {"T]", "k"},
                                                                                {"", "k"}})
        EXPECT_FALSE(doc.Set(section, key, "x")) << section << "/" << key;

    ProfileDocument del =
        ProfileDocument::Parse("[Pelkor]\r\nTask=3\r\n\r\n[Task2]\r\nA=1\r\nA=2\r\nB=1\r\n\r\n["
                               "Task3]\r\nC=1\r\n\r\n[task2]\r\nD=1\r\n");
    EXPECT_TRUE(del.RemoveKey("task2", "a"));
    EXPECT_FALSE(del.RemoveKey("Task2", "A"));
    EXPECT_TRUE(del.RemoveSection("TASK2")); // every section of that name
    EXPECT_FALSE(del.RemoveSection("Task2"));
    EXPECT_EQ(del.Text(), "[Pelkor]\r\nTask=3\r\n\r\n[Task3]\r\nC=1\r\n");
    EXPECT_TRUE(del.RemoveSection("Task3"));
    EXPECT_EQ(del.Text(), "[Pelkor]\r\nTask=3\r\n");
}

TEST(Profile, Utf16FilesStayUtf16) {
    // "[Pelkor]\r\nName=Zürich €\r\n" as Notepad saves "Unicode".
    std::string le = "\xFF\xFE";
    for (char32_t c : std::u32string(U"[Pelkor]\r\nName=Z\u00FCrich \u20AC\r\n")) {
        le += static_cast<char>(c & 0xFF);
        le += static_cast<char>(c >> 8);
    }
    ProfileDocument doc = ProfileDocument::Parse(le);
    EXPECT_EQ(doc.Get("pelkor", "name"), "Z\xC3\xBCrich \xE2\x82\xAC");
    EXPECT_EQ(doc.Text(), le);
    TempDir dir;
    WriteFile(dir.file("u.pelk"), le);
    EXPECT_EQ(ReadProfileString(dir.file("u.pelk"), "Pelkor", "Name"),
              "Z\xC3\xBCrich \xE2\x82\xAC");
    ASSERT_TRUE(WriteProfileString(dir.file("u.pelk"), "Pelkor", "Version", "3"));
    std::string back = ReadFile(dir.file("u.pelk"));
    EXPECT_EQ(back.substr(0, le.size()), le);
    EXPECT_EQ(back.substr(le.size(), 4), std::string("V\0e\0", 4));
}

TEST(Profile, FilesAreReplacedWholeKeepingModeAndLinks) {
    TempDir dir;
    const std::string file = dir.file("job.pelk");
    std::string error;
    EXPECT_EQ(ReadProfileString(file, "Pelkor", "Version", "none"), "none");
    ASSERT_TRUE(WriteProfileString(file, "Pelkor", "Version", "3", &error)) << error;
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(WriteProfileStrings(
        file, {{"Pelkor", "Task", "2", false}, {"Pelkor", "Version", "", true}}, &error));
    EXPECT_EQ(ReadFile(file), "[Pelkor]\r\nTask=2\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(HiddenFiles(dir.path()), 0);
    // One bad entry and nothing is written.
    EXPECT_FALSE(WriteProfileStrings(
        file, {{"Pelkor", "Task", "5", false}, {"Pelkor", "bad=key", "1", false}}));
    EXPECT_EQ(ReadFile(file), "[Pelkor]\r\nTask=2\r\n");

    std::filesystem::create_symlink(file, dir.file("link.pelk"));
    ASSERT_TRUE(WriteProfileString(dir.file("link.pelk"), "Pelkor", "Task", "4", &error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.pelk")));
    EXPECT_EQ(ReadProfileString(file, "Pelkor", "Task"), "4");
    ASSERT_TRUE(DeleteProfileSection(file, "pelkor", &error));
    EXPECT_EQ(ReadFile(file), "");
    EXPECT_TRUE(DeleteProfileSection(dir.file("missing.pelk"), "Pelkor"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.pelk")));
}

TEST(Profile, ReadOnlyFilesAndFoldersAndUnreadableFilesFail) {
    TempDir dir;
    const std::string file = dir.file("locked.pelk");
    WriteFile(file, "[Pelkor]\r\nVersion=3\r\n");
    ::chmod(file.c_str(), 0444);
    std::string error;
    EXPECT_FALSE(WriteProfileString(file, "Pelkor", "Version", "4", &error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    EXPECT_FALSE(DeleteProfileSection(file, "Pelkor"));
    EXPECT_EQ(ReadFile(file), "[Pelkor]\r\nVersion=3\r\n");

    const std::string folder = dir.file("ro");
    std::filesystem::create_directory(folder);
    ::chmod(folder.c_str(), 0555);
    EXPECT_FALSE(WriteProfileString(folder + "/new.pelk", "Pelkor", "Version", "3", &error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    EXPECT_FALSE(WriteProfileString(dir.file("none/x.pelk"), "Pelkor", "Version", "3", &error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
    std::string value;
    EXPECT_FALSE(ReadProfileString(folder, "Pelkor", "Version", value,
                                   error)); // a folder, not an empty file
    EXPECT_TRUE(ReadProfileString(dir.file("missing.pelk"), "Pelkor", "Version", value, error));
}

TEST(Profile, WritesKeepTheFilesOwnLineEndsAndFinalLineEnd) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[Task1]\nData=R 1", "[Task1]\nData=R 1\nSettings=1"},
        {"[Task1]\nData=R 1\n", "[Task1]\nData=R 1\nSettings=1\n"},
        {"[Task1]\rData=R 1\r", "[Task1]\rData=R 1\rSettings=1\r"},
        {"[Task1]\r\nData=R 1", "[Task1]\r\nData=R 1\r\nSettings=1"},
        {"", "[Task1]\r\nSettings=1\r\n"},
    };
    for (const auto& [before, after] : cases) {
        ProfileDocument doc = ProfileDocument::Parse(before);
        ASSERT_TRUE(doc.Set("Task1", "Settings", "1"));
        EXPECT_EQ(doc.Text(), after) << before;
    }
}

TEST(Profile, CrashOrFullDiskDuringAStartFileWriteLosesNothing) {
    TempDir dir;
    const std::string file = dir.file("job.pelk"), old = "[Pelkor]\r\nVersion=3\r\nTask=1\r\n";
    const std::string updated = "[Pelkor]\r\nVersion=3\r\nTask=2\r\n";
    for (FileStep step : ReplaceSteps) {
        WriteFile(file, old);
        EXPECT_TRUE(CrashAt(step, [&] { WriteProfileString(file, "Pelkor", "Task", "2"); }));
        const std::string now = ReadFile(file);
        EXPECT_TRUE(now == old || now == updated) << static_cast<int>(step) << ": " << now;
    }
    WriteFile(file, old);
    std::string error;
    {
        FullDisk full;
        EXPECT_FALSE(WriteProfileString(file, "Pelkor", "Task", "2", &error));
    }
    EXPECT_EQ(error, "Cannot write " + file + " : No space left on device");
    EXPECT_EQ(ReadFile(file), old);
    EXPECT_TRUE(WriteProfileString(file, "Pelkor", "Task", "2"));
    EXPECT_EQ(ReadFile(file), updated);
}

} // namespace
} // namespace pelkor
