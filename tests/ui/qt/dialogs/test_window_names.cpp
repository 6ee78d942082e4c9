// The windows carry their description names, so tests and assistive
// technologies find them.
#include <gtest/gtest.h>

#include "ui/qt/QtTestSupport.h"
#include "ui/qt/dialogs/SettingsWindow.h"
#include "ui/qt/dialogs/TaskEditorWindow.h"

namespace pelkor {
namespace {

TEST(WindowNames, SettingsAndTaskEditor) {
    WindowTestApp t;
    SettingsWindow settings(t.app);
    TaskEditorWindow editor(t.app);
    EXPECT_EQ(settings.objectName(), "frmSetting");
    EXPECT_EQ(editor.objectName(), "frmData");
}

} // namespace
} // namespace pelkor
