// Appending one record to large workbooks: the engine, and the same file
// loaded and saved by LibreOffice headless (the least an append costs it).
// The big workbooks are written once by python3-xlwt into the build folder.

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "xls/Workbook.h"

namespace {

// Heap use of the operation alone: every allocation counted, peak kept.
std::atomic<size_t> heapNow{0}, heapPeak{0};

} // namespace

// These replace the global allocation functions, so malloc/free inside them
// are the matching pair (GCC cannot see that once they are inlined).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
    void* p = std::malloc(n + 16);
    if (!p) throw std::bad_alloc();
    *static_cast<size_t*>(p) = n;
    const size_t now = heapNow += n;
    size_t peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    char* base = static_cast<char*>(p) - 16;
    heapNow -= *reinterpret_cast<size_t*>(base);
    std::free(base);
}
void operator delete(void* p, size_t) noexcept {
    operator delete(p);
}

namespace {

namespace fs = std::filesystem;
const std::string Data = std::string(PELKOR_BINARY_DIR) + "/bench-data";

// A workbook of `rows` x `cols` distinct texts, made once.
std::string BigWorkbook(int rows, int cols) {
    const std::string path =
        Data + "/text-" + std::to_string(rows) + "x" + std::to_string(cols) + ".xls";
    if (fs::exists(path)) return path;
    fs::create_directories(Data);
    const std::string cmd = "/usr/bin/python3 -c \"import sys, xlwt\n"
                            "b = xlwt.Workbook(encoding='utf-8'); s = b.add_sheet('Data')\n"
                            "R, C = int(sys.argv[1]), int(sys.argv[2])\n"
                            "for r in range(R):\n"
                            "    row = s.row(r)\n"
                            "    for c in range(C): row.write(c, 'r%dc%d value' % (r, c))\n"
                            "    if r % 1000 == 0: s.flush_row_data()\n"
                            "b.save(sys.argv[3])\" " +
                            std::to_string(rows) + " " + std::to_string(cols) + " '" + path +
                            ".part' && mv '" + path + ".part' '" + path + "'";
    if (std::system(cmd.c_str()) != 0) return {};
    return path;
}

// One append as the logger makes it: load, find the first free row, write
// the record, save through a temporary file.
bool AppendOnce(const std::string& path, int cols, size_t* peak = nullptr) {
    const size_t base = heapNow.load();
    heapPeak = base;
    pelkor::xls::Workbook b;
    if (!b.Load(path)) return false;
    int row = 1;
    while (row <= pelkor::xls::MaxRows && !b.CellText(0, row, 1).empty())
        ++row;
    if (row > pelkor::xls::MaxRows)
        row = pelkor::xls::MaxRows; // a full sheet: its last row is rewritten
    for (int c = 1; c <= cols; ++c)
        b.SetCellText(0, row, c, "2026-12-07 10:00:00;" + std::to_string(c));
    const bool ok = b.Save(path);
    if (peak) *peak = heapPeak.load() - base;
    return ok;
}

void Append(benchmark::State& state, int rows, int cols) {
    const std::string src = BigWorkbook(rows, cols);
    if (src.empty()) {
        state.SkipWithError("python3-xlwt could not make the workbook");
        return;
    }
    const std::string work = Data + "/work-" + std::to_string(rows) + ".xls";
    size_t peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(src, work, fs::copy_options::overwrite_existing);
        state.ResumeTiming();
        if (!AppendOnce(work, cols, &peak)) state.SkipWithError("append failed");
    }
    const double mb = static_cast<double>(fs::file_size(src)) / 1e6;
    state.counters["file_MB"] = mb;
    state.counters["heap_peak_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["heap_per_file_size"] = static_cast<double>(peak) / 1e6 / mb;
}

// Engine against LibreOffice on the same 20,000 x 20 workbook, as a ratio.
void VersusLibreOffice(benchmark::State& state) {
    const std::string src = BigWorkbook(20000, 20);
    if (src.empty() || std::system("command -v soffice >/dev/null 2>&1") != 0) {
        state.SkipWithError("python3-xlwt or LibreOffice missing");
        return;
    }
    const std::string work = Data + "/versus.xls", out = Data + "/versus-out";
    using clock = std::chrono::steady_clock;
    double engine = 0, office = 0;
    for (auto _ : state) {
        double best = 1e9;
        for (int i = 0; i < 5; ++i) {
            fs::copy_file(src, work, fs::copy_options::overwrite_existing);
            const auto t0 = clock::now();
            AppendOnce(work, 20);
            best = std::min(best, std::chrono::duration<double>(clock::now() - t0).count());
        }
        engine = best;
        fs::copy_file(src, work, fs::copy_options::overwrite_existing);
        const std::string cmd = "soffice -env:UserInstallation=file://" + Data +
                                "/lo-profile --headless --convert-to xls --outdir '" + out + "' '" +
                                work + "' >/dev/null 2>&1";
        // A first start sets up the profile; only the second run counts.
        if (std::system(cmd.c_str()) == -1) {
        }
        const auto t0 = clock::now();
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("LibreOffice could not convert the workbook");
            break;
        }
        office = std::chrono::duration<double>(clock::now() - t0).count();
        state.SetIterationTime(engine);
    }
    state.counters["engine_ms"] = engine * 1e3;
    state.counters["libreoffice_ms"] = office * 1e3;
    state.counters["libreoffice_per_engine"] = office / engine;
}

} // namespace

BENCHMARK_CAPTURE(Append, rows20000_cols20, 20000, 20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(Append, rows65536_cols10, 65535, 10)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(VersusLibreOffice)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

BENCHMARK_MAIN();
