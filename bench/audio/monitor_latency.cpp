// Measures the audio monitor's delay from capture to speakers: the simulated box plays tone
// bursts (200 ms in every second) through the whole capture path and the monitor into the
// sound server's default sink, and the sink's monitor is recorded back. Each burst's onset is
// "captured" when its first frame happens at the device (stream start + frame / rate) and
// "heard" when the recording shows it (arrival less the recording latency).
//
//   monitor_latency [seconds=70] [sink=test_sink]
// Needs a running server (PULSE_SERVER); prints every onset and the median, maximum and trend.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "capture/mf_manager.h"
#include "platform/audio/alsa_audio_endpoint_enumerator.h"
#include "sim/audio/simulated_audio_source.h"
#include "sink_recorder.h"

using namespace tovrel;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 70;
    const std::string sink = argc > 2 ? argv[2] : "test_sink";
    constexpr uint32_t kOnMs = 200, kPeriodMs = 1000;

    audio::SinkRecorder recorder(sink + ".monitor");
    if (!recorder.start()) {
        std::fprintf(stderr, "cannot record %s.monitor (is PULSE_SERVER set?)\n", sink.c_str());
        return 1;
    }
    auto source = std::make_shared<sim::SimulatedAudioSource>(
        sim::SimulatedAudioSource::Pacing::RealTime,
        sim::SimulatedAudioSource::Signal{440, 1000, 0.25, kOnMs, kPeriodMs});
    platform::AlsaAudioEndpointEnumerator speakers;
    capture::MFManager manager;
    manager.audioMonitor.setEndpoints(&speakers);
    if (manager.openSession(nullptr, source, nullptr, false, false, 0, 0, 0, 0) != platform::S_OK ||
        manager.startStreaming() != platform::S_OK) {
        std::fprintf(stderr, "capture did not start\n");
        return 1;
    }
    std::vector<int32_t> ringBytes;
    for (int i = 0; i < seconds * 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ringBytes.push_back(manager.audioMonitor.monitorRing.heldBytes());
    }
    const Clock::time_point start = source->streamStartTime();
    manager.stopStreaming(platform::SystemClock::instance());
    manager.closeSession();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    recorder.stop();

    // Onsets in the recording: the first sounding frame after at least 100 ms of silence.
    const auto s = recorder.samples();
    const size_t frames = s.size() / 2;
    std::vector<double> delaysMs;
    size_t quiet = 0;
    for (size_t f = 0; f < frames; ++f) {
        const bool sounding = std::abs(int(s[2 * f])) > 64 || std::abs(int(s[2 * f + 1])) > 64;
        if (!sounding) {
            ++quiet;
            continue;
        }
        if (quiet >= 4800) {
            const Clock::time_point heard = recorder.heardAt(f);
            const double sinceStartMs =
                std::chrono::duration<double, std::milli>(heard - start).count();
            // The burst it belongs to began at a whole period since the start; the delay is
            // well under a period by design (ring 200 ms, device 100 ms).
            const double burstMs = std::floor(sinceStartMs / kPeriodMs) * kPeriodMs;
            delaysMs.push_back(sinceStartMs - burstMs);
            std::printf("onset %3zu heard %9.1f ms after start, delay %6.1f ms\n", delaysMs.size(),
                        sinceStartMs, delaysMs.back());
        }
        quiet = 0;
    }
    if (delaysMs.size() < 10) {
        std::fprintf(stderr, "only %zu onsets found\n", delaysMs.size());
        return 1;
    }
    auto sorted = delaysMs;
    std::sort(sorted.begin(), sorted.end());
    auto mean = [](auto b, auto e) {
        double sum = 0;
        for (auto i = b; i != e; ++i) sum += *i;
        return sum / double(e - b);
    };
    const size_t tenth = delaysMs.size() / 10;
    std::printf("\n%zu onsets over %d s: median %.1f ms, min %.1f ms, max %.1f ms\n",
                delaysMs.size(), seconds, sorted[sorted.size() / 2], sorted.front(), sorted.back());
    std::printf("first tenth mean %.1f ms, last tenth mean %.1f ms\n",
                mean(delaysMs.begin(), delaysMs.begin() + tenth),
                mean(delaysMs.end() - tenth, delaysMs.end()));
    std::sort(ringBytes.begin(), ringBytes.end());
    std::printf("monitor ring held: median %d bytes (%.1f ms), max %d bytes (%.1f ms)\n",
                ringBytes[ringBytes.size() / 2], ringBytes[ringBytes.size() / 2] / 192.0,
                ringBytes.back(), ringBytes.back() / 192.0);
    std::printf("samples lost by the device: %llu\n",
                static_cast<unsigned long long>(source->samplesLost()));
    return 0;
}
