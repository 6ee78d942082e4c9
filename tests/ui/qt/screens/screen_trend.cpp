// The trend window: a live run of three series (one on the second axis, one
// with a gap), and a file opened from disk.
#include <QTableWidget>
#include <cmath>
#include <fstream>

#include "Screens.h"
#include "support/ResourceEntries.h"
#include "ui/qt/dialogs/TrendWindow.h"
#include "util/DateTime.h"

using namespace pelkor::screens;

namespace {

pelkor::Task Plant(int i) {
    pelkor::Task t;
    t.ResourceCount = 2;
    const bool lost = i > 200 && i < 230; // a connection outage
    const double temp = 20 + 0.02 * i + 2 * std::sin(i / 25.0);
    const double pressure = 1000 + 40 * std::sin(i / 60.0);
    t.Resources = {
        pelkor::MakeEntry('R', 2, 100, "Temperature,Pressure",
                          lost ? ";;"
                               : ";" + std::to_string(std::lround(temp * 10) / 10.0).substr(0, 4) +
                                     ";" + std::to_string(std::lround(pressure))),
        pelkor::MakeEntry('F', 1, 5, "Pump",
                          lost ? ";" : std::string(";") + ((i / 40) % 2 ? "1" : "0"))};
    return t;
}

} // namespace

PELKOR_SCREEN("trend-live") {
    static ScreenApp s(env.Folder);
    s.app.App().Tasks[1].Comments = "Boiler house";
    auto w = std::make_unique<pelkor::TrendWindow>(s.app);
    w->FollowTask(1);
    for (int i = 0; i < 290; ++i) {
        const pelkor::Task t = Plant(i);
        w->ReadingDone({1, 45000.5 + i / 86400.0, &t});
    }
    auto* grid = w->findChild<QTableWidget*>("grdSeries");
    grid->item(1, 6)->setCheckState(Qt::Checked); // pressure on the second axis
    grid->item(2, 7)->setText("5");               // the pump's 0/1 drawn taller
    grid->item(2, 8)->setText("15");
    return w;
}

PELKOR_SCREEN("trend-file") {
    static ScreenApp s(env.Folder);
    const std::string path = env.Folder + "/PCD_Data.csv";
    {
        std::ofstream out(path, std::ios::binary);
        out << "Nr;Time;Flow;Level\r\n";
        for (int i = 1; i <= 2000; ++i)
            out << i << ";" << pelkor::GeneralDateText(44999.5 + i * 60 / 86400.0) << ";"
                << std::lround(50 + 30 * std::sin(i / 90.0)) << ";"
                << (i % 700 == 0 ? "oops" : std::to_string(i % 300 / 3)) << "\r\n";
    }
    auto w = std::make_unique<pelkor::TrendWindow>(s.app);
    w->OpenFile(path);
    return w;
}
