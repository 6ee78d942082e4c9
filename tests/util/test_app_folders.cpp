#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/TempDir.h"
#include "util/AppFolders.h"

using namespace pelkor;

namespace {

// Sets (or, with nullptr, removes) a variable and restores it at the end.
struct Env {
    Env(const char* n, const char* v)
        : name(n), had(std::getenv(n) != nullptr), old(had ? std::getenv(n) : "") {
        v ? setenv(n, v, 1) : unsetenv(n);
    }
    ~Env() { had ? setenv(name, old.c_str(), 1) : unsetenv(name); }
    const char* name;
    bool had;
    std::string old;
};

TEST(AppFolders, DataFolderFollowsXdgThenHome) {
    Env home("HOME", "/home/op");
    {
        Env xdg("XDG_DATA_HOME", "/srv/data/");
        EXPECT_EQ(UserDataFolder(), "/srv/data/pelkor");
    }
    Env relative("XDG_DATA_HOME", "rel/data"); // invalid by the XDG rules
    EXPECT_EQ(UserDataFolder(), "/home/op/.local/share/pelkor");
}

TEST(AppFolders, ShippedFilesBesideTheProgramFirstThenUnderThePrefix) {
    TempDir dir;
    const std::string bin = dir.file("bin"), share = dir.file("share/pelkor/shipped");
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(share);
    std::ofstream(share + "/Pelkor.html") << "installed";
    EXPECT_EQ(FindShippedFile("Pelkor.html", bin), bin + "/../share/pelkor/shipped/Pelkor.html");
    std::ofstream(bin + "/Pelkor.html") << "beside";
    EXPECT_EQ(FindShippedFile("Pelkor.html", bin), bin + "/Pelkor.html");
    EXPECT_EQ(FindShippedFile("Pelkor52.5at", bin), bin + "/Pelkor52.5at")
        << "missing: the path beside the program";
    EXPECT_EQ(ShippedLibraryFolders(bin).front(), bin);
}

} // namespace
