// The settings window.
#include "Screens.h"
#include "main/PelkorApp.h"
#include "pcd/PelsbusDriver.h"
#include "support/ScriptedUserInterface.h"
#include "ui/qt/dialogs/SettingsWindow.h"
#include "util/Clock.h"

namespace {

// An application object for rendering: scripted answers, a fixed clock.
struct ScreenApp {
    explicit ScreenApp(const std::string& folder) : driver({folder}), app(ui, clock, folder, driver) {}
    pelkor::ScriptedUserInterface ui;
    pelkor::ManualClock clock{45000.5};
    pelkor::DlPelsbus driver;
    pelkor::PelkorApp app;
};

}  // namespace

PELKOR_SCREEN("settings") {
    static ScreenApp s(env.Folder);
    return std::make_unique<pelkor::SettingsWindow>(s.app);
}
