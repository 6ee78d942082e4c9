// The main window in its states, the start info, the about window and the
// start-file chooser.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <list>

#include "Screens.h"
#include "config/JobFiles.h"
#include "pcd/FakePelsbus.h"
#include "pcd/PcdConnection.h"
#include "ui/qt/QtUserInterface.h"
#include "ui/qt/dialogs/AboutWindow.h"
#include "ui/qt/dialogs/ChooseWindow.h"
#include "ui/qt/dialogs/InfoWindow.h"
#include "ui/qt/dialogs/MainWindow.h"

using namespace pelkor;
using namespace pelkor::screens;

namespace {

// An application with a real main window over scripted answers and a
// simulated line that answers every station.
struct MainScreen {
    explicit MainScreen(const std::string& folder) : dir(folder), app(ui, clock, folder, fake) {
        fake.stations[1] = test::FakeStation{};
        fake.stations[2] = test::FakeStation{};
        for (int r = 0; r < 8; ++r)
            fake.stations[1].registers[r] = 1200 + 17 * r;
    }
    std::string dir;
    ScriptedUserInterface script;
    QtUserInterface ui{&script};
    ManualClock clock{45000.5};
    test::FakePelsbus fake;
    PelkorApp app;

    std::unique_ptr<MainWindow> Window(const std::string& pelkorKeys,
                                       const std::string& data = "R 0 [4], F 0 [4]") {
        const std::string start = dir + "/Plant.pelk";
        std::ofstream(start, std::ios::binary)
            << "[Pelkor]\nVersion=3\nLogFolder=" << dir << "\nTask=1\n"
            << pelkorKeys
            << "\n[Connection]\nAutoConnect=1\nStation=1\nDLL=0\n[Task1]\nSettings=1\nIntervalUnit="
               "0\nReadInterval=10\nData="
            << data << "\nFileType=CSV\nOutFolder=" << dir << "\nFileName=Plant\nFileIndex=0\n";
        auto w = std::make_unique<MainWindow>(app, ui);
        ui.SetMainWindow(w.get());
        w->Load(start + " PG5=20", dir);
        return w;
    }
};

MainScreen& Screen(ScreenEnv& env) {
    static std::list<MainScreen> all; // alive as long as the windows
    return all.emplace_back(env.Folder);
}

} // namespace

PELKOR_SCREEN("main_connected_pane") {
    MainScreen& s = Screen(env);
    auto w = s.Window("ReadWindow=1");
    s.app.Engine().ReadPCDValues(1, false);
    return w;
}

PELKOR_SCREEN("main_connected_compact") {
    MainScreen& s = Screen(env);
    auto w = s.Window("ReadWindow=0");
    s.app.Engine().ReadPCDValues(1, false);
    return w;
}

PELKOR_SCREEN("main_partly_failed") {
    MainScreen& s = Screen(env);
    s.fake.stations[2].answers = false;
    auto w = s.Window("ReadWindow=1", "R 0 [4], STN 2 R 0 [2]");
    s.app.Engine().ReadPCDValues(1, false);
    return w;
}

PELKOR_SCREEN("main_connection_failed") {
    MainScreen& s = Screen(env);
    s.fake.stations[1].answers = false;
    return s.Window("ReadWindow=1");
}

PELKOR_SCREEN("main_disconnected") {
    MainScreen& s = Screen(env);
    auto w = s.Window("ReadWindow=0");
    s.app.App().Status.AutoConnectActive = 0;
    s.app.Connection().DisconnectOnPCD(0, 0);
    return w;
}

PELKOR_SCREEN("main_single_shot_summary") {
    MainScreen& s = Screen(env);
    auto w = s.Window("SingleShot=1\nReadWindow=1");
    s.app.Tick();
    return w;
}

PELKOR_SCREEN("start_info") {
    static std::list<ScreenApp> apps;
    return std::make_unique<InfoWindow>(apps.emplace_back(env.Folder).app);
}

PELKOR_SCREEN("about_two_pg5") {
    const std::string d = env.Folder;
    std::filesystem::create_directories(d + "/common/Saia-Burgess/PG5_20");
    std::ofstream(d + "/system.reg")
        << "WINE REGISTRY Version 2\n\n[Software\\\\SAIA-Burgess\\\\PG5\\\\1.6\\\\Global] 1\n"
           "\"AppsDir\"=\""
        << d << "\"\n";
    std::ofstream(d + "/common/Saia-Burgess/PG5_20/PG5Global.ini")
        << "[Global]\nAppsDir=" << d << "\nLocalDir=" << d << "\n";
    setenv("PELKOR_REGISTRY", (d + "/system.reg").c_str(), 1);
    setenv("PELKOR_COMMON_APPDATA", (d + "/common").c_str(), 1);
    static std::list<ScreenApp> apps;
    ScreenApp& a = apps.emplace_back(env.Folder);
    a.app.Connection().ReadSAIARegistery();
    unsetenv("PELKOR_REGISTRY");
    unsetenv("PELKOR_COMMON_APPDATA");
    return std::make_unique<AboutWindow>(a.app);
}

PELKOR_SCREEN("choose") {
    const std::string data = env.Folder + "/data";
    std::string error;
    for (const char* job : {"Boiler house.pelk", "Line 3/meters.pelk", "plant.pelk"}) {
        const std::string file = env.Folder + "/jobs/" + job;
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file) << "[Pelkor]\n";
        RememberRecentFile(data, file, error);
    }
    static std::list<ScreenApp> apps;
    return std::make_unique<ChooseWindow>(apps.emplace_back(env.Folder).app, data, "");
}
