#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "config/ConfigTestSupport.h"
#include "config/PrivateProfile.h"
#include "support/TempDir.h"

namespace pelkor {
namespace {

using test::HiddenFiles;
using test::ReadFile;
using test::WriteFile;

TEST(ProfileRead, NamesIgnoreCaseAndBlanksAndFirstOccurrenceWins) {
    ProfileDocument doc = ProfileDocument::Parse(
        "orphan=before any section\r\n"
        "[Task1]\r\n"
        "  ReadInterval  =  12  \r\n"
        "readinterval=99\r\n"
        "; Comments=not a key\r\n"
        "just text\r\n"
        "[ TASK1 ]\r\n"
        "Extra=in the duplicate section\r\n"
        "[task2]\r\n"
        "Data=r 1\r\n");
    EXPECT_EQ(doc.Get("TASK1", "READINTERVAL"), "12");
    EXPECT_EQ(doc.Get("task2", "data"), "r 1");
    EXPECT_EQ(doc.Get("Task1", "Comments", "def"), "def");
    EXPECT_EQ(doc.Get("Task1", "just text", "def"), "def");
    EXPECT_EQ(doc.Get("Task1", "Extra", "def"), "def");  // only the first [Task1] counts
    EXPECT_EQ(doc.Get("", "orphan", "def"), "def");
    EXPECT_EQ(doc.Get("Task3", "Data", "def"), "def");
    EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"Task1", "task2"}));
    auto entries = doc.SectionEntries("task1");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].first, "ReadInterval");
}

TEST(ProfileRead, ValueRules) {
    std::string longValue(3000, 'x');
    // A two-byte character straddling the limit is dropped, not split.
    std::string straddle = std::string(ProfileValueLimit - 1, 'a') + "\xC3\xA9" + "zz";
    std::string text = "[S]\r\nQuoted=\"  C:\\My Data  \"\r\nSingle='x'\r\nOdd=\"x'\r\nEmpty=\r\n"
                       "Nul=ab" + std::string(1, '\0') + "cd\r\nLong=" + longValue + "\r\nUtf=" + straddle + "\r\n"
                       "Semi=12 ;; comment\r\n";
    ProfileDocument doc = ProfileDocument::Parse(text);
    EXPECT_EQ(doc.Get("S", "Quoted"), "  C:\\My Data  ");
    EXPECT_EQ(doc.Get("S", "Single"), "x");
    EXPECT_EQ(doc.Get("S", "Odd"), "\"x'");
    std::string v = "unchanged";
    EXPECT_TRUE(doc.Find("S", "Empty", v));
    EXPECT_EQ(v, "");
    EXPECT_EQ(doc.Get("S", "Nul"), "ab");
    EXPECT_EQ(doc.Get("S", "Long"), std::string(ProfileValueLimit, 'x'));
    EXPECT_EQ(doc.Get("S", "Utf"), std::string(ProfileValueLimit - 1, 'a'));
    // The ";;" comment rule belongs to start files, not to the profile layer.
    EXPECT_EQ(doc.Get("S", "Semi"), "12 ;; comment");
}

TEST(ProfileRead, LineEndsAndByteOrderMark) {
    ProfileDocument doc = ProfileDocument::Parse("\xEF\xBB\xBF[Pelkor]\nVersion=3\rTask=2\r\nLast=no newline");
    EXPECT_EQ(doc.Get("Pelkor", "Version"), "3");
    EXPECT_EQ(doc.Get("Pelkor", "Task"), "2");
    EXPECT_EQ(doc.Get("Pelkor", "Last"), "no newline");
    EXPECT_EQ(doc.Text(), "\xEF\xBB\xBF[Pelkor]\r\nVersion=3\r\nTask=2\r\nLast=no newline\r\n");
}

TEST(ProfileWrite, KeepsEveryOtherLineAndPlacesNewKeysAndSections) {
    const std::string original =
        "; job for line 3\r\n"
        "\r\n"
        "[Pelkor]\r\n"
        "VERSION = 2 ;; old\r\n"
        "Task=1\r\n"
        "\r\n"
        "; the first task\r\n"
        "[Task1]\r\n"
        "Data=R 1\r\n"
        "# not a comment on Windows, just a line\r\n"
        "\r\n"
        "[Unknown]\r\n"
        "Keep=me\r\n";
    ProfileDocument doc = ProfileDocument::Parse(original);
    ASSERT_TRUE(doc.Set("pelkor", "version", "3"));
    ASSERT_TRUE(doc.Set("Pelkor", "LogUsed", "1"));
    ASSERT_TRUE(doc.Set("TASK1", "Comments", "new"));
    ASSERT_TRUE(doc.Set("Task2", "Data", "F 5"));
    EXPECT_EQ(doc.Text(),
              "; job for line 3\r\n"
              "\r\n"
              "[Pelkor]\r\n"
              "VERSION=3\r\n"
              "Task=1\r\n"
              "LogUsed=1\r\n"
              "\r\n"
              "; the first task\r\n"
              "[Task1]\r\n"
              "Data=R 1\r\n"
              "Comments=new\r\n"
              "# not a comment on Windows, just a line\r\n"
              "\r\n"
              "[Unknown]\r\n"
              "Keep=me\r\n"
              "\r\n"
              "[Task2]\r\n"
              "Data=F 5\r\n");
    // A duplicate key is replaced where reads find it, the other left alone.
    ProfileDocument dup = ProfileDocument::Parse("[S]\r\nK=1\r\nK=2\r\n");
    ASSERT_TRUE(dup.Set("S", "k", "3"));
    EXPECT_EQ(dup.Text(), "[S]\r\nK=3\r\nK=2\r\n");
}

TEST(ProfileWrite, ValuesStayOnTheirLineAndBadNamesAreRefused) {
    ProfileDocument doc;
    ASSERT_TRUE(doc.Set("Task1", "Comments", "line one\r\n[Pelkor]\nVersion=0"));
    EXPECT_EQ(doc.Get("Task1", "Comments"), "line one  [Pelkor] Version=0");
    EXPECT_FALSE(doc.HasSection("Pelkor"));
    EXPECT_FALSE(doc.Set("Task1", "a=b", "x"));
    EXPECT_FALSE(doc.Set("Task1", "", "x"));
    EXPECT_FALSE(doc.Set("Task1", "[x", "x"));
    EXPECT_FALSE(doc.Set("Task1", ";x", "x"));
    EXPECT_FALSE(doc.Set("Ta]sk", "k", "x"));
    EXPECT_FALSE(doc.Set("", "k", "x"));
    EXPECT_FALSE(doc.Set("Task1", "two\nlines", "x"));
    EXPECT_EQ(doc.SectionEntries("Task1").size(), 1u);
}

TEST(ProfileWrite, RemovingKeysAndSections) {
    ProfileDocument doc = ProfileDocument::Parse(
        "[Pelkor]\r\nTask=3\r\n\r\n[Task2]\r\nA=1\r\nA=2\r\nB=1\r\n\r\n[Task3]\r\nC=1\r\n\r\n[task2]\r\nD=1\r\n");
    EXPECT_TRUE(doc.RemoveKey("task2", "a"));
    EXPECT_FALSE(doc.RemoveKey("Task2", "A"));
    EXPECT_TRUE(doc.RemoveSection("TASK2"));  // every section of that name
    EXPECT_EQ(doc.Text(), "[Pelkor]\r\nTask=3\r\n\r\n[Task3]\r\nC=1\r\n");
    EXPECT_FALSE(doc.RemoveSection("Task2"));
    EXPECT_TRUE(doc.RemoveSection("Task3"));
    EXPECT_EQ(doc.Text(), "[Pelkor]\r\nTask=3\r\n");
}

TEST(ProfileFile, WritesReplaceTheFileWholeAndKeepItsMode) {
    TempDir dir;
    const std::string file = dir.file("job.pelk");
    std::string error;
    // A missing file reads as empty and is created by the first write.
    EXPECT_EQ(ReadProfileString(file, "Pelkor", "Version", "none"), "none");
    ASSERT_TRUE(WriteProfileString(file, "Pelkor", "Version", "3", &error)) << error;
    EXPECT_EQ(ReadFile(file), "[Pelkor]\r\nVersion=3\r\n");
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(WriteProfileStrings(file, {{"Pelkor", "Task", "2", false}, {"Pelkor", "Version", "", true}}, &error));
    EXPECT_EQ(ReadFile(file), "[Pelkor]\r\nTask=2\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(HiddenFiles(dir.path()), 0);

    // An invalid entry anywhere leaves the file as it was.
    EXPECT_FALSE(WriteProfileStrings(file, {{"Pelkor", "Task", "5", false}, {"Pelkor", "bad=key", "1", false}}, &error));
    EXPECT_EQ(ReadFile(file), "[Pelkor]\r\nTask=2\r\n");

    // A link keeps pointing at the start file it names.
    const std::string link = dir.file("link.pelk");
    std::filesystem::create_symlink(file, link);
    ASSERT_TRUE(WriteProfileString(link, "Pelkor", "Task", "4", &error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadProfileString(file, "Pelkor", "Task"), "4");

    ASSERT_TRUE(DeleteProfileSection(file, "pelkor", &error));
    EXPECT_EQ(ReadFile(file), "");
    EXPECT_TRUE(DeleteProfileSection(dir.file("missing.pelk"), "Pelkor", &error));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.pelk")));
}

TEST(ProfileFile, ReadingOneKeyFromTheFileAgreesWithTheDocument) {
    TempDir dir;
    const std::string file = dir.file("odd.pelk");
    const std::string text =
        "\xEF\xBB\xBFk=orphan\r\n[A]\r\nx = 1\r\n;y=2\r\nX=3\n[ b ]\rY='q'\r\n[a]\r\nz=4\r\n"
        "[C\r\nw=5\r\n[D]x\r\nv = \r\n[E]";
    WriteFile(file, text);
    ProfileDocument doc = ProfileDocument::Parse(text);
    for (const char* section : {"A", "a", " A ", "b", "B", "C", "D", "E", "", "k"}) {
        for (const char* key : {"x", "X", "y", ";y", "Y", "z", "w", "v", "k", ""}) {
            SCOPED_TRACE(std::string(section) + "/" + key);
            EXPECT_EQ(ReadProfileString(file, section, key, "<none>"), doc.Get(section, key, "<none>"));
        }
    }
    EXPECT_EQ(ReadProfileString(file, "b", "y"), "q");
    EXPECT_EQ(ReadProfileString(file, "D", "v", "<none>"), "");
}

TEST(ProfileFile, ReadOnlyFileOrFolderAndUnreadableFilesFail) {
    TempDir dir;
    const std::string file = dir.file("locked.pelk");
    WriteFile(file, "[Pelkor]\r\nVersion=3\r\n");
    ::chmod(file.c_str(), 0444);
    std::string error;
    EXPECT_FALSE(WriteProfileString(file, "Pelkor", "Version", "4", &error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(file), "[Pelkor]\r\nVersion=3\r\n");
    EXPECT_FALSE(DeleteProfileSection(file, "Pelkor", &error));

    const std::string folder = dir.file("ro");
    std::filesystem::create_directory(folder);
    ::chmod(folder.c_str(), 0555);
    EXPECT_FALSE(WriteProfileString(folder + "/new.pelk", "Pelkor", "Version", "3", &error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    ::chmod(folder.c_str(), 0755);

    EXPECT_FALSE(WriteProfileString(dir.file("none/x.pelk"), "Pelkor", "Version", "3", &error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;

    // A folder where the file should be: an error, not an empty read.
    std::string value;
    EXPECT_FALSE(ReadProfileString(folder, "Pelkor", "Version", value, error));
    EXPECT_TRUE(ReadProfileString(dir.file("missing.pelk"), "Pelkor", "Version", value, error));
    EXPECT_EQ(value, "");
}

}  // namespace
}  // namespace pelkor
