// bench_ui [seconds of the memory run, default 120]
//
// 1. The longest gap between two event-loop turns while one task of 2000
//    registers is read from the simulator paced at 9600 Bd: in the window
//    (a 5 ms probe timer) and without windows (between two ProcessEvents).
// 2. Start-up time to a shown main window with a 100-task start file.
// 3. Resident memory of the windowed program over a run of 1-second readings.
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "application/PelkorApp.h"
#include "pcd/PelsbusDriver.h"
#include "sim/PcdSim.h"
#include "ui/qt/RunWindowed.h"
#include "ui/qt/dialogs/MainWindow.h"

using namespace pelkor;
using Clk = std::chrono::steady_clock;

namespace {

const std::string Bin = PELKOR_BINARY_DIR "/bin";

double Ms(Clk::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

long RssKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

std::string Folder(const std::string& name) {
    const std::string d =
        (std::filesystem::temp_directory_path() / ("pelkor-bench-ui-" + name)).string();
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d;
}

std::string StartFile(const std::string& dir, int tasks, const std::string& data,
                      int intervalSeconds, bool autoConnect, const std::string& type) {
    std::ostringstream s;
    s << "[Pelkor]\nVersion=3\nLogFolder=" << dir << "\nLogUsed=1\nReadWindow=1\nTask=" << tasks
      << "\n[Connection]\nAutoConnect=" << (autoConnect ? 1 : 0) << "\nStation=1\nDLL=0\n";
    for (int i = 1; i <= tasks; ++i)
        s << "[Task" << i << "]\nSettings=1\nIntervalUnit=0\nReadInterval=" << intervalSeconds
          << "\nData=" << data << "\nFileType=" << type << "\nOutFolder=" << dir << "\nFileName=T"
          << i << "\nFileIndex=0\n";
    const std::string path = dir + "/bench.pelk";
    std::ofstream(path, std::ios::binary) << s.str();
    return path;
}

// ---- 1. event-loop gaps -------------------------------------------------------

double WindowedGap(pcdsim::Simulator& sim, double& readSeconds) {
    const std::string dir = Folder("gap");
    WindowedRun run;
    run.Words = {StartFile(dir, 1, "R 0 [2000]", 2, true, "CSV"), "PG5=20"};
    run.ProgramFolder = Bin;
    double worst = 0;
    Clk::time_point last{}, began{};
    run.OnShown = [&](PelkorApp& app, MainWindow& w) {
        auto* probe = new QTimer(&w);
        probe->setTimerType(Qt::PreciseTimer);
        QObject::connect(probe, &QTimer::timeout, [&app, &w, &worst, &last, &began, &readSeconds] {
            const auto now = Clk::now();
            const RunStatus& st = app.App().Status;
            if (st.ReadingActive) {
                if (began == Clk::time_point{}) began = now;
                if (last != Clk::time_point{}) worst = std::max(worst, Ms(now - last));
            }
            last = now;
            if (st.WriteCounter >= 1 && began != Clk::time_point{}) {
                readSeconds = Ms(now - began) / 1000;
                w.SystemClose();
            }
        });
        probe->start(5);
        QTimer::singleShot(60000, &w, [&w] { w.SystemClose(); });
    };
    (void)sim;
    RunWindowed(run);
    return worst;
}

class ProbeUi : public HeadlessUserInterface {
public:
    void ProcessEvents() override {
        const auto now = Clk::now();
        if (last != Clk::time_point{}) worst = std::max(worst, Ms(now - last));
        last = now;
        HeadlessUserInterface::ProcessEvents();
    }
    Clk::time_point last{};
    double worst = 0;
};

double HeadlessGap(double& readSeconds) {
    const std::string dir = Folder("gap-headless");
    std::ostringstream quiet;
    ProbeUi ui;
    SystemClock clock;
    DlPelsbus driver({Bin});
    PelkorApp app(ui, clock, Bin, driver);
    if (!app.Start(StartFile(dir, 1, "R 0 [2000]", 60, true, "CSV") + " PG5=20", dir)) return -1;
    ui.last = Clk::now();
    const auto t0 = Clk::now();
    app.Engine().ReadPCDValues(1, true);
    readSeconds = Ms(Clk::now() - t0) / 1000;
    ui.worst = std::max(ui.worst, Ms(Clk::now() - ui.last));
    app.Close();
    return ui.worst;
}

// ---- 2. start-up ------------------------------------------------------------

double StartupMs() {
    const std::string dir = Folder("startup");
    WindowedRun run;
    run.Words = {StartFile(dir, 100, "R 0 [4], F 0 [8]", 60, false, "None"), "PG5=20"};
    run.ProgramFolder = Bin;
    Clk::time_point shown{};
    run.OnShown = [&](PelkorApp&, MainWindow& w) {
        QApplication::processEvents(); // the first paint
        shown = Clk::now();
        QTimer::singleShot(0, &w, [&w] { w.SystemClose(); });
    };
    const auto t0 = Clk::now();
    RunWindowed(run);
    return Ms(shown - t0);
}

// ---- 3. memory -----------------------------------------------------------------

void Memory(int seconds, long& early, long& end, int& readings) {
    const std::string dir = Folder("memory");
    WindowedRun run;
    run.Words = {StartFile(dir, 1, "R 0 [32], F 0 [16]", 1, true, "CSV"), "PG5=20"};
    run.ProgramFolder = Bin;
    run.Options.Seconds = seconds;
    run.OnShown = [&](PelkorApp& app, MainWindow& w) {
        QTimer::singleShot(10000, &w, [&early] { early = RssKb(); });
        auto* last = new QTimer(&w);
        QObject::connect(last, &QTimer::timeout, [&app, &end, &readings] {
            end = RssKb();
            readings = app.App().Status.WriteCounter;
        });
        last->start(1000);
    };
    RunWindowed(run);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int memorySeconds = argc > 1 ? std::max(15, std::atoi(argv[1])) : 120;
    const auto q0 = Clk::now();
    QApplication qt(argc, argv);
    const double qtMs = Ms(Clk::now() - q0);

    pcdsim::Simulator sim;
    auto& station = sim.AddStation(1);
    for (int r = 0; r < 2000; ++r)
        station.SetRegister(r, r * 3);
    sim.SetBaud(9600);
    if (!sim.Start()) {
        std::fprintf(stderr, "bench_ui: simulator: %s\n", sim.LastError().c_str());
        return 1;
    }
    setenv("PELSBUS_COM1", sim.SlavePath().c_str(), 1);

    double windowedRead = 0, headlessRead = 0;
    const double windowed = WindowedGap(sim, windowedRead);
    std::printf(
        "event-loop gap, window, 2000 registers at 9600 Bd: longest %.1f ms (reading %.1f s)\n",
        windowed, windowedRead);
    const double headless = HeadlessGap(headlessRead);
    std::printf("event-loop gap, headless, same reading: longest %.1f ms (reading %.1f s)\n",
                headless, headlessRead);
    std::fflush(stdout);

    sim.SetBaud(0);
    std::vector<double> starts;
    for (int i = 0; i < 5; ++i)
        starts.push_back(StartupMs());
    std::sort(starts.begin(), starts.end());
    std::printf("start-up to a shown main window, 100 tasks: median %.1f ms (min %.1f, max %.1f), "
                "plus %.1f ms "
                "for the QApplication\n",
                starts[2], starts[0], starts[4], qtMs);
    std::fflush(stdout);

    long early = 0, end = 0;
    int readings = 0;
    Memory(memorySeconds, early, end, readings);
    std::printf(
        "resident memory, window, 1-second readings for %d s: %ld kB after 10 s, %ld kB at the end "
        "(%d readings)\n",
        memorySeconds, early, end, readings);
    return 0;
}
