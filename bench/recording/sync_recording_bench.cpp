// A long recording of the simulated USB 3.0 box's sync pattern, measured: how far the sound is
// from the picture (median, every second, drift) and how even the frames are, on an idle machine
// or with busy threads on every core, with the box's audio clock off by some ppm if asked.
// Not a Google Benchmark and not in ctest: run it and read its figures.
//   tovrel_sync_recording_bench [--seconds 600] [--format yuy2|mjpg|nv12] [--size 1920x1080]
//                               [--rate 60/1] [--drift PPM] [--hog THREADS] [--hevc] [--keep FILE]
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/system/debug_output.h"
#include "tests/recording/simulated_recording.h"
#include "tests/support/sync_measurement.h"

using namespace tovrel;

namespace {

struct Options {
    int seconds = 600;
    sim::SimVideoMode mode{sim::SimPixelFormat::Yuy2, 1920, 1080, 60, 1};
    int32_t driftPpm = 0;
    int hogThreads = 0;
    bool hevc = false;
    std::string keep;
};

bool parse(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--hevc") {
            o->hevc = true;
            continue;
        }
        if (value == nullptr) return false;
        ++i;
        if (arg == "--seconds") {
            o->seconds = std::atoi(value);
        } else if (arg == "--format") {
            const std::string f = value;
            o->mode.format = f == "mjpg"   ? sim::SimPixelFormat::Mjpg
                             : f == "nv12" ? sim::SimPixelFormat::Nv12
                                           : sim::SimPixelFormat::Yuy2;
        } else if (arg == "--size") {
            if (std::sscanf(value, "%ux%u", &o->mode.width, &o->mode.height) != 2) return false;
        } else if (arg == "--rate") {
            o->mode.rateDenominator = 1;
            if (std::sscanf(value, "%u/%u", &o->mode.rateNumerator, &o->mode.rateDenominator) < 1)
                return false;
        } else if (arg == "--drift") {
            o->driftPpm = std::atoi(value);
        } else if (arg == "--hog") {
            o->hogThreads = std::atoi(value);
        } else if (arg == "--keep") {
            o->keep = value;
        } else {
            return false;
        }
    }
    return o->seconds > 0 && o->mode.rateNumerator > 0 && o->mode.rateDenominator > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, &o)) {
        std::fprintf(stderr,
                     "usage: %s [--seconds 600] [--format yuy2|mjpg|nv12] [--size 1920x1080] "
                     "[--rate 60/1] [--drift PPM] [--hog THREADS] [--hevc] [--keep FILE]\n",
                     argv[0]);
        return 2;
    }
    std::mutex linesLock;
    std::vector<std::string> lines;
    platform::setDebugOutputSink([&](std::string_view line) {
        std::lock_guard lock(linesLock);
        lines.emplace_back(line);
    });
    const std::string path =
        o.keep.empty() ? "/tmp/tovrel-sync-bench-" + std::to_string(::getpid()) + ".mp4" : o.keep;

    std::atomic<bool> hogging{true};
    std::vector<std::thread> hogs;
    for (int i = 0; i < o.hogThreads; ++i) {
        hogs.emplace_back([&] {
            volatile uint64_t x = 0;
            while (hogging) x = x + 1;
        });
    }
    const std::array<sim::SimVideoMode, 1> modes{o.mode};
    {
        recording::SimulatedRecording rec(modes, true, std::make_shared<sim::SyncPattern>(true));
        rec.audio->setClockDrift(o.driftPpm);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (rec.controller->StartRecording(path, 2, o.hevc ? 1 : 0, 0, 0) != platform::S_OK) {
            std::fprintf(stderr, "the recording did not start\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::seconds(o.seconds));
        rec.controller->StopRecording();
        std::printf("frames not handed over (no free buffer): %llu\n",
                    static_cast<unsigned long long>(rec.controller->framesNotHandedOver()));
    }
    hogging = false;
    for (auto& hog : hogs) hog.join();

    std::printf("%ux%u %s %u/%u, %d s, %s, audio clock %+d ppm, %d busy threads\n", o.mode.width,
                o.mode.height,
                o.mode.format == sim::SimPixelFormat::Mjpg   ? "MJPEG"
                : o.mode.format == sim::SimPixelFormat::Nv12 ? "NV12"
                                                             : "YUY2",
                o.mode.rateNumerator, o.mode.rateDenominator, o.seconds, o.hevc ? "HEVC" : "H.264",
                o.driftPpm, o.hogThreads);
    {
        std::lock_guard lock(linesLock);
        for (const std::string& line : lines)
            if (line.find("video frames written") != std::string::npos ||
                line.find("dropped") != std::string::npos)
                std::printf("%s\n", line.c_str());
    }
    const auto m = testing::SyncMeasurement::measure(path, static_cast<int>(o.mode.rateNumerator),
                                                     static_cast<int>(o.mode.rateDenominator));
    std::fputs(m.report(false).c_str(), stdout);
    double worst = 0;
    for (const auto& p : m.pairs) worst = std::max(worst, std::abs(p.offsetMs - 0.0));
    std::printf("largest |audio - video| of a second: %.3f ms\n", worst);
    if (o.keep.empty()) ::unlink(path.c_str());
    return m.readable ? 0 : 1;
}
