// The text writer: head line, numbering, failures that leave the file intact.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <filesystem>

#include "output/Output.h"
#include "output/OutputTestSupport.h"
#include "support/TestContext.h"
#include "util/AtomicFile.h"

namespace pelkor {
namespace {

using testing::ReadFile;
using testing::WriteFile;

class TextWriterTest : public ::testing::Test {
protected:
    TestContext ctx;
    Task& task = ctx.app.Tasks[2];
    std::string path;
    void SetUp() override {
        path = ctx.dir.file("out.csv");
        task.OutputPath = path;
        task.FileType = "CSV";
        task.TimeStamp = 0;
        testing::SetEntries(task, {{'R', 100, 2, "R<$A>", ""}});
    }
    bool Write(const std::string& values) {
        task.LastValues = values;
        return WriteTextRecord(ctx.app, 2);
    }
    // What the reader does before each write.
    void ReaderResetsWhenFileEmptyOrMissing() {
        std::error_code ec;
        if (!std::filesystem::exists(path) || std::filesystem::file_size(path, ec) == 0)
            task.LineCounter = 0;
    }
};

TEST_F(TextWriterTest, HeadLineOnlyIntoNewFileThenNumberedRecords) {
    task.HeadLines = 1;
    task.LineCount = 1;
    task.LineCountText = "No";
    ASSERT_TRUE(Write("1;2"));
    ASSERT_TRUE(Write("3;"));
    EXPECT_EQ(ReadFile(path), "No;R100;R101\r\n1;1;2\r\n2;3;\r\n");
    EXPECT_EQ(task.LineCounter, 2);
}

TEST_F(TextWriterTest, WithoutLineCountTheLineIsTheRecordAlone) {
    ASSERT_TRUE(Write("1;2"));
    ASSERT_TRUE(Write(";"));
    EXPECT_EQ(ReadFile(path), "1;2\r\n;\r\n");
    EXPECT_EQ(task.LineCounter, 2); // counts all the same
}

TEST_F(TextWriterTest, ExistingFileGetsNoHeadLineEvenWhenSwitchedOnLater) {
    ASSERT_TRUE(Write("1;2"));
    task.HeadLines = 1;
    ASSERT_TRUE(Write("3;4"));
    EXPECT_EQ(ReadFile(path), "1;2\r\n3;4\r\n");
}

TEST_F(TextWriterTest, EmptyFileCountsAsNew) {
    WriteFile(path, "");
    task.HeadLines = 1;
    ASSERT_TRUE(Write("1;2"));
    EXPECT_EQ(ReadFile(path), "R100;R101\r\n1;2\r\n");
}

TEST_F(TextWriterTest, DeletedFileIsRecreatedWithHeadAndNumberingFromOne) {
    task.HeadLines = 1;
    task.LineCount = 1;
    for (int i = 0; i < 3; ++i) {
        ReaderResetsWhenFileEmptyOrMissing();
        ASSERT_TRUE(Write("v;w"));
    }
    std::filesystem::remove(path);
    ReaderResetsWhenFileEmptyOrMissing();
    ASSERT_TRUE(Write("x;y"));
    EXPECT_EQ(ReadFile(path), ";R100;R101\r\n1;x;y\r\n");
}

TEST_F(TextWriterTest, RestartedProgramContinuesNumberingAfterRecordsFound) {
    task.LineCount = 1;
    task.HeadLines = 1;
    WriteFile(path, "No;A;B\r\n1;1;2\r\n2;1;2\r\n3;1;2\r\n");
    task.LineCounter = 0;
    ASSERT_TRUE(Write("9;9"));
    EXPECT_EQ(ReadFile(path), "No;A;B\r\n1;1;2\r\n2;1;2\r\n3;1;2\r\n4;9;9\r\n");

    // No head line written by this task; a last line without its line end
    // (edited by hand) is ended before the new record.
    task.HeadLines = 0;
    WriteFile(path, "1;a\r\n2;b");
    task.LineCounter = 0;
    ASSERT_TRUE(Write("c"));
    EXPECT_EQ(ReadFile(path), "1;a\r\n2;b\r\n3;c\r\n");
    EXPECT_EQ(task.LineCounter, 3);

    // A counter that is already running is trusted.
    task.LineCounter = 41;
    ASSERT_TRUE(Write("d"));
    EXPECT_EQ(task.LineCounter, 42);
}

TEST_F(TextWriterTest, OpenFailureReportsReasonAndKeepsCounter) {
    task.OutputPath = ctx.dir.file("missing/out.csv");
    task.LineCounter = 5;
    EXPECT_FALSE(Write("1"));
    EXPECT_NE(ctx.app.Status.LastErrorText.find("missing/out.csv"), std::string::npos);
    EXPECT_EQ(task.LineCounter, 5);
}

TEST_F(TextWriterTest, FullDeviceFailsWithoutCountingTheRecord) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    task.OutputPath = "/dev/full";
    task.LineCounter = 7;
    EXPECT_FALSE(Write("1;2"));
    EXPECT_EQ(task.LineCounter, 7);
    EXPECT_FALSE(ctx.app.Status.LastErrorText.empty());
}

// A write cut off half way (file size limit) leaves no half line behind.
TEST_F(TextWriterTest, PartlyWrittenLineIsTakenBack) {
    WriteFile(path, "1;2\r\n");
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = Write("3333333;4444444");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(ReadFile(path), "1;2\r\n");
    EXPECT_EQ(task.LineCounter, 0);
}

// The file's content decides whether its first line is a head, whatever
// HeadLines says since the restart.
TEST_F(TextWriterTest, RestartNumbersFromTheFileNotFromTodaysHeadLinesSetting) {
    task.LineCount = 1;
    task.LineCountText = "No";
    const std::vector<std::pair<int, std::string>> cases = {
        {0, "No;R100;R101\r\n1;1;2\r\n2;1;2\r\n"},      // head written, then switched off
        {1, "1;1;2\r\n2;1;2\r\n"},                      // none written, then switched on
        {1, "Count;Reg A;Reg B\r\n1;1;2\r\n2;1;2\r\n"}, // a head with other captions
    };
    for (const auto& [headLines, text] : cases) {
        task.HeadLines = static_cast<int16_t>(headLines);
        WriteFile(path, text);
        task.LineCounter = 0;
        ASSERT_TRUE(Write("9;9"));
        EXPECT_EQ(task.LineCounter, 3) << text;
    }
}

TEST_F(TextWriterTest, FullDiskLeavesTheFileAndTheCounterThenTheNextLineIsStored) {
    WriteFile(path, "1;2\r\n");
    SetFileFaultHook([](FileStep step) { return step == FileStep::Append ? ENOSPC : 0; });
    const bool ok = Write("3;4");
    SetFileFaultHook(nullptr);
    EXPECT_FALSE(ok);
    EXPECT_NE(ctx.app.Status.LastErrorText.find("No space left on device"), std::string::npos);
    EXPECT_EQ(ReadFile(path), "1;2\r\n");
    ASSERT_TRUE(Write("5;6"));
    EXPECT_EQ(ReadFile(path), "1;2\r\n5;6\r\n");
}

} // namespace
} // namespace pelkor
