// The windows carry their description names, so tests and assistive
// technologies find them.
#include <gtest/gtest.h>

#include "main/PelkorApp.h"
#include "pcd/PelsbusDriver.h"
#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"
#include "ui/qt/dialogs/SettingsWindow.h"
#include "ui/qt/dialogs/TaskEditorWindow.h"
#include "util/Clock.h"

namespace pelkor {
namespace {

TEST(WindowNames, SettingsAndTaskEditor) {
    ScriptedUserInterface ui;
    ManualClock clock;
    TempDir dir;
    DlPelsbus driver({dir.path()});
    PelkorApp app(ui, clock, dir.path(), driver);
    SettingsWindow settings(app);
    TaskEditorWindow editor(app);
    EXPECT_EQ(settings.objectName(), "frmSetting");
    EXPECT_EQ(editor.objectName(), "frmData");
}

}  // namespace
}  // namespace pelkor
