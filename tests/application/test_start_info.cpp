// Installing the PG5 add-on description: which template, where, and every
// way it can fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "application/StartInfo.h"
#include "support/TestContext.h"

namespace pelkor {
namespace {

namespace fs = std::filesystem;

class AddOnTest : public ::testing::Test {
protected:
    TestContext t;
    std::string program = t.dir.file("prog");
    std::string local = t.dir.file("pg5");
    void SetUp() override {
        fs::create_directories(program);
        fs::create_directories(local);
        std::ofstream(program + "/Pelkor.5at", std::ios::binary) << "P=$(AppPath)\n";
    }
    std::string Last() { return t.ui.LastMessage() ? t.ui.LastMessage()->Text : ""; }
};

TEST_F(AddOnTest, AReadOnlyCopyFromAnEarlierInstallationIsOverwritten) {
    std::ofstream(local + "/Pelkor.5at") << "old";
    fs::permissions(local + "/Pelkor.5at", fs::perms::owner_read, fs::perm_options::replace);
    EXPECT_TRUE(InstallPg5AddOn(t.app, 16, local + "  ", program + "/"));
    EXPECT_EQ(ReadAll(local + "/Pelkor.5at"), "P=" + program + "\r\n");
    EXPECT_EQ(Last(), "Pelkor will be installed as Add-On Tool on the next PG5 start.");
}

TEST_F(AddOnTest, FailuresAreTold) {
    EXPECT_FALSE(InstallPg5AddOn(t.app, 16, t.dir.file("no/such/folder"), program));
    EXPECT_EQ(Last(), "PG5 Add-On Tool installation aborted.");
    EXPECT_EQ(t.ui.LastMessage()->Icon, MsgIcon::Critical);
    EXPECT_FALSE(InstallPg5AddOn(t.app, 20, local, program));
    EXPECT_EQ(Last(),
              "Cannot install Add-On Tool !\r\nFile not founded : " + program + "/Pelkor52.5at");
    EXPECT_EQ(t.ui.LastMessage()->Icon, MsgIcon::Information);
    EXPECT_FALSE(InstallPg5AddOn(t.app, 21, local, program));
    EXPECT_EQ(Last(), "Unknow PG5 version ! 21");
    EXPECT_FALSE(fs::exists(local + "/Pelkor52.5at"));
}

} // namespace
} // namespace pelkor
