#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "support/TempDir.h"
#include "util/DesktopShortcut.h"

using namespace pelkor;

namespace {

TEST(DesktopShortcut, FolderFromUserDirsElseDesktopInHome) {
    TempDir d;
    std::map<std::string, std::string> env{{"HOME", d.path()}, {"XDG_CONFIG_HOME", d.file("cfg")}};
    auto get = [&](const std::string& n) { return env.count(n) ? env[n] : std::string(); };
    EXPECT_EQ(DesktopFolder(get), d.file("Desktop"));
    std::filesystem::create_directories(d.file("cfg"));
    std::ofstream(d.file("cfg/user-dirs.dirs"))
        << "# written by xdg-user-dirs\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    EXPECT_EQ(DesktopFolder(get), d.file("Schreibtisch"));
}

TEST(DesktopShortcut, NamesAndExecQuoting) {
    std::string name;
    EXPECT_FALSE(ShortcutFileName("/data/v1.2/plant", name)); // the only dot is in a folder
    EXPECT_FALSE(ShortcutFileName("/data/plant", name));
    ASSERT_TRUE(ShortcutFileName("/data/Plant A.pelk", name));
    EXPECT_EQ(name, "Plant A.desktop");
    EXPECT_EQ(QuoteExecArgument("PG5=20000"), "PG5=20000");
    EXPECT_EQ(QuoteExecArgument("/d/Plant A.pelk"), "\"/d/Plant A.pelk\"");
    EXPECT_EQ(QuoteExecArgument("/d/$x\\y\"%.pelk"), "\"/d/\\$x\\\\y\\\"%%.pelk\"");
    EXPECT_EQ(EscapeDesktopValue("a\\b\nc"), "a\\\\b\\nc");
}

TEST(DesktopShortcut, WrittenOnceExecutableAndValid) {
    TempDir d;
    const ShortcutTarget target{"/data/Plant A $1.pelk", 20, "/opt/pel kor/pelkor", "/data",
                                "pelkor"};
    std::string file, error;
    ASSERT_EQ(WriteDesktopShortcut(target, d.file("Desk top"), file, error),
              ShortcutResult::Created)
        << error;
    EXPECT_EQ(file, d.file("Desk top/Plant A $1.desktop"));
    const std::string text = ReadAll(file);
    EXPECT_NE(text.find("Exec=\"/opt/pel kor/pelkor\" \"/data/Plant A \\\\$1.pelk\" PG5=20000\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Comment=Pelkor Desktop Shortcut\nExec="), std::string::npos);
    EXPECT_NE(text.find("Path=/data\nIcon=pelkor\n"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_EQ(WriteDesktopShortcut(target, d.file("Desk top"), file, error),
              ShortcutResult::Exists);
    EXPECT_EQ(ReadAll(file), text);

    std::ofstream(d.file("blocker")) << "x"; // a file where the desktop folder should be
    EXPECT_EQ(WriteDesktopShortcut(target, d.file("blocker"), file, error), ShortcutResult::Failed);
    EXPECT_FALSE(error.empty());

    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "desktop-file-validate missing (desktop-file-utils)";
    const std::string cmd = "desktop-file-validate '" + d.file("Desk top/Plant A $1.desktop") +
                            "' > " + d.file("validate.txt") + " 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << ReadAll(d.file("validate.txt"));
    EXPECT_EQ(ReadAll(d.file("validate.txt")), "");
}

} // namespace
