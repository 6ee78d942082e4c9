// The trend window: opening and drawing a 100,000-line, 10-column CSV file;
// one live reading landing in a trend of 10 series of 10,000 points each
// (model, chart series, table; then also painted). Offscreen platform.
#include <QApplication>
#include <QtCharts/QChartView>
#include <benchmark/benchmark.h>
#include <fstream>

#include "application/PelkorApp.h"
#include "pcd/PelsbusDriver.h"
#include "support/ResourceEntries.h"
#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"
#include "ui/qt/dialogs/TrendWindow.h"
#include "util/DateTime.h"

using namespace pelkor;

namespace {

struct Bench {
    TempDir dir;
    ScriptedUserInterface ui;
    ManualClock clock{45000.5};
    DlPelsbus driver{{dir.path()}};
    PelkorApp app{ui, clock, dir.path(), driver};
    TrendWindow window{app};
    Bench() {
        window.resize(1200, 700);
        window.show();
        QApplication::processEvents();
    }
    void Draw() {
        QApplication::processEvents();
        benchmark::DoNotOptimize(window.findChild<QChartView*>("chtTrend")->grab());
    }
};

Task TenValues(int step) {
    Task t;
    t.ResourceCount = 1;
    std::string values;
    for (int k = 0; k < 10; ++k)
        values += ";" + std::to_string((step * (k + 1)) % 1000);
    t.Resources = {MakeEntry('R', 10, 0, "Value <$I>", values)};
    return t;
}

void BM_OpenAndDrawCsv100k(benchmark::State& state) {
    Bench b;
    const std::string path = b.dir.file("big.csv");
    {
        std::ofstream out(path, std::ios::binary);
        out << "Time;A;B;C;D;E;F;G;H;I;J\r\n";
        for (int i = 0; i < 100000; ++i) {
            out << GeneralDateText(45000 + i / 86400.0);
            for (int k = 0; k < 10; ++k)
                out << ';' << (i * (k + 1)) % 977;
            out << "\r\n";
        }
    }
    for (auto _ : state) {
        if (!b.window.OpenFile(path)) state.SkipWithError("open failed");
        b.Draw();
    }
}
BENCHMARK(BM_OpenAndDrawCsv100k)->Unit(benchmark::kMillisecond)->Iterations(5);

void LiveUpdate(benchmark::State& state, bool paint) {
    Bench b;
    b.window.FollowTask(1);
    trend::LiveFeed fill(b.window.Model());
    fill.Follow(1);
    for (int i = 0; i < 10000; ++i)
        fill.Add(1, 45000 + i / 86400.0, TenValues(i));
    int step = 10000;
    for (auto _ : state) {
        const Task t = TenValues(step);
        b.window.ReadingDone({1, 45000 + step++ / 86400.0, &t});
        if (paint) b.Draw();
    }
}
void BM_LiveUpdate10x10k(benchmark::State& state) {
    LiveUpdate(state, false);
}
void BM_LiveUpdate10x10kPainted(benchmark::State& state) {
    LiveUpdate(state, true);
}
BENCHMARK(BM_LiveUpdate10x10k)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(BM_LiveUpdate10x10kPainted)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
