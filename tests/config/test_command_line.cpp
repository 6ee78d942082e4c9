#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "config/CommandLine.h"
#include "config/ConfigTestSupport.h"
#include "config/PrivateProfile.h"
#include "support/TestContext.h"
#include "tasks/TaskDefaults.h"

namespace pelkor {
namespace {

using test::ReadFile;
using test::WriteFile;

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        DefaultParameters(t.app);
        work = t.dir.file("work");
        std::filesystem::create_directories(work);
    }
    CommandLineResult Run(const std::string& text) { return GetCommandLine(t.app, text, work); }
    const ShownMessage& Only() {
        static const ShownMessage none;
        EXPECT_EQ(t.ui.Messages().size(), 1u);
        return t.ui.Messages().empty() ? none : t.ui.Messages().back();
    }
    TestContext t;
    std::string work;
};

const std::string kJob = "[Pelkor]\r\nVersion=3\r\n";

TEST_F(CommandLineTest, QuotedPathWithBlankAndVersion) {
    const std::string job = t.dir.file("My job.pelk");
    WriteFile(job, kJob);
    EXPECT_EQ(Run("\"" + job + "\" PG5=20"), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.StartFile, job);
    EXPECT_EQ(t.app.Settings.DLL, 20);
    // The built-in library stays selected when no PG5 is installed.
    EXPECT_EQ(t.app.Status.PG5Available, 0);
    EXPECT_TRUE(t.ui.Messages().empty());
    EXPECT_EQ(ReadFile(job), kJob);
    // The same from an argument vector, as the shell hands it over.
    const char* argv[] = {"pelkor", job.c_str(), "pg5=13"};
    EXPECT_EQ(CommandTextFromArgs(3, argv), job + " pg5=13");
    EXPECT_EQ(Run(CommandTextFromArgs(3, argv)), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.DLL, 13);
}

TEST_F(CommandLineTest, RelativeNamesAreTakenFromTheCurrentFolder) {
    WriteFile(work + "/job.pelk", kJob);
    EXPECT_EQ(Run("job.pelk PG5=13"), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.StartFile, work + "/job.pelk");
    std::filesystem::create_directories(work + "/jobs");
    WriteFile(work + "/jobs/a.PELK", kJob);
    EXPECT_EQ(GetCommandLine(t.app, "  jobs/a.PELK   PG5=15", work + "/"), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.StartFile, work + "/jobs/a.PELK");
    EXPECT_EQ(t.app.Settings.DLL, 15);
}

TEST_F(CommandLineTest, MessagesThatEndTheProgram) {
    struct Case {
        std::string text, message;
    };
    for (const Case& c : {Case{"/data/a.pelk.bak PG5=20", "Pelkor cannot start : Missing Settings File."},
                          Case{"/data/jobs.pelk/readme.txt PG5=20", "Pelkor cannot start : Missing Settings File."},
                          Case{"PG5=20", "Pelkor cannot start : Missing Settings File."},
                          Case{"/data/a.pelk", "Pelkor cannot start : Missing PG5 Version."},
                          Case{"/data/a.pelk PG5 20", "Pelkor cannot start : Missing PG5 Version."}}) {
        SCOPED_TRACE(c.text);
        t.ui.ClearMessages();
        EXPECT_EQ(Run(c.text), CommandLineResult::EndProgram);
        EXPECT_EQ(Only().Text, c.message);
        EXPECT_EQ(Only().Icon, MsgIcon::Critical);
        EXPECT_EQ(Only().Title, "Pelkor");
        EXPECT_FALSE(t.ui.ExitRequested());  // the caller ends the program
    }
    EXPECT_FALSE(std::filesystem::exists(t.dir.file("Default.pelk")));
}

TEST_F(CommandLineTest, VersionDigitsAndEmptyText) {
    WriteFile(work + "/a.pelk", kJob);
    EXPECT_EQ(Run("a.pelk PG5=2"), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.DLL, 2);
    EXPECT_EQ(Run("a.pelk PG5=195"), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.DLL, 19);
    EXPECT_EQ(Run("a.pelk PG5=x"), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.DLL, 0);
    EXPECT_EQ(Run(""), CommandLineResult::NoCommand);
    EXPECT_EQ(Run("   "), CommandLineResult::NoCommand);
    EXPECT_EQ(t.app.Settings.StartFile, t.dir.file("Default.pelk"));
    EXPECT_TRUE(t.ui.Messages().empty());
}

TEST_F(CommandLineTest, MissingStartFileFallsBackToTheDefaultWrittenWithTask1) {
    t.app.Tasks[1].Data = "R 7";
    EXPECT_EQ(Run(work + "/gone.pelk PG5=20"), CommandLineResult::Found);
    const std::string def = t.dir.file("Default.pelk");
    EXPECT_EQ(t.app.Settings.StartFile, def);
    EXPECT_FALSE(std::filesystem::exists(work + "/gone.pelk"));
    EXPECT_EQ(ReadProfileString(def, "Pelkor", "Version"), "3");
    EXPECT_EQ(ReadProfileString(def, "Connection", "DLL"), "20");
    EXPECT_EQ(ReadProfileString(def, "Task1", "Data"), "R 7");
    EXPECT_TRUE(t.ui.Messages().empty());

    // An existing default job is used as it is.
    WriteFile(def, kJob + "[Task1]\r\nData=F 1\r\n");
    EXPECT_EQ(Run(work + "/gone.pelk PG5=20"), CommandLineResult::Found);
    EXPECT_EQ(ReadFile(def), kJob + "[Task1]\r\nData=F 1\r\n");
}

TEST_F(CommandLineTest, EmptyStartFileIsFilledAndUsed) {
    const std::string job = work + "/new.pelk";
    WriteFile(job, "");
    EXPECT_EQ(Run(job + " PG5=20"), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.StartFile, job);
    EXPECT_EQ(ReadProfileString(job, "Pelkor", "Version"), "3");
    EXPECT_EQ(ReadProfileString(job, "Task1", "FileName"), "PCD_Data");
}

TEST_F(CommandLineTest, StartFilesThatCannotBeMade) {
    // Empty and read-only: the settings cannot be written.
    const std::string job = work + "/ro.pelk";
    WriteFile(job, "");
    ::chmod(job.c_str(), 0444);
    EXPECT_EQ(Run(job + " PG5=20"), CommandLineResult::NotFound);
    ASSERT_EQ(t.ui.Messages().size(), 2u);
    EXPECT_EQ(t.ui.Messages()[0].Text, "Settings writing aborted in the file : " + job);
    EXPECT_EQ(t.ui.Messages()[1].Text, "Bad commande line argument\n" + job + " PG5=20\n");
    EXPECT_EQ(t.ui.Messages()[1].Icon, MsgIcon::Exclamation);

    // A folder where the start file should be.
    t.ui.ClearMessages();
    std::filesystem::create_directories(work + "/dir.pelk");
    EXPECT_EQ(Run("dir.pelk PG5=20"), CommandLineResult::NotFound);
    EXPECT_EQ(Only().Text.rfind("Bad commande line argument\ndir.pelk PG5=20\n", 0), 0u);
    EXPECT_GT(Only().Text.size(), std::string("Bad commande line argument\ndir.pelk PG5=20\n").size());
}

TEST_F(CommandLineTest, MissingProgramFolderIsCreatedForTheDefault) {
    TestContext other;
    const std::string program = other.dir.file("opt/pelkor");
    AppContext app(other.ui, other.clock, program);
    DefaultParameters(app);
    EXPECT_EQ(GetCommandLine(app, "missing.pelk PG5=20", other.dir.path()), CommandLineResult::Found);
    EXPECT_EQ(app.Settings.StartFile, program + "/Default.pelk");
    EXPECT_EQ(ReadProfileString(program + "/Default.pelk", "Pelkor", "Version"), "3");
}

TEST_F(CommandLineTest, CommandFileWinsOverTheProcessCommandLine) {
    std::filesystem::create_directories(t.dir.file("jobs"));
    WriteFile(t.dir.file("jobs/line3.pelk"), kJob);
    WriteFile(t.dir.file("other.pelk"), kJob);
    WriteFile(t.dir.file("Command.txt"), "[Pelkor]\r\nCommand=\\jobs\\line3.pelk PG5=16 ;; set up by the installer\r\n");
    EXPECT_EQ(ReadCommandFile(t.app, t.dir.file("Command.txt")), t.dir.file("jobs/line3.pelk PG5=16 "));
    t.ui.ClearMessages();
    EXPECT_EQ(Run(t.dir.file("other.pelk") + " PG5=20"), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.StartFile, t.dir.file("jobs/line3.pelk"));
    EXPECT_EQ(t.app.Settings.DLL, 16);
    EXPECT_EQ(Only().Text, "Command Line from text file = " + t.dir.file("jobs/line3.pelk PG5=16 "));
    EXPECT_EQ(Only().Icon, MsgIcon::Information);

    // A command file without a command: nothing to run, whatever argv says.
    WriteFile(t.dir.file("Command.txt"), "[Pelkor]\r\n");
    EXPECT_EQ(Run(t.dir.file("other.pelk") + " PG5=20"), CommandLineResult::NoCommand);

    // One that cannot be read.
    std::filesystem::remove(t.dir.file("Command.txt"));
    std::filesystem::create_directories(t.dir.file("Command.txt"));
    t.ui.ClearMessages();
    EXPECT_EQ(Run(t.dir.file("other.pelk") + " PG5=20"), CommandLineResult::NoCommand);
    EXPECT_EQ(t.ui.Messages().front().Text, "Command Error on " + t.dir.file("Command.txt"));
    EXPECT_EQ(t.ui.Messages().front().Icon, MsgIcon::Critical);
}

}  // namespace
}  // namespace pelkor
