// Pelsbus costs: the CRC, one exchange over a pty with every wait at 0 (the
// library's own overhead plus the simulator's turn-around), and 4096
// registers against a simulator pacing at 38400 Bd, as a ratio of the time
// the line and the prescribed waits need; the same exchange and transfer
// over UDP on loopback.
#include "sbus/Engine.h"
#include "sbus/PosixSerialPort.h"
#include "sim/PcdSim.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

class BenchServices final : public pelsbus::Services {
public:
    void Sleep(int32_t ms) override {
        timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
        nanosleep(&ts, nullptr);
    }
    void ShowError(const char*) override {}
};

void BM_Crc(benchmark::State& state) {
    pelsbus::CrcTable t;
    t.Build();
    std::vector<uint8_t> buf(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < buf.size(); ++i)
        buf[i] = static_cast<uint8_t>(i * 31);
    for (auto _ : state)
        benchmark::DoNotOptimize(pelsbus::SbusCrc16(t, 0, buf.data(), buf.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc)->Arg(130)->Arg(4096);

struct Rig {
    pcdsim::Simulator sim;
    pelsbus::PosixSerialPort port;
    BenchServices sv;
    pelsbus::Engine engine{port, sv};
    bool ok = false;
    explicit Rig(int baud, bool udp = false) {
        sim.AddStation(1);
        sim.SetBaud(baud);
        if (!(udp ? sim.StartUdp() : sim.Start())) return;
        setenv("PELSBUS_COM1", sim.SlavePath().c_str(), 1);
        engine.NoMsg();
        engine.SetParameter(1, 38400, 1);
        ok = engine.Open() == 0;
        engine.State().station = 1;
    }
};

void BM_OneTelegramNoWaits(benchmark::State& state) {
    Rig rig(0);
    if (!rig.ok) {
        state.SkipWithError("no simulator");
        return;
    }
    for (int& w : rig.engine.State().wait)
        w = 0;
    int32_t v[1];
    for (auto _ : state)
        if (rig.engine.ReadValues(6, 0, 1, v) != 0) state.SkipWithError("read failed");
}
BENCHMARK(BM_OneTelegramNoWaits)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void BM_Read4096RegistersAt38400(benchmark::State& state) {
    Rig rig(38400);
    if (!rig.ok) {
        state.SkipWithError("no simulator");
        return;
    }
    std::vector<int32_t> regs(4096);
    for (auto _ : state)
        if (rig.engine.ReadValues(6, 0, 4096, regs.data()) != 0) state.SkipWithError("read failed");
    // Per telegram: 7 request bytes and 130 answer bytes of 11 bits, plus the
    // waits of one attempt (wait 1 twice, wait 2, wait 3, wait 4).
    const auto& w = rig.engine.State().wait;
    const double perTelegram = (7 + 130) * 11.0 / 38400 + (2 * w[0] + w[1] + w[2] + w[3]) / 1000.0;
    state.counters["ideal_s"] = 128 * perTelegram;
    state.counters["ratio"] =
        benchmark::Counter(128 * perTelegram * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Read4096RegistersAt38400)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_OneTelegramUdp(benchmark::State& state) {
    Rig rig(0, true);
    if (!rig.ok) {
        state.SkipWithError("no simulator");
        return;
    }
    int32_t v[1];
    for (auto _ : state)
        if (rig.engine.ReadValues(6, 0, 1, v) != 0) state.SkipWithError("read failed");
}
BENCHMARK(BM_OneTelegramUdp)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();

// Default waits: over UDP only wait 4 (0 ms) still applies.
void BM_Read4096RegistersUdp(benchmark::State& state) {
    Rig rig(0, true);
    if (!rig.ok) {
        state.SkipWithError("no simulator");
        return;
    }
    std::vector<int32_t> regs(4096);
    for (auto _ : state)
        if (rig.engine.ReadValues(6, 0, 4096, regs.data()) != 0) state.SkipWithError("read failed");
}
BENCHMARK(BM_Read4096RegistersUdp)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
