#pragma once
// pelkor_screens renders every registered window state to <name>.png.
// A screen file registers its states with PELKOR_SCREEN(name) { return widget; }.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "application/PelkorApp.h"
#include "core/Clock.h"
#include "pcd/PelsbusDriver.h"
#include "support/ScriptedUserInterface.h"

namespace pelkor::screens {

// What a screen may use: a scratch folder that lives for the whole run.
struct ScreenEnv {
    std::string Folder;
};

// An application object for rendering: default answers, a fixed clock
// (15 March 2023, 12:00). Keep it alive as long as the window (static, or
// owned by the returned widget through a holder).
struct ScreenApp {
    explicit ScreenApp(const std::string& folder)
        : driver({folder}), app(ui, clock, folder, driver) {}
    ScriptedUserInterface ui;
    ManualClock clock{45000.5};
    DlPelsbus driver;
    PelkorApp app;
};

using ScreenMaker = std::function<std::unique_ptr<QWidget>(ScreenEnv&)>;

struct ScreenEntry {
    std::string Name;
    ScreenMaker Make;
};

std::vector<ScreenEntry>& Registry();

struct ScreenRegistrar {
    ScreenRegistrar(std::string name, ScreenMaker make) {
        Registry().push_back({std::move(name), std::move(make)});
    }
};

} // namespace pelkor::screens

#define PELKOR_SCREEN_CAT2(a, b) a##b
#define PELKOR_SCREEN_CAT(a, b) PELKOR_SCREEN_CAT2(a, b)
#define PELKOR_SCREEN(name)                                                                        \
    static std::unique_ptr<QWidget> PELKOR_SCREEN_CAT(screen_fn_,                                  \
                                                      __LINE__)(::pelkor::screens::ScreenEnv&);    \
    static ::pelkor::screens::ScreenRegistrar PELKOR_SCREEN_CAT(screen_reg_, __LINE__)(            \
        name, PELKOR_SCREEN_CAT(screen_fn_, __LINE__));                                            \
    static std::unique_ptr<QWidget> PELKOR_SCREEN_CAT(screen_fn_, __LINE__)(                       \
        [[maybe_unused]] ::pelkor::screens::ScreenEnv & env)
