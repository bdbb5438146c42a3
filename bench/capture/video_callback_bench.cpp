// The video callback on simulated 1920x1080 frames, per mode, with and without motion
// detection, beside the JPEG decode alone so that the callback's own cost shows as the
// difference. Two alternating frames keep motion detection finding the moving block.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "capture/mf_manager.h"
#include "capture/motion_detection.h"
#include "capture/offscreen_surface.h"
#include "imaging/jpeg_decoder.h"
#include "platform/system/manual_clock.h"
#include "sim/box/box_model.h"
#include "sim/video/simulated_video_source.h"

namespace {

using namespace tovrel;
using namespace tovrel::platform;

uint32_t modeIndex(sim::SimPixelFormat format) {
    const auto& modes = sim::kDefaultBoxModel.modes;
    uint32_t i = 0;
    while (modes[i].format != format) ++i;
    return i;
}

std::shared_ptr<Sample> frame(uint32_t index, uint32_t n) {
    sim::SimulatedVideoSource twin(sim::kDefaultBoxModel.modes,
                                   sim::SimulatedVideoSource::Pacing::Stepped);
    twin.selectNativeType(0, index);
    twin.startStream(0);
    twin.step(n + 1);
    SourceReadResult result;
    for (uint32_t i = 0; i <= n; ++i) twin.pullSample(0, 1000, &result);
    return result.sample;
}

void runCallback(benchmark::State& state, int32_t format, bool motion, bool preview = true) {
    ManualClock clock;
    capture::MFManager manager(clock);
    capture::OffscreenSurface surface;
    auto source = std::make_shared<sim::SimulatedVideoSource>(
        sim::kDefaultBoxModel.modes, sim::SimulatedVideoSource::Pacing::Stepped);
    manager.openSession(&surface, nullptr, source, false, false, 0, 0, 0, format);
    const uint32_t index = modeIndex(format == capture::kFormatMjpg ? sim::SimPixelFormat::Mjpg
                                                                    : sim::SimPixelFormat::Yuy2);
    const std::shared_ptr<Sample> samples[2] = {frame(index, 0), frame(index, 1)};
    manager.streaming = true;
    manager.motionDetection = motion;
    manager.previewVisible = preview;
    uint64_t n = 0;
    for (auto _ : state) {
        manager.videoCallback->OnReadSample(S_OK, 0, 0, 0, samples[n++ % 2]);
    }
    manager.streaming = false;
    manager.closeSession();
    state.SetItemsProcessed(state.iterations());
}

void BM_Yuy2(benchmark::State& state) { runCallback(state, capture::kFormatYuy2, false); }
void BM_Yuy2Motion(benchmark::State& state) { runCallback(state, capture::kFormatYuy2, true); }
void BM_Mjpeg(benchmark::State& state) { runCallback(state, capture::kFormatMjpg, false); }
void BM_MjpegMotion(benchmark::State& state) { runCallback(state, capture::kFormatMjpg, true); }
// Decode and pack only (the preview hidden): the session's decode in the callback's own cache
// conditions, to set against BM_Mjpeg.
void BM_MjpegPreviewHidden(benchmark::State& state) {
    runCallback(state, capture::kFormatMjpg, false, false);
}

// Two MJPEG frames of the simulated box, their buffers locked for the object's life.
struct LockedJpegFrames {
    LockedJpegFrames() {
        const uint32_t index = modeIndex(sim::SimPixelFormat::Mjpg);
        for (int i = 0; i < 2; ++i) {
            samples[i] = frame(index, static_cast<uint32_t>(i));
            samples[i]->ConvertToContiguousBuffer(&buffers[i]);
            buffers[i]->Lock(&data[i], nullptr, &length[i]);
        }
    }
    ~LockedJpegFrames() {
        for (auto& buffer : buffers) buffer->Unlock();
    }
    std::shared_ptr<Sample> samples[2];
    std::shared_ptr<MediaBuffer> buffers[2];
    uint8_t* data[2] = {};
    uint32_t length[2] = {};
};

// The decode the MJPEG callback starts with, alone.
void BM_JpegDecodeOnly(benchmark::State& state) {
    const LockedJpegFrames jpeg;
    const auto& data = jpeg.data;
    const auto& length = jpeg.length;
    imaging::JpegDecoder decoder;
    const auto layout = imaging::JpegDecoder::layout(1920, 1080);
    std::vector<uint8_t> planar(static_cast<size_t>(layout.totalBytes));
    uint64_t n = 0;
    for (auto _ : state) {
        const int i = static_cast<int>(n++ % 2);
        benchmark::DoNotOptimize(decoder.decodeToPlanar422(data[i], length[i], planar.data(),
                                                           layout.totalBytes, 1920, 1080));
    }
}

// The MJPEG callback's own cost beyond its decode, measured pairwise so that the machine's noise
// falls on both halves alike: each iteration times the session's decoder on one frame (into the
// session's own planar buffer) and then the whole callback on the other frame. Reports the medians
// of both and of their per-iteration difference.
void runOwnCost(benchmark::State& state, bool motion) {
    ManualClock clock;
    capture::MFManager manager(clock);
    capture::OffscreenSurface surface;
    auto source = std::make_shared<sim::SimulatedVideoSource>(
        sim::kDefaultBoxModel.modes, sim::SimulatedVideoSource::Pacing::Stepped);
    manager.openSession(&surface, nullptr, source, false, false, 0, 0, 0, capture::kFormatMjpg);
    const LockedJpegFrames jpeg;
    const auto& samples = jpeg.samples;
    const auto& data = jpeg.data;
    const auto& length = jpeg.length;
    manager.streaming = true;
    manager.motionDetection = motion;
    std::vector<double> decodeMs, callbackMs, beyondMs;
    uint64_t n = 0;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        const int i = static_cast<int>(n++ % 2);
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(manager.jpegDecoder->decodeToPlanar422(
            data[i], length[i], manager.planarFrame.get(), manager.planarBytes, 1920, 1080));
        const auto t1 = Clock::now();
        manager.videoCallback->OnReadSample(S_OK, 0, 0, 0, samples[1 - i]);
        const auto t2 = Clock::now();
        const double decode = std::chrono::duration<double, std::milli>(t1 - t0).count();
        const double callback = std::chrono::duration<double, std::milli>(t2 - t1).count();
        decodeMs.push_back(decode);
        callbackMs.push_back(callback);
        beyondMs.push_back(callback - decode);
    }
    manager.streaming = false;
    manager.closeSession();
    const auto median = [](std::vector<double> v) {
        if (v.empty()) return 0.0;
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    state.counters["decode_ms"] = median(decodeMs);
    state.counters["callback_ms"] = median(callbackMs);
    state.counters["beyond_decode_ms"] = median(beyondMs);
}

void BM_MjpegOwnCost(benchmark::State& state) { runOwnCost(state, false); }
void BM_MjpegMotionOwnCost(benchmark::State& state) { runOwnCost(state, true); }

// The motion step alone on two alternating frames.
void BM_MotionOnly(benchmark::State& state) {
    const uint32_t index = modeIndex(sim::SimPixelFormat::Yuy2);
    const std::shared_ptr<Sample> samples[2] = {frame(index, 0), frame(index, 1)};
    std::vector<uint8_t> frames[2];
    for (int i = 0; i < 2; ++i) {
        std::shared_ptr<MediaBuffer> buffer;
        samples[i]->ConvertToContiguousBuffer(&buffer);
        uint8_t* data = nullptr;
        uint32_t length = 0;
        buffer->Lock(&data, nullptr, &length);
        frames[i].assign(data, data + length);
        buffer->Unlock();
    }
    std::vector<uint8_t> previous(frames[0].size()), diff(frames[0].size());
    uint64_t n = 0;
    for (auto _ : state) {
        capture::detectMotion(frames[n++ % 2].data(), previous.data(), diff.data(), 3840, 1080);
    }
}

BENCHMARK(BM_MotionOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Yuy2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Yuy2Motion)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegDecodeOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MjpegPreviewHidden)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MjpegMotion)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MjpegOwnCost)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MjpegMotionOwnCost)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
