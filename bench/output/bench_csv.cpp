// Text writer throughput: one record appended per call, the file opened and
// closed each time as in a real reading.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/Clock.h"
#include "output/Output.h"
#include "support/ResourceEntries.h"
#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"

namespace pelkor {
namespace {

struct Bench {
    ScriptedUserInterface ui;
    ManualClock clock{46362.5};
    TempDir dir;
    AppContext app{ui, clock, dir.path()};
    Task& task = app.Tasks[1];

    explicit Bench(int values) {
        task.FileType = "CSV";
        task.FileName = "bench";
        task.LineCount = 1;
        task.TimeStamp = 1;
        task.HeadLines = 1;
        task.NextRead = clock.Now();
        task.ResourceCount = 1;
        std::string v;
        for (int i = 0; i < values; ++i)
            v += ";" + std::to_string(123456 + i * 7);
        task.Resources = {MakeEntry('R', values, 100, "R<$A>", v)};
        ComposeOutputPath(app, 1);
    }
};

// The whole store step of a reading: record, path, append.
void BM_CsvRecord(benchmark::State& state) {
    Bench b(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        b.task.LastValues = BuildRecord(b.app, 1, false, JoinEntryValues(b.task));
        if (!ComposeOutputPath(b.app, 1) || !WriteTextRecord(b.app, 1)) {
            state.SkipWithError(b.app.Status.LastErrorText.c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(b.task.OutputPath));
}
BENCHMARK(BM_CsvRecord)->Arg(1)->Arg(20)->Arg(100)->MinTime(1.0);

// First write of a restarted program into a file that already holds
// `range` records: the records are counted once to continue the numbering.
void BM_CsvFirstWriteAfterRestart(benchmark::State& state) {
    Bench b(20);
    {
        std::ofstream out(b.task.OutputPath, std::ios::binary);
        for (int64_t i = 0; i < state.range(0); ++i)
            out << i + 1 << ";2026-12-06 12:00:00;1;2;3;4;5;6;7;8;9;10\r\n";
    }
    b.task.LastValues = BuildRecord(b.app, 1, false, JoinEntryValues(b.task));
    for (auto _ : state) {
        b.task.LineCounter = 0;
        if (!WriteTextRecord(b.app, 1)) {
            state.SkipWithError(b.app.Status.LastErrorText.c_str());
            break;
        }
    }
}
BENCHMARK(BM_CsvFirstWriteAfterRestart)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pelkor

BENCHMARK_MAIN();
