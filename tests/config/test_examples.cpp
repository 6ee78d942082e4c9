#include <gtest/gtest.h>

#include "config/StartFile.h"
#include "support/TestContext.h"
#include "tasks/Resources.h"
#include "tasks/TaskDefaults.h"

namespace pelkor {
namespace {

// Loads an example start file as shipped and parses every task's list.
struct LoadedExample {
    explicit LoadedExample(const std::string& name) {
        DefaultParameters(t.app);
        t.app.Settings.StartFile = std::string(PELKOR_SOURCE_DIR) + "/examples/" + name;
        ok = ReadPelkorStartFile(t.app);
        for (int i = 1; ok && i <= t.app.Settings.TaskCount; ++i) ok = ParseTaskResources(t.app, i);
    }
    TestContext t;
    bool ok = false;
};

TEST(Examples, DemoJobUsesBothStationsAndBothOutputKinds) {
    LoadedExample e("demo.pelk");
    ASSERT_TRUE(e.ok) << e.t.app.Status.LastErrorText;
    const AppContext& app = e.t.app;
    EXPECT_EQ(app.Settings.TaskCount, 3);
    EXPECT_EQ(app.Settings.StartMode, 1);
    EXPECT_EQ(app.Settings.AutoConnect, 1);
    EXPECT_EQ(app.Settings.DLL, 0);
    EXPECT_EQ(app.Settings.Station, 1);
    EXPECT_EQ(app.Tasks[1].AddressCount, 17);
    EXPECT_EQ(app.Tasks[1].FileType, "CSV");
    EXPECT_EQ(app.Tasks[2].FileType, "XLS");
    EXPECT_EQ(app.Tasks[2].ResourceCount, 2);
    EXPECT_EQ(app.Tasks[2].ResStation[0], 2);
    EXPECT_EQ(app.Tasks[3].AddressCount, 6);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(app.Tasks[i].FileIndex, 1);
        EXPECT_EQ(app.Tasks[i].HeadLines, 1);
    }
    EXPECT_TRUE(e.t.ui.Messages().empty());
}

TEST(Examples, MultiTaskJobKeepsEveryTaskAndItsComments) {
    LoadedExample e("multi-task.pelk");
    ASSERT_TRUE(e.ok) << e.t.app.Status.LastErrorText;
    const AppContext& app = e.t.app;
    EXPECT_EQ(app.Settings.TaskCount, 6);
    EXPECT_EQ(app.Settings.Station, 10);
    EXPECT_EQ(app.Tasks[1].Settings, 1);  // from PG5Settings
    EXPECT_EQ(app.Tasks[3].Settings, 0);
    EXPECT_EQ(app.Tasks[3].ResStation[0], 12);
    EXPECT_EQ(app.Tasks[4].IntervalUnit, 3);
    EXPECT_NEAR(app.Tasks[4].ReadHour, (23 * 60 + 55) / 1440.0, 1e-9);
    EXPECT_EQ(app.Tasks[4].AddressCount, 8);
    EXPECT_EQ(app.Tasks[5].Disabled, 1);
    EXPECT_EQ(app.Tasks[6].FileType, "None");
    for (int i = 1; i <= 6; ++i) EXPECT_GT(app.Tasks[i].AddressCount, 0) << i;
}

TEST(Examples, SingleShotJobIsLockedAndHidden) {
    LoadedExample e("single-shot.pelk");
    ASSERT_TRUE(e.ok) << e.t.app.Status.LastErrorText;
    const AppContext& app = e.t.app;
    EXPECT_EQ(app.Settings.SingleShot, 1);
    EXPECT_EQ(app.Settings.Hidden, 1);
    EXPECT_EQ(app.Settings.StartMode, 2);
    EXPECT_EQ(app.Status.AutoConnectActive, 1);
    EXPECT_EQ(app.Tasks[2].ResStation[0], 2);
    EXPECT_EQ(app.Tasks[1].AddressCount, 11);
}

}  // namespace
}  // namespace pelkor
