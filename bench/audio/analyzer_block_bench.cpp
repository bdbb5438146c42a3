// The analyzer worker's cost per one-second block at 48 kHz stereo: both spectra, their bands
// and the spectrum drawing, the history append, and the scope drawn once from the new history.
// The scope is drawn both ways in the same run: every history point handed to the polyline (the
// plain way) and a few points per pixel column (what the window does). Each iteration is one
// block, timed on its own, so the counters give the median and the 99th percentile per block,
// in wall time and in this thread's processor time.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include <time.h>

#include "audio/ui/audio_dialog_model.h"

namespace {

using namespace tovrel;

constexpr int kBlocks = 300;

std::vector<int16_t> toneBlock() {
    std::vector<int16_t> block(96'000);
    for (int i = 0; i < 48'000; ++i) {
        block[2 * i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * i / 48'000.0));
        block[2 * i + 1] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000 * i / 48'000.0));
    }
    return block;
}

// This thread's processor time in seconds: on a shared machine the wall time of a block also
// holds the time other processes had the core, which this leaves out.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double percentile(std::vector<double> ms, double p) {
    std::sort(ms.begin(), ms.end());
    return ms[std::min(ms.size() - 1, static_cast<size_t>(p * static_cast<double>(ms.size())))];
}

// Arguments: the time base's index (9: 10 mS/Div, 12: 100 mS/Div), and 1 for every point.
void BM_AnalyzerBlock(benchmark::State& state) {
    const auto timeBase = static_cast<int32_t>(state.range(0));
    const bool everyPoint = state.range(1) != 0;
    audio::AudioFormat format{48'000, 2, 16, 4, true};
    audio::AudioRing ring;
    audio::ui::AudioDialogModel model(format, ring, platform::SystemClock::instance());
    model.open(QSize(312, 325), QSize(420, 325));  // nothing in the ring: the worker idles
    model.stopWorker();
    model.setScopeEveryPoint(everyPoint);
    model.onTimeBase(timeBase);
    const std::vector<int16_t> block = toneBlock();
    const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
    std::vector<double> ms, cpuMs;
    ms.reserve(kBlocks);
    cpuMs.reserve(kBlocks);
    for (auto _ : state) {
        const double cpu0 = threadSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        model.analyzer().processBlock(bytes, 192'000);
        benchmark::DoNotOptimize(model.redrawScope().constBits());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1e3);
        cpuMs.push_back((threadSeconds() - cpu0) * 1e3);
    }
    state.counters["median_ms"] = percentile(ms, 0.5);
    state.counters["p99_ms"] = percentile(ms, 0.99);
    state.counters["cpu_median_ms"] = percentile(cpuMs, 0.5);
    state.counters["cpu_p99_ms"] = percentile(cpuMs, 0.99);
    state.SetLabel(std::string(timeBase == 9 ? "10 mS/Div" : "100 mS/Div") +
                   (everyPoint ? ", every point" : ", per column"));
}
BENCHMARK(BM_AnalyzerBlock)
    ->ArgsProduct({{9, 12}, {1, 0}})
    ->Iterations(kBlocks)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
