// The settings window.
#include "Screens.h"
#include "ui/qt/dialogs/SettingsWindow.h"

using namespace pelkor::screens;

PELKOR_SCREEN("settings") {
    static ScreenApp s(env.Folder);
    return std::make_unique<pelkor::SettingsWindow>(s.app);
}
