// Start-file costs: loading a job of 100 tasks, saving one task into it (a
// whole-file replacement, flushed to disk), and one key read as the PG5
// side does it.
#include <benchmark/benchmark.h>

#include "config/PrivateProfile.h"
#include "config/StartFile.h"
#include "support/TestContext.h"
#include "tasks/TaskDefaults.h"

namespace pelkor {
namespace {

// A start file of 100 tasks with realistic keys and comments.
struct HundredTaskJob {
    HundredTaskJob() {
        DefaultParameters(t.app);
        t.app.Settings.StartFile = t.dir.file("plant.pelk");
        t.app.Settings.TaskCount = MaxTasks;
        WriteStartFileSettings(t.app);
        for (int i = 1; i <= MaxTasks; ++i) {
            Task& task = t.app.Tasks[i];
            SetDefaultTaskParameters(t.app, i);
            task.Comments = "Line " + std::to_string(i) + " temperatures and pump states";
            task.Data = "STN " + std::to_string(i % 5 + 1) + " R " + std::to_string(100 * i) +
                        " [16], F 20 [8], CLK";
            task.DataHead = "Temp <$I+1>,Pump <$A>,Clock";
            task.FileType = i % 2 ? "CSV" : "XLS";
            task.HeadLines = 1;
            task.TimeStampText = "Time";
            WriteStartFileTask(t.app, i, i);
        }
    }
    TestContext t;
};

void BM_ReadStartFile100Tasks(benchmark::State& state) {
    HundredTaskJob job;
    for (auto _ : state) {
        bool ok = ReadPelkorStartFile(job.t.app);
        benchmark::DoNotOptimize(ok);
    }
    state.SetItemsProcessed(state.iterations() * MaxTasks);
}
BENCHMARK(BM_ReadStartFile100Tasks)->Unit(benchmark::kMillisecond);

void BM_WriteOneTaskInto100(benchmark::State& state) {
    HundredTaskJob job;
    for (auto _ : state) {
        bool ok = WriteStartFileTask(job.t.app, 50, 50);
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_WriteOneTaskInto100)->Unit(benchmark::kMillisecond);

void BM_GetIniStringFrom100(benchmark::State& state) {
    HundredTaskJob job;
    for (auto _ : state) {
        std::string v = GetIniString(job.t.app.Settings.StartFile, "Task99", "Data");
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_GetIniStringFrom100)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace pelkor

BENCHMARK_MAIN();
