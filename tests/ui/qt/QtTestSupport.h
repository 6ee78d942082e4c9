#pragma once
// What window tests share: an application object over a scripted user
// interface and a clock that moves only when told, in a fresh folder; and
// finding controls by their names.

#include <QAbstractButton>
#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>
#include <string>

#include "application/PelkorApp.h"
#include "core/Clock.h"
#include "pcd/PelsbusDriver.h"
#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"

namespace pelkor {

struct WindowTestApp {
    WindowTestApp() : driver({PELKOR_BINARY_DIR "/bin"}), app(ui, clock, dir.path(), driver) {}
    TempDir dir;
    ScriptedUserInterface ui;
    ManualClock clock{45000.5}; // 15 March 2023, 12:00
    DlPelsbus driver;
    PelkorApp app;
};

// The control named `name` under `root`; fails the test when it is missing.
template <class T = QWidget> T* Control(QWidget* root, const char* name) {
    T* w = root->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << "no control named " << name;
    return w;
}

inline void Click(QWidget* root, const char* name) {
    if (auto* b = Control<QAbstractButton>(root, name)) b->click();
    QApplication::processEvents();
}

} // namespace pelkor
