// Task editor: "Next" through a start file of 100 tasks of 50 entries each;
// resource editor: opening (built, shown, painted) on a task of 500 items.
#include <QApplication>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>

#include "application/PelkorApp.h"
#include "config/StartFile.h"
#include "pcd/PelsbusDriver.h"
#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"
#include "ui/qt/dialogs/ResourceEditorWindow.h"
#include "ui/qt/dialogs/TaskEditorWindow.h"
#include "ui/qt/models/ResourceGridModel.h"

using namespace pelkor;

namespace {

struct Bench {
    TempDir dir;
    ScriptedUserInterface ui;
    ManualClock clock{45000.5};
    DlPelsbus driver{{dir.path()}};
    PelkorApp app{ui, clock, dir.path(), driver};

    Bench(int tasks, int entries) {
        const std::string file = dir.file("bench.pelk");
        std::ofstream out(file);
        out << "[Pelkor]\nVersion=3\nTask=" << tasks << "\n";
        for (int t = 1; t <= tasks; ++t) {
            out << "[Task" << t << "]\nComments=Task " << t
                << "\nFileType=" << (t % 3 ? "CSV" : "XLS") << "\nFileName=f" << t << "\nData=";
            for (int e = 0; e < entries; ++e)
                out << (e ? "," : "")
                    << (e % 25 == 0 ? "STN " + std::to_string(e / 25 + 1) + " " : "")
                    << "RFI"[e % 3] << " " << e * 4 << " [" << 1 + e % 8 << "]";
            out << "\nDataHead=";
            for (int e = 0; e < entries; ++e)
                out << (e ? "," : "") << "Value " << e;
            out << "\n";
        }
        out.close();
        app.App().Settings.StartFile = file;
        ReadPelkorStartFile(app.App());
        for (int t = 1; t <= tasks; ++t) {
            bool ok = false;
            app.Engine().SetResources(t, ok);
        }
    }
};

void BM_NextThroughHundredTasks(benchmark::State& state) {
    Bench b(MaxTasks, 50);
    auto* editor = new TaskEditorWindow(b.app);
    editor->show();
    QApplication::processEvents();
    for (auto _ : state) {
        editor->ToolbarClick(b.app.App().Status.EditTask < MaxTasks ? "Forward" : "Back");
        QApplication::processEvents(); // the repaint is part of the switch
    }
    delete editor;
}
BENCHMARK(BM_NextThroughHundredTasks)->Unit(benchmark::kMillisecond);

void BM_OpenResourceEditorOn500Items(benchmark::State& state) {
    Bench b(1, 500);
    for (auto _ : state) {
        ResourceEditorWindow editor(b.app, 1, ResourceOptions{});
        editor.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(editor.Grid().rowCount());
    }
}
BENCHMARK(BM_OpenResourceEditorOn500Items)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
