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

const std::string kJob = "[Pelkor]\r\nVersion=3\r\n";

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        DefaultParameters(t.app);
        std::filesystem::create_directories(work);
    }
    CommandLineResult Run(const std::string& text) { return GetCommandLine(t.app, text, work); }
    std::string Texts() {
        std::string all;
        for (const auto& m : t.ui.Messages())
            all += m.Text + "|";
        t.ui.ClearMessages();
        return all;
    }
    TestContext t;
    std::string work = t.dir.file("work");
    std::string def = t.dir.file("Default.pelk");
};

TEST_F(CommandLineTest, StartFileAndVersion) {
    const std::string job = t.dir.file("My job.pelk");
    WriteFile(job, kJob);
    WriteFile(work + "/job.pelk", kJob);
    struct Case {
        std::string text, startFile;
        int dll;
    };
    for (const Case& c :
         {Case{"\"" + job + "\" PG5=20", job, 20}, Case{"job.pelk PG5=13", work + "/job.pelk", 13},
          Case{"  ../work/JOB.pelk   pg5=15", work + "/../work/JOB.pelk", 15},
          Case{"job.pelk PG5=2", work + "/job.pelk", 2},
          Case{"job.pelk PG5=195", work + "/job.pelk", 19},
          Case{"job.pelk PG5=x", work + "/job.pelk", 0}}) {
        if (c.text.find("JOB") != std::string::npos) WriteFile(c.startFile, kJob);
        EXPECT_EQ(Run(c.text), CommandLineResult::Found) << c.text;
        EXPECT_EQ(t.app.Settings.StartFile, c.startFile) << c.text;
        EXPECT_EQ(t.app.Settings.DLL, c.dll) << c.text;
    }
    // "PG5=" names the version only; without PG5 the built-in library stays.
    EXPECT_EQ(t.app.Status.PG5Available, 0);
    EXPECT_EQ(ReadFile(job), kJob);
    EXPECT_EQ(Texts(), "");
    const char* argv[] = {"pelkor", "/data/My job.pelk", "PG5=20"};
    EXPECT_EQ(CommandTextFromArgs(3, argv), "/data/My job.pelk PG5=20");
    EXPECT_EQ(Run(""), CommandLineResult::NoCommand);
    EXPECT_EQ(Run("   "), CommandLineResult::NoCommand);
    EXPECT_EQ(t.app.Settings.StartFile, def);
}

TEST_F(CommandLineTest, MessagesThatEndTheProgram) {
    for (const char* text :
         {"/data/a.pelk.bak PG5=20", "/data/x.pelk/readme.txt PG5=20", "PG5=20"}) {
        EXPECT_EQ(Run(text), CommandLineResult::EndProgram) << text;
        EXPECT_EQ(t.ui.LastMessage()->Icon, MsgIcon::Critical);
        EXPECT_EQ(Texts(), "Pelkor cannot start : Missing Settings File.|") << text;
    }
    for (const char* text : {"/data/a.pelk", "/data/a.pelk PG5 20"}) {
        EXPECT_EQ(Run(text), CommandLineResult::EndProgram) << text;
        EXPECT_EQ(Texts(), "Pelkor cannot start : Missing PG5 Version.|") << text;
    }
    EXPECT_FALSE(t.ui.ExitRequested()); // the caller ends the program
    EXPECT_FALSE(std::filesystem::exists(def));
}

TEST_F(CommandLineTest, MissingOrEmptyStartFilesAreMade) {
    t.app.Tasks[1].Data = "R 7";
    EXPECT_EQ(Run(work + "/gone.pelk PG5=20"), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.StartFile, def);
    EXPECT_FALSE(std::filesystem::exists(work + "/gone.pelk"));
    EXPECT_EQ(ReadProfileString(def, "Pelkor", "Version") +
                  ReadProfileString(def, "Connection", "DLL") +
                  ReadProfileString(def, "Task1", "Data"),
              "320R 7");
    // An existing default job is used as it is, not overwritten.
    WriteFile(def, kJob + "[Task1]\r\nData=F 1\r\n");
    EXPECT_EQ(Run(work + "/gone.pelk PG5=20"), CommandLineResult::Found);
    EXPECT_EQ(ReadFile(def), kJob + "[Task1]\r\nData=F 1\r\n");

    const std::string empty = work + "/new.pelk";
    WriteFile(empty, "");
    EXPECT_EQ(Run(empty + " PG5=20"), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.StartFile, empty);
    EXPECT_EQ(ReadProfileString(empty, "Task1", "FileName"), "PCD_Data");
    EXPECT_EQ(Texts(), "");

    // A missing program folder is created for the default.
    TestContext other;
    AppContext app(other.ui, other.clock, other.dir.file("opt/pelkor"));
    DefaultParameters(app);
    EXPECT_EQ(GetCommandLine(app, "missing.pelk PG5=20", other.dir.path()),
              CommandLineResult::Found);
    EXPECT_EQ(ReadProfileString(app.Settings.StartFile, "Pelkor", "Version"), "3");
}

TEST_F(CommandLineTest, StartFilesThatCannotBeMade) {
    const std::string job = work + "/ro.pelk";
    WriteFile(job, "");
    ::chmod(job.c_str(), 0444);
    EXPECT_EQ(Run(job + " PG5=20"), CommandLineResult::NotFound);
    EXPECT_EQ(t.ui.LastMessage()->Icon, MsgIcon::Exclamation);
    EXPECT_EQ(Texts(), "Settings writing aborted in the file : " + job +
                           "|Bad commande line argument\r" + job + " PG5=20\r|");
    std::filesystem::create_directories(work + "/dir.pelk");
    EXPECT_EQ(Run("dir.pelk PG5=20"), CommandLineResult::NotFound);
    std::string shown = Texts();
    EXPECT_EQ(shown.rfind("Bad commande line argument\rdir.pelk PG5=20\r", 0), 0u);
    EXPECT_GT(shown.size(),
              std::string("Bad commande line argument\rdir.pelk PG5=20\r|").size()); // the reason
}

TEST_F(CommandLineTest, CommandFileWinsOverTheProcessCommandLine) {
    std::filesystem::create_directories(t.dir.file("jobs"));
    WriteFile(t.dir.file("jobs/line3.pelk"), kJob);
    WriteFile(t.dir.file("Command.txt"),
              "[Pelkor]\r\nCommand=\\jobs\\line3.pelk PG5=16 ;; by the installer\r\n");
    EXPECT_EQ(Run(work + "/other.pelk PG5=20"), CommandLineResult::Found);
    EXPECT_EQ(t.app.Settings.StartFile, t.dir.file("jobs/line3.pelk"));
    EXPECT_EQ(t.app.Settings.DLL, 16);
    EXPECT_EQ(t.ui.LastMessage()->Icon, MsgIcon::Information);
    EXPECT_EQ(Texts(), "Command Line from text file = " + t.dir.file("jobs/line3.pelk PG5=16 |"));

    WriteFile(t.dir.file("Command.txt"), "[Pelkor]\r\n");
    EXPECT_EQ(Run(work + "/other.pelk PG5=20"), CommandLineResult::NoCommand);
    std::filesystem::remove(t.dir.file("Command.txt"));
    std::filesystem::create_directories(t.dir.file("Command.txt"));
    EXPECT_EQ(Run(work + "/other.pelk PG5=20"), CommandLineResult::NoCommand);
    EXPECT_EQ(t.ui.Messages().back().Icon, MsgIcon::Critical);
    EXPECT_EQ(Texts(),
              "Command Line from text file = |Command Error on " + t.dir.file("Command.txt") + "|");
}

TEST_F(CommandLineTest, UnattendedRunsNeverSwapInTheDefaultJobAndOneRuleSaysHidden) {
    t.ui.UnattendedRun = true;
    EXPECT_EQ(Run(work + "/gone.pelk PG5=20"), CommandLineResult::NotFound);
    EXPECT_FALSE(std::filesystem::exists(def));
    EXPECT_EQ(Texts(), "Start file not found : " + work + "/gone.pelk|");

    // The window decision reads the same command text as the run: Command.txt wins.
    std::filesystem::create_directories(t.dir.file("jobs"));
    WriteFile(t.dir.file("jobs/shot.pelk"), kJob + "SingleShot=1\r\nHidden=1\r\n");
    WriteFile(work + "/shown.pelk", kJob);
    EXPECT_FALSE(HiddenSingleShotCommand(t.dir.path(), "shown.pelk PG5=20", work));
    EXPECT_TRUE(HiddenSingleShotCommand(t.dir.path(), "../jobs/shot.pelk PG5=20", work));
    WriteFile(t.dir.file("Command.txt"), "[Pelkor]\r\nCommand=\\jobs\\shot.pelk PG5=16\r\n");
    EXPECT_TRUE(HiddenSingleShotCommand(t.dir.path(), "", work));
    EXPECT_TRUE(HiddenSingleShotCommand(t.dir.path(), "shown.pelk PG5=20", work));
}

} // namespace
} // namespace pelkor
