#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "core/DrivePrompt.h"
#include <unistd.h>

#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"
#include "util/Shell.h"

using namespace pelkor;

namespace {

struct RecordingLauncher {
    std::vector<ShellRequest> calls;
    int result = 42;
    ShellLauncher fn() {
        return [this](const ShellRequest& r) {
            calls.push_back(r);
            return result;
        };
    }
};

// Restores an environment variable at the end of a test.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        const char* v = std::getenv(name);
        had_ = v != nullptr;
        if (v) old_ = v;
    }
    ~EnvGuard() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    std::string old_;
};

} // namespace

TEST(ShellOpen, ShowCommandRules) {
    RecordingLauncher l;
    EXPECT_TRUE(ShellOpen("C:/Tools/TOOL.EXE", 1, "-x", "/tmp", "open", nullptr, l.fn()));
    EXPECT_TRUE(ShellOpen("tool.exe", 3, "", "", "open", nullptr, l.fn()));
    EXPECT_TRUE(ShellOpen("http://example.com/a.exe", 0, "-p", "/tmp", "open", nullptr, l.fn()));
    EXPECT_TRUE(ShellOpen("https://example.com", 0, "-p", "/tmp", "open", nullptr, l.fn()));
    EXPECT_TRUE(ShellOpen("Pelkor.html", 3, "", "/opt/pelkor", "open", nullptr, l.fn()));
    ASSERT_EQ(l.calls.size(), 5u);
    EXPECT_EQ(l.calls[0].ShowCommand, 0);
    EXPECT_EQ(l.calls[0].Parameters, "-x");
    EXPECT_EQ(l.calls[1].ShowCommand, 0);
    // An http address always opens in a normal window, without parameters or folder.
    EXPECT_EQ(l.calls[2].ShowCommand, 1);
    EXPECT_EQ(l.calls[2].Parameters, "");
    EXPECT_EQ(l.calls[2].Folder, "");
    // The address test is case-sensitive and for "http://" only.
    EXPECT_EQ(l.calls[3].ShowCommand, 0);
    EXPECT_EQ(l.calls[3].Parameters, "-p");
    EXPECT_EQ(l.calls[4].ShowCommand, 3);
    EXPECT_EQ(l.calls[4].Folder, "/opt/pelkor");
    EXPECT_EQ(l.calls[4].Verb, "open");
}

TEST(ShellOpen, FailuresMapOntoTheErrorTable) {
    struct Case {
        int result;
        long number;
        const char* text;
    };
    for (Case c :
         {Case{0, 7, "Out of memory"},
          {8, 7, "Out of memory"},
          {2, 53, "File not found"},
          {3, 76, "Path not found"},
          {5, 75, "Path/file access error"},
          {11, 11 - 2147220456L, "The executable file is invalid or corrupt"},
          {26, 75, "A sharing violation occurred."},
          {27, 27 - 2147220456L, "This file type does not have a valid file association."},
          {28, 286, "The file could not be opened due to time out. Please try again in a moment."},
          {29, 285,
           "The file could not be opened because the DDE transaction failed. Please try again in a "
           "moment."},
          {30, 285,
           "The file could not be opened because the target application is busy. Please try again "
           "in a moment."},
          {31, 31 - 2147220456L, "No application is associated with this file type."},
          {32, 48, "The specified dynamic-link library was not found."},
          {17, 17 - 2147220456L,
           "An error occurred occurred whilst trying to open or print the selected file."}}) {
        RecordingLauncher l;
        l.result = c.result;
        ShellError e;
        EXPECT_FALSE(ShellOpen("a.txt", 1, "", "", "open", &e, l.fn())) << c.result;
        EXPECT_EQ(e.Number, c.number) << c.result;
        EXPECT_EQ(e.Description, c.text);
        EXPECT_EQ(e.Source, "Pelkor.GShell");
    }
    RecordingLauncher ok;
    ok.result = 33;
    ShellError untouched;
    EXPECT_TRUE(ShellOpen("a.txt", 1, "", "", "open", &untouched, ok.fn()));
    EXPECT_EQ(untouched.Number, 0);
    // A launcher that throws is a failure, not a crash.
    EXPECT_FALSE(
        ShellOpen("a", 1, "", "", "open", nullptr, [](const ShellRequest&) -> int { throw 1; }));
}

// xdg-open is replaced by a script earlier on PATH, so nothing is opened.
class XdgOpenTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("PATH", dir.path().c_str(), 1); }
    void FakeOpener(const std::string& body) {
        std::ofstream(dir.file("xdg-open")) << "#!/bin/sh\n" << body << "\n";
        chmod(dir.file("xdg-open").c_str(), 0755);
    }
    EnvGuard path{"PATH"};
    TempDir dir;
};

TEST_F(XdgOpenTest, ExitStatusesMapOntoShellResults) {
    std::ofstream(dir.file("doc.html")) << "x";
    ShellRequest r{dir.file("doc.html"), "", "", "open", 1};
    FakeOpener("exit 0");
    EXPECT_GT(XdgOpenLauncher(r), 32);
    FakeOpener("exit 2");
    EXPECT_EQ(XdgOpenLauncher(r), 2);
    FakeOpener("exit 3");
    EXPECT_EQ(XdgOpenLauncher(r), 31);
    FakeOpener("exit 4"); // the action failed: the generic entry, not "no application"
    EXPECT_EQ(XdgOpenLauncher(r), 1);
    FakeOpener("exit 1");
    EXPECT_EQ(XdgOpenLauncher(r), 1);
    ::unlink(dir.file("xdg-open").c_str());
    EXPECT_EQ(XdgOpenLauncher(r), 31); // no opener at all
}

TEST_F(XdgOpenTest, MissingFileIsReportedWithoutStartingAnything) {
    FakeOpener("touch \"" + dir.file("started") + "\"");
    EXPECT_EQ(XdgOpenLauncher({dir.file("missing.html"), "", "", "open", 1}), 2);
    EXPECT_EQ(XdgOpenLauncher({"", "", "", "open", 1}), 2);
    struct stat st {};
    EXPECT_NE(::stat(dir.file("started").c_str(), &st), 0);
    ShellError e;
    EXPECT_FALSE(ShellOpen(dir.file("missing.html"), 1, "", "", "open", &e));
    EXPECT_EQ(e.Number, 53);
}

TEST_F(XdgOpenTest, AFileThatCannotBeLookedAtIsNotAMissingPath) {
    FakeOpener("exit 0");
    std::filesystem::create_symlink("loop", dir.file("loop")); // stat fails with ELOOP
    EXPECT_EQ(XdgOpenLauncher({dir.file("loop"), "", "", "open", 1}), 1);
    if (::geteuid() == 0) GTEST_SKIP() << "a privileged user may look at every file";
    ::mkdir(dir.file("closed").c_str(), 0);
    EXPECT_EQ(XdgOpenLauncher({dir.file("closed/doc.html"), "", "", "open", 1}), 5);
}

TEST_F(XdgOpenTest, RelativeFileOpensInTheWorkingFolderAndAddressesPassThrough) {
    ::mkdir(dir.file("work").c_str(), 0755);
    std::ofstream(dir.file("work/help.html")) << "x";
    FakeOpener("pwd > \"" + dir.file("cwd") + "\"; echo \"$1\" > \"" + dir.file("arg") + "\"");
    EXPECT_GT(XdgOpenLauncher({"help.html", "", dir.file("work"), "open", 1}), 32);
    std::string cwd, arg;
    std::getline(std::ifstream(dir.file("cwd")), cwd);
    std::getline(std::ifstream(dir.file("arg")), arg);
    EXPECT_EQ(cwd, dir.file("work"));
    EXPECT_EQ(arg, "help.html");
    EXPECT_GT(XdgOpenLauncher({"http://localhost/x", "", "", "open", 1}), 32);
    std::getline(std::ifstream(dir.file("arg")), arg);
    EXPECT_EQ(arg, "http://localhost/x");
}

TEST(DriveRoot, AbsoluteNetworkAndRelativePaths) {
    struct Case {
        const char* path;
        bool ok;
        const char* root;
    };
    for (Case c : {Case{"/data/x", true, "/"},
                   {"/", true, "/"},
                   {"//Server/Share/Dir", true, "//Server/Share/"},
                   {"//Server/Share", true, "//Server/Share/"},
                   {"//Server/Share/", true, "//Server/Share/"},
                   {"\\\\Server\\Share\\Dir", true, "//Server/Share/"},
                   {"//Server", false, ""},
                   {"//Server/", false, ""},
                   {"//", false, ""},
                   {"///x", false, ""},
                   {"//s//x", false, ""},
                   {"Data/x", false, ""},
                   {"", false, ""},
                   {"C:\\Data", false, ""},
                   {"x", false, ""}}) {
        std::string root = "unchanged";
        EXPECT_EQ(GetDriveRoot(c.path, root), c.ok) << c.path;
        EXPECT_EQ(root, c.ok ? c.root : "unchanged") << c.path;
    }
}

TEST(DriveRoot, NetworkPathsStartWithTwoSlashesOfEitherKind) {
    EXPECT_TRUE(IsNetworkPath("//server"));
    EXPECT_TRUE(IsNetworkPath("\\\\server"));
    EXPECT_TRUE(IsNetworkPath("/\\"));
    EXPECT_FALSE(IsNetworkPath("/data"));
    EXPECT_FALSE(IsNetworkPath("/"));
    EXPECT_FALSE(IsNetworkPath(""));
}

TEST(CheckDrive, ReadableRootsPassWithoutAMessage) {
    ScriptedUserInterface ui;
    EXPECT_TRUE(CheckDrive(DrivePromptOf(ui), "/tmp/anything/below", "Caption"));
    EXPECT_TRUE(CheckDrive(DrivePromptOf(ui), "relative/folder", "Caption"));
    EXPECT_TRUE(ui.Messages().empty());
}

TEST(CheckDrive, UnreadableDriveAsksUntilCancelled) {
    ScriptedUserInterface ui;
    ui.QueueAnswers({MsgAnswer::Retry, MsgAnswer::Retry, MsgAnswer::Cancel});
    int listed = 0;
    auto never = [&](const std::string& root, std::string& error) {
        ++listed;
        EXPECT_EQ(root, "/");
        error = "No medium found";
        return false;
    };
    EXPECT_FALSE(CheckDrive(DrivePromptOf(ui), "/media/floppy", "Choose folder", never));
    EXPECT_EQ(listed, 3);
    ASSERT_EQ(ui.Messages().size(), 3u);
    EXPECT_EQ(ui.Messages()[0].Text, "Cannot read drive /media/floppy");
    EXPECT_EQ(ui.Messages()[0].Title, "Choose folder");
    EXPECT_EQ(ui.Messages()[0].Icon, MsgIcon::Information);
    EXPECT_EQ(ui.Messages()[0].Buttons, MsgButtons::RetryCancel);
    // Nobody answering means cancel, so an unattended run cannot loop.
    EXPECT_EQ(ui.Messages()[0].Default, MsgAnswer::Cancel);

    ScriptedUserInterface ui2;
    ui2.QueueAnswer(MsgAnswer::Retry);
    int n = 0;
    auto second = [&](const std::string&, std::string& error) {
        error = "busy";
        return ++n == 2;
    };
    EXPECT_TRUE(CheckDrive(DrivePromptOf(ui2), "/media/floppy", "c", second));
    EXPECT_EQ(ui2.Messages().size(), 1u);
}

TEST(CheckDrive, UnreachableShareShowsTheErrorOnce) {
    ScriptedUserInterface ui;
    ui.QueueAnswers({MsgAnswer::Retry, MsgAnswer::Retry});
    EXPECT_FALSE(CheckDrive(DrivePromptOf(ui), "//no-such-server-here/share/dir", "Folder"));
    ASSERT_EQ(ui.Messages().size(), 1u);
    const ShownMessage& m = ui.Messages()[0];
    EXPECT_NE(m.Text.find("\n\nBad drive name //no-such-server-here/share/dir"), std::string::npos)
        << m.Text;
    EXPECT_GT(m.Text.find("\n\n"), 0u); // the error's description comes first
    EXPECT_EQ(m.Icon, MsgIcon::Critical);
    EXPECT_EQ(m.Buttons, MsgButtons::Ok);
}

TEST(SpecialFolders, ComeFromTheEnvironment) {
    EnvGuard a("PELKOR_COMMON_APPDATA"), d("PELKOR_COMMON_DOCUMENTS");
    unsetenv("PELKOR_COMMON_APPDATA");
    unsetenv("PELKOR_COMMON_DOCUMENTS");
    EXPECT_EQ(GetCommonAppDataFolder(), "");
    EXPECT_EQ(GetCommonDocumentsParent(), "");
    setenv("PELKOR_COMMON_APPDATA", "/var/lib/common", 1);
    setenv("PELKOR_COMMON_DOCUMENTS", "/srv/Public/Documents", 1);
    EXPECT_EQ(GetCommonAppDataFolder(), "/var/lib/common/");
    EXPECT_EQ(GetCommonDocumentsParent(), "/srv/Public/");
    setenv("PELKOR_COMMON_APPDATA", "/var/lib/common/", 1);
    setenv("PELKOR_COMMON_DOCUMENTS", "/srv/Public/Documents/", 1);
    EXPECT_EQ(GetCommonAppDataFolder(), "/var/lib/common/");
    EXPECT_EQ(GetCommonDocumentsParent(), "/srv/Public/");
    setenv("PELKOR_COMMON_DOCUMENTS", "Documents", 1);
    EXPECT_EQ(GetCommonDocumentsParent(), "");
}
