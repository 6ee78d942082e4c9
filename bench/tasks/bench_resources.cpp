// Start-up cost of the resource lists: 100 tasks of 50 entries each, every
// entry with its own station, a count and a head.
#include <benchmark/benchmark.h>

#include "core/AppContext.h"
#include "support/ScriptedUserInterface.h"
#include "tasks/Resources.h"

using namespace pelkor;

namespace {

std::string ListOf50(int task, std::string& head) {
    std::string data;
    head.clear();
    const char kinds[] = {'R', 'F', 'I'};
    for (int e = 0; e < 50; ++e) {
        if (e) data += ';', head += ',';
        if (e % 10 == 0) data += "STN " + std::to_string(task % 32) + ",";
        if (e == 49)
            data += "CLK";
        else
            data += std::string(1, kinds[e % 3]) + " " + std::to_string(100 + e * 4) + " [" +
                    std::to_string(1 + e % 8) + "]";
        head += "Value " + std::to_string(e) + "\x01" + "<$I>";
    }
    return data;
}

void BM_ParseHundredTasks(benchmark::State& state) {
    ScriptedUserInterface ui;
    ManualClock clock;
    AppContext app(ui, clock, "/tmp");
    std::vector<std::string> lists(MaxTasks + 1), heads(MaxTasks + 1);
    for (int t = 1; t <= MaxTasks; ++t)
        lists[t] = ListOf50(t, heads[t]);
    for (auto _ : state) {
        for (int t = 1; t <= MaxTasks; ++t) {
            app.Tasks[t].Data = lists[t];
            app.Tasks[t].DataHead = heads[t];
            if (!ParseTaskResources(app, t)) state.SkipWithError("parse failed");
        }
        benchmark::DoNotOptimize(app.Tasks[MaxTasks].AddressCount);
    }
    state.SetItemsProcessed(state.iterations() * MaxTasks * 50);
}
BENCHMARK(BM_ParseHundredTasks)->Unit(benchmark::kMillisecond);

void BM_NormaliseOneList(benchmark::State& state) {
    std::string head;
    std::string data = ListOf50(7, head);
    for (auto _ : state)
        benchmark::DoNotOptimize(NormaliseResourceList(data));
    state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(BM_NormaliseOneList)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
