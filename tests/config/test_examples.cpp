#include <gtest/gtest.h>

#include <filesystem>

#include "config/StartFile.h"
#include "support/TempDir.h"
#include "support/TestContext.h"
#include "tasks/Resources.h"
#include "tasks/TaskDefaults.h"

namespace pelkor {
namespace {

// The shipped example start files load and every task's list parses.
class Example {
public:
    explicit Example(const std::string& name) {
        DefaultParameters(t.app);
        t.app.Settings.StartFile = std::string(PELKOR_SOURCE_DIR) + "/examples/" + name;
        ok = ReadPelkorStartFile(t.app) && t.ui.Messages().empty();
        for (int i = 1; ok && i <= t.app.Settings.TaskCount; ++i)
            ok = ParseTaskResources(t.app, i);
    }
    // Values each task reads, and the station its first entry is read from.
    std::string Counts() {
        std::string s;
        for (int i = 1; i <= t.app.Settings.TaskCount; ++i)
            s += std::to_string(t.app.Tasks[i].AddressCount) + "@" +
                 std::to_string(t.app.Tasks[i].Resources[0].Station) + " ";
        return s;
    }
    TestContext t;
    bool ok = false;
};

TEST(Examples, LoadAsShipped) {
    Example demo("demo.pelk");
    ASSERT_TRUE(demo.ok) << demo.t.app.Status.LastErrorText;
    EXPECT_EQ(demo.Counts(), "17@1 7@2 6@1 ");
    EXPECT_EQ(demo.t.app.Tasks[1].FileType + demo.t.app.Tasks[2].FileType +
                  demo.t.app.Tasks[3].FileType,
              "CSVXLSCSV");
    EXPECT_EQ(demo.t.app.Settings.AutoConnect + demo.t.app.Settings.DLL, 1);

    Example multi("multi-task.pelk");
    ASSERT_TRUE(multi.ok) << multi.t.app.Status.LastErrorText;
    EXPECT_EQ(multi.Counts(), "8@10 16@10 4@12 8@10 32@10 4@10 ");
    EXPECT_EQ(multi.t.app.Tasks[1].Settings, 1); // from PG5Settings
    EXPECT_NEAR(multi.t.app.Tasks[4].ReadHour, (23 * 60 + 55) / 1440.0, 1e-9);
    EXPECT_EQ(multi.t.app.Tasks[5].Disabled, 1);

    Example run("demo-run.pelk"); // the job the demo script runs
    EXPECT_TRUE(run.ok) << run.t.app.Status.LastErrorText;

    Example shot("single-shot.pelk");
    ASSERT_TRUE(shot.ok) << shot.t.app.Status.LastErrorText;
    EXPECT_EQ(shot.Counts(), "10@1 24@2 ");
    EXPECT_EQ(
        (std::vector<int>{shot.t.app.Settings.SingleShot, shot.t.app.Settings.Hidden,
                          shot.t.app.Settings.StartMode, shot.t.app.Status.AutoConnectActive}),
        (std::vector<int>{1, 1, 2, 1}));

    Example fresh("new-job.pelk"); // the template of New... in the chooser
    ASSERT_TRUE(fresh.ok) << fresh.t.app.Status.LastErrorText;
    EXPECT_EQ(fresh.Counts(), "4@1 ");
    EXPECT_EQ(fresh.t.app.Tasks[1].FileType, "CSV");
}

// Every shipped start file runs as a normal user as it is, and says what it
// needs to run against the simulator.
TEST(Examples, RunAsANormalUserAndNameTheirSimulator) {
    for (const auto& e :
         std::filesystem::directory_iterator(std::string(PELKOR_SOURCE_DIR) + "/examples")) {
        if (e.path().extension() != ".pelk") continue;
        const std::string text = ReadAll(e.path().string());
        for (const char* system : {"/var/", "/srv/", "/etc/"})
            EXPECT_EQ(text.find(system), std::string::npos) << e.path() << " uses " << system;
        EXPECT_NE(text.find("pcdsim"), std::string::npos)
            << e.path() << " names no simulator command";
    }
}

} // namespace
} // namespace pelkor
