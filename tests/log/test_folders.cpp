#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "log/Folders.h"
#include "support/TestContext.h"

using namespace pelkor;
namespace fs = std::filesystem;

TEST(FolderExists, OnlyForExistingFolders) {
    TempDir d;
    std::ofstream(d.file("file")) << "x";
    EXPECT_TRUE(FolderExists(d.path()));
    EXPECT_TRUE(FolderExists(d.path() + "/"));
    EXPECT_FALSE(FolderExists(d.file("file")));
    EXPECT_FALSE(FolderExists(d.file("missing")));
    EXPECT_FALSE(FolderExists(""));
    EXPECT_FALSE(FolderExists(std::string(5000, 'a')));
}

TEST(EnsureFolder, CreatesEveryMissingLevel) {
    TestContext c;
    std::string target = c.dir.file("a/b/c") + "/";
    EXPECT_TRUE(EnsureFolder(c.app, target));
    EXPECT_TRUE(FolderExists(c.dir.file("a/b/c")));
    EXPECT_TRUE(EnsureFolder(c.app, target)); // already there
    EXPECT_TRUE(EnsureFolder(c.app, c.dir.file("a//b")));
    EXPECT_TRUE(c.ui.Messages().empty());
}

TEST(CreateFolderPath, RelativePathsGrowBelowTheCurrentFolder) {
    TestContext c;
    std::string before = fs::current_path().string();
    ASSERT_EQ(::chdir(c.dir.path().c_str()), 0);
    bool ok = CreateFolderPath(c.app, "rel/sub", true);
    ASSERT_EQ(::chdir(before.c_str()), 0);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(FolderExists(c.dir.file("rel/sub")));
}

TEST(CreateFolderPath, AFileInTheWayFailsWithTheMessage) {
    TestContext c;
    std::ofstream(c.dir.file("blocker")) << "x";
    std::string path = c.dir.file("blocker/sub");
    EXPECT_FALSE(CreateFolderPath(c.app, path, true));
    ASSERT_EQ(c.ui.Messages().size(), 1u);
    const ShownMessage& m = c.ui.Messages()[0];
    EXPECT_EQ(m.Text, "Cannot create the new directory :\n" + path + "\n\nChange the path.");
    EXPECT_EQ(m.Title, "Create new directory");
    EXPECT_EQ(m.Icon, MsgIcon::Exclamation);
    EXPECT_NE(c.app.Status.LastErrorText.find(path), std::string::npos);

    c.ui.ClearMessages();
    EXPECT_FALSE(CreateFolderPath(c.app, path, false));
    EXPECT_TRUE(c.ui.Messages().empty());
    EXPECT_FALSE(EnsureFolder(c.app, path));
    EXPECT_EQ(c.ui.Messages().size(), 1u);
}

TEST(CreateFolderPath, UnreachableShareIsRefusedAfterTheDriveMessage) {
    TestContext c;
    std::string path = "//no-such-server-here/share/dir";
    EXPECT_FALSE(EnsureFolder(c.app, path));
    ASSERT_EQ(c.ui.Messages().size(), 2u);
    EXPECT_NE(c.ui.Messages()[0].Text.find("Bad drive name " + path), std::string::npos);
    EXPECT_EQ(c.ui.Messages()[0].Title, "Create new directory");
    EXPECT_EQ(c.ui.Messages()[1].Text,
              "Cannot create the new directory :\n" + path + "\n\nChange the path.");
}

TEST(CreateFolderPath, EmptyOrOverlongPathsFailCleanly) {
    TestContext c;
    EXPECT_FALSE(CreateFolderPath(c.app, "", false));
    EXPECT_FALSE(CreateFolderPath(c.app, c.dir.file(std::string(300, 'n') + "/x"), false));
    EXPECT_FALSE(c.app.Status.LastErrorText.empty());
}

TEST(CreateFolderPath, AVolumeThatIsNotMountedIsRefusedNotCreatedOnTheRoot) {
    TestContext c;
    const std::string path = "/media/pelkor-absent-" + std::to_string(::getpid()) + "/logs";
    EXPECT_FALSE(EnsureFolder(c.app, path));
    ASSERT_EQ(c.ui.Messages().size(), 2u);
    EXPECT_EQ(c.ui.Messages()[0].Text, "Cannot read drive " + path);
    EXPECT_EQ(c.ui.Messages()[1].Title, "Create new directory");
    EXPECT_FALSE(fs::exists(path.substr(0, path.rfind('/'))));
}
