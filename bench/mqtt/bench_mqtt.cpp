// What publishing costs: the scheduler's share of one reading (payload and
// queue, the network is on other threads), and records per second through a
// mosquitto broker on loopback (skipped when mosquitto is absent).

#include <benchmark/benchmark.h>

#include "mqtt/MqttClient.h"
#include "mqtt/MqttPayload.h"
#include "mqtt/MqttTestSupport.h"
#include "support/ResourceEntries.h"

namespace pelkor {
namespace {

Task BenchTask(int values) {
    Task t;
    t.ResourceCount = 1;
    t.Resources = {MakeEntry('R', values, 100, "Meter <$I+1>")};
    for (int i = 0; i < values; ++i)
        t.Resources[0].Values += ";" + std::to_string(123456 + i * 7);
    t.LastValues = "2026-12-06 10:15:00;0" + t.Resources[0].Values;
    t.FileType = "CSV";
    return t;
}

MqttSettings Settings(const std::string& broker) {
    MqttSettings s;
    s.Broker = broker;
    s.ClientId = "pelkor-bench";
    s.TopicPrefix = "bench";
    s.QueueLimit = 1000000;
    return s;
}

void BM_PayloadOfOneReading(benchmark::State& state) {
    const Task t = BenchTask(static_cast<int>(state.range(0)));
    const ReadingDoneEvent e{1, 46362.5, &t};
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildMqttPayload(e));
}
BENCHMARK(BM_PayloadOfOneReading)->Arg(10)->Arg(100);

// The scheduler's share of one reading, with a connected broker.
void BM_PublishCostPerReading(benchmark::State& state) {
    if (mqtttest::MosquittoPath().empty()) {
        state.SkipWithError("mosquitto is not installed");
        return;
    }
    TempDir dir;
    mqtttest::Broker broker(dir);
    if (!broker.Start()) {
        state.SkipWithError("the broker did not start");
        return;
    }
    MqttClient client(Settings(broker.Url()));
    if (!client.Start()) return;
    e2e::WaitFor([&] { return client.Connected(); }, 10);
    const Task t = BenchTask(static_cast<int>(state.range(0)));
    const ReadingDoneEvent e{1, 46362.5, &t};
    // What ReadingDone does on the scheduler's thread.
    for (auto _ : state)
        client.Publish({MqttTaskTopic("bench", 1), BuildMqttPayload(e), 1, true});
    client.Stop(10);
}
BENCHMARK(BM_PublishCostPerReading)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

// From the first publish until a subscriber holds every record.
void BM_RecordsThroughBroker(benchmark::State& state) {
    if (mqtttest::MosquittoPath().empty()) {
        state.SkipWithError("mosquitto is not installed");
        return;
    }
    TempDir dir;
    mqtttest::Broker broker(dir);
    if (!broker.Start()) {
        state.SkipWithError("the broker did not start");
        return;
    }
    const int records = static_cast<int>(state.range(0));
    const Task t = BenchTask(20);
    const std::string payload = BuildMqttPayload({1, 46362.5, &t});
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string topic = "bench/" + std::to_string(++round) + "/task/1";
        mqtttest::Subscriber sub(broker.Port(), topic);
        sub.WaitSubscribed();
        MqttClient client(Settings(broker.Url()));
        client.Start();
        e2e::WaitFor([&] { return client.Connected(); }, 10);
        state.ResumeTiming();
        for (int i = 0; i < records; ++i)
            client.Publish({topic, payload, 1, false});
        e2e::WaitFor([&] { return sub.Count() >= static_cast<std::size_t>(records); }, 60);
        state.PauseTiming();
        if (sub.Count() < static_cast<std::size_t>(records))
            state.SkipWithError("records were lost");
        client.Stop(5);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_RecordsThroughBroker)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

} // namespace
} // namespace pelkor

BENCHMARK_MAIN();
