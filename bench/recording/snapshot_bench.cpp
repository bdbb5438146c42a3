// A 1080p box snapshot per container, in two measures. "windowThread" is what the window thread
// waits for: TakeSnapshot with the program's SnapshotWriter, which returns once the frame is
// copied under frameLock (the encoding of each round is waited for outside the timing).
// "wholeSnapshot" lasts until the file has its name: the copy, the encoding on the writer's
// worker, the write, the flush to the disk and the rename. Beside them, as the anchor,
// QImage::save of the same frame to the same container in the same folder, in the same run (Qt
// writes neither TIFF nor GIF, so those two run without it). Argument 0 is the simulated box's
// picture, 1 a detailed, camera-like picture of gradients under noise. The folder is the working
// directory: run it from a folder on a real disk. Compare real times: the encoding runs on
// another thread.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/mf_manager.h"
#include "capture/offscreen_surface.h"
#include "platform/imaging/library_image_encoders.h"
#include "platform/system/manual_clock.h"
#include "recording/snapshot_encoder.h"
#include "recording/snapshot_writer.h"
#include "sim/video/simulated_video_source.h"

namespace {

using namespace tovrel;
using namespace tovrel::platform;

constexpr uint32_t kW = 1920, kH = 1080;
constexpr std::array<sim::SimVideoMode, 1> kMode{{{sim::SimPixelFormat::Yuy2, kW, kH, 60, 1}}};

// A capture session at 1080p whose preview has converted one frame of the simulated box.
struct Session {
    Session() {
        auto source = std::make_shared<sim::SimulatedVideoSource>(
            kMode, sim::SimulatedVideoSource::Pacing::Stepped);
        manager.openSession(&surface, nullptr, source, false, false, 0, 0, 0, capture::kFormatYuy2);
        sim::SimulatedVideoSource twin(kMode, sim::SimulatedVideoSource::Pacing::Stepped);
        twin.selectNativeType(0, 0);
        twin.startStream(0);
        twin.step(31);
        SourceReadResult result;
        for (int i = 0; i <= 30; ++i) twin.pullSample(0, 1000, &result);
        manager.streaming = true;
        manager.videoCallback->OnReadSample(S_OK, 0, 0, 0, result.sample);
        manager.streaming = false;
        std::lock_guard lock(manager.frameLock);
        boxPicture.assign(manager.snapshotFrame.get(), manager.snapshotFrame.get() + kW * kH * 4);
        // A camera-like picture: gradients under fine noise, which the simulated box's flat
        // test picture lacks and which every encoder pays for.
        busyPicture.resize(boxPicture.size());
        uint32_t seed = 12345;
        for (uint32_t y = 0; y < kH; ++y) {
            for (uint32_t x = 0; x < kW; ++x) {
                uint8_t* at = busyPicture.data() + (static_cast<size_t>(y) * kW + x) * 4;
                seed = seed * 1664525u + 1013904223u;
                const int noise = static_cast<int>(seed >> 28) - 8;
                at[0] = static_cast<uint8_t>(
                    std::clamp(static_cast<int>(x * 255 / kW) + noise, 0, 255));
                at[1] = static_cast<uint8_t>(
                    std::clamp(static_cast<int>(y * 255 / kH) + noise, 0, 255));
                at[2] = static_cast<uint8_t>(
                    std::clamp(static_cast<int>((x ^ y) & 0xFF) + noise, 0, 255));
                at[3] = 0xFF;
            }
        }
    }
    // 0: the simulated box's picture; 1: the camera-like one.
    void show(int64_t which) {
        std::lock_guard lock(manager.frameLock);
        const std::vector<uint8_t>& picture = which == 0 ? boxPicture : busyPicture;
        std::memcpy(manager.snapshotFrame.get(), picture.data(), picture.size());
    }
    ManualClock clock{1000};
    capture::MFManager manager{clock};
    capture::OffscreenSurface surface{kW, kH};
    LibraryImageEncoders encoders;
    std::vector<uint8_t> boxPicture, busyPicture;
};

Session& session() {
    static Session s;
    return s;
}

std::string folder() {
    static const std::string path = std::filesystem::current_path().string() + "/snapshot-bench";
    std::filesystem::create_directories(path);
    return path;
}

// Counts the writer's failures, which TakeSnapshot no longer returns.
struct Writer {
    std::atomic<bool> failed{false};
    recording::SnapshotWriter writer{session().encoders, [this](const std::string&, HRESULT hr) {
                                         if (FAILED(hr)) failed = true;
                                     }};
};

// Rounds of the window thread's measure: each also waits for its encoding, which the timing
// leaves out, so the library's own choice (enough rounds for half a second of timed work) would
// run for minutes.
constexpr int kWindowThreadRounds = 20;

void windowThread(benchmark::State& state, const char* extension) {
    Session& s = session();
    Writer w;
    const std::string path = folder() + "/MF240307140509" + extension;
    s.show(state.range(0));
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const HRESULT hr = recording::SnapshotEncoder(s.manager, w.writer).TakeSnapshot(path);
        const std::chrono::duration<double> blocked = std::chrono::steady_clock::now() - start;
        w.writer.waitUntilIdle();
        if (FAILED(hr) || w.failed) {
            state.SkipWithError("TakeSnapshot failed");
            break;
        }
        state.SetIterationTime(blocked.count());
    }
}

void wholeSnapshot(benchmark::State& state, const char* extension) {
    Session& s = session();
    Writer w;
    const std::string path = folder() + "/MF240307140509" + extension;
    s.show(state.range(0));
    for (auto _ : state) {
        const HRESULT hr = recording::SnapshotEncoder(s.manager, w.writer).TakeSnapshot(path);
        w.writer.waitUntilIdle();
        if (FAILED(hr) || w.failed) {
            state.SkipWithError("TakeSnapshot failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

void qimageSave(benchmark::State& state, const char* extension, const char* format) {
    Session& s = session();
    const std::string path = folder() + "/Q240307140509" + extension;
    s.show(state.range(0));
    for (auto _ : state) {
        // The same work the snapshot does: copy the frame under the lock, then encode.
        QImage image(static_cast<int>(kW), static_cast<int>(kH), QImage::Format_RGB32);
        {
            std::lock_guard lock(s.manager.frameLock);
            std::memcpy(image.bits(), s.manager.snapshotFrame.get(), kW * kH * 4);
        }
        if (!image.save(QString::fromStdString(path), format)) {
            state.SkipWithError("QImage::save failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

#define SNAPSHOT_BENCHMARKS(name, extension)          \
    BENCHMARK_CAPTURE(windowThread, name, extension)  \
        ->Arg(0)                                      \
        ->Arg(1)                                      \
        ->UseManualTime()                             \
        ->Iterations(kWindowThreadRounds)             \
        ->Unit(benchmark::kMillisecond);              \
    BENCHMARK_CAPTURE(wholeSnapshot, name, extension) \
        ->Arg(0)                                      \
        ->Arg(1)                                      \
        ->UseRealTime()                               \
        ->Unit(benchmark::kMillisecond)

SNAPSHOT_BENCHMARKS(jpg, ".jpg");
BENCHMARK_CAPTURE(qimageSave, jpg, ".jpg", "JPG")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
SNAPSHOT_BENCHMARKS(bmp, ".bmp");
BENCHMARK_CAPTURE(qimageSave, bmp, ".bmp", "BMP")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
SNAPSHOT_BENCHMARKS(png, ".png");
BENCHMARK_CAPTURE(qimageSave, png, ".png", "PNG")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
SNAPSHOT_BENCHMARKS(tiff, ".tiff");
SNAPSHOT_BENCHMARKS(gif, ".gif");

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // Qt's JPEG writer is a plug-in
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder());
    return 0;
}
