// Measures the audio monitor's delay from capture to speakers: the simulated box plays tone
// bursts (200 ms in every second) through the whole capture path and the monitor into the
// sound server's default sink, and the sink's monitor is recorded back. Each burst's onset is
// "captured" when its first frame happens at the device (stream start + frame / rate) and
// "heard" when the recording shows it (arrival less the recording latency).
//
//   monitor_latency [seconds=70] [sink=test_sink] [busy=FROM-TO,...|busy-every=PERIOD/LENGTH]
//                   [stall=AT/MS,...]
// Needs a running server (PULSE_SERVER); prints every onset, the mean of every ten onsets, the
// slope of the delay per minute, the median and maximum, and the monitor's own measurement of
// its delay. "busy" keeps every core busy over the given spans (seconds since the start, e.g.
// busy=10-40); "busy-every" does so for LENGTH seconds every PERIOD seconds, from 10 s on (the
// hour-long run: 3600 test_sink busy-every=600/60). "stall" stops the simulated box's audio at
// AT seconds for MS milliseconds, after which it hands over what it held back, as a device does
// (e.g. stall=30/300: the speakers run dry, and the delay must come back down afterwards).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "busy_cores.h"
#include "capture/mf_manager.h"
#include "platform/audio/alsa_audio_endpoint_enumerator.h"
#include "sim/audio/simulated_audio_source.h"
#include "sink_recorder.h"

using namespace tovrel;
using Clock = std::chrono::steady_clock;

namespace {

struct Span {
    double fromS, toS;
};

// "A<sep>B,A<sep>B,..." as pairs of numbers; empty when it does not read so.
std::vector<Span> pairs(const char* p, char sep) {
    std::vector<Span> spans;
    while (*p) {
        char* end = nullptr;
        const double a = std::strtod(p, &end);
        if (end == p || *end != sep) return {};
        p = end + 1;
        const double b = std::strtod(p, &end);
        if (end == p || (*end != ',' && *end != '\0')) return {};
        spans.push_back({a, b});
        p = *end == ',' ? end + 1 : end;
    }
    return spans;
}

std::vector<Span> busySpans(const std::string& arg, int seconds) {
    if (arg.rfind("busy=", 0) == 0) return pairs(arg.c_str() + 5, '-');
    std::vector<Span> spans;
    if (arg.rfind("busy-every=", 0) == 0) {
        const std::vector<Span> every = pairs(arg.c_str() + 11, '/');
        if (every.size() != 1 || every[0].fromS <= 0) return {};
        for (double from = 10; from < seconds; from += every[0].fromS)
            spans.push_back({from, from + every[0].toS});
    }
    return spans;
}

double mean(std::vector<double>::const_iterator b, std::vector<double>::const_iterator e) {
    double sum = 0;
    for (auto i = b; i != e; ++i) sum += *i;
    return e > b ? sum / double(e - b) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 70;
    const std::string sink = argc > 2 ? argv[2] : "test_sink";
    std::vector<Span> busy, stalls;
    for (int a = 3; a < argc; ++a) {
        const std::string arg = argv[a];
        bool read;
        if (arg.rfind("stall=", 0) == 0) {
            for (const Span& s : pairs(arg.c_str() + 6, '/'))
                stalls.push_back({s.fromS, s.fromS + s.toS / 1000.0});
            read = !stalls.empty();
        } else {
            busy = busySpans(arg, seconds);
            read = !busy.empty();
        }
        if (!read) {
            std::fprintf(stderr,
                         "cannot read %s (busy=FROM-TO,..., busy-every=PERIOD/LENGTH or "
                         "stall=AT/MS,...)\n",
                         argv[a]);
            return 2;
        }
    }
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
    std::vector<double> monitorDelayMs, deviceQueueMs;
    audio::BusyCores cores;
    bool sourceStalled = false;
    const Clock::time_point begun = Clock::now();
    for (int i = 0; i < seconds * 10; ++i) {
        std::this_thread::sleep_until(begun + std::chrono::milliseconds(100 * (i + 1)));
        const double atS = (i + 1) / 10.0;
        cores.set(std::any_of(busy.begin(), busy.end(),
                              [&](const Span& s) { return atS >= s.fromS && atS < s.toS; }));
        const bool stalled = std::any_of(stalls.begin(), stalls.end(), [&](const Span& s) {
            return atS >= s.fromS && atS < s.toS;
        });
        if (stalled != sourceStalled) {
            if (stalled) {
                source->injectFault(sim::AudioFault::Stall);
            } else {
                source->clearFaults();
            }
            sourceStalled = stalled;
        }
        ringBytes.push_back(manager.audioMonitor.monitorRing.heldBytes());
        const audio::AudioMonitor::Delay delay = manager.audioMonitor.currentDelay();
        monitorDelayMs.push_back(delay.ms());
        if (delay.framesPerSecond)
            deviceQueueMs.push_back(delay.deviceFrames * 1000.0 / delay.framesPerSecond);
    }
    cores.set(false);
    const uint64_t framesDropped = manager.audioMonitor.framesDropped();
    const Clock::time_point start = source->streamStartTime();
    manager.stopStreaming(platform::SystemClock::instance());
    manager.closeSession();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    recorder.stop();

    // Onsets in the recording: the first sounding frame after at least 100 ms of silence.
    const auto s = recorder.samples();
    const size_t frames = s.size() / 2;
    std::vector<double> delaysMs, heardS;
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
            heardS.push_back(sinceStartMs / 1000.0);
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
    std::printf("\nmeans of ten onsets (ms):");
    for (size_t i = 0; i + 10 <= delaysMs.size(); i += 10) {
        if (i % 200 == 0) std::printf("\n ");
        std::printf(" %.1f", mean(delaysMs.begin() + i, delaysMs.begin() + i + 10));
    }
    // Least-squares slope of delay over time.
    const double tMean = mean(heardS.begin(), heardS.end());
    const double dMean = mean(delaysMs.begin(), delaysMs.end());
    double sxy = 0, sxx = 0;
    for (size_t i = 0; i < delaysMs.size(); ++i) {
        sxy += (heardS[i] - tMean) * (delaysMs[i] - dMean);
        sxx += (heardS[i] - tMean) * (heardS[i] - tMean);
    }
    const double slopeMsPerMin = sxx > 0 ? sxy / sxx * 60.0 : 0.0;
    const double first = mean(delaysMs.begin(), delaysMs.begin() + 10);
    const double last = mean(delaysMs.end() - 10, delaysMs.end());
    std::printf("\n\n%zu onsets over %d s: median %.1f ms, min %.1f ms, max %.1f ms\n",
                delaysMs.size(), seconds, sorted[sorted.size() / 2], sorted.front(), sorted.back());
    std::printf("first ten mean %.1f ms, last ten mean %.1f ms (difference %+.1f ms)\n", first,
                last, last - first);
    std::printf("slope %+.2f ms per minute\n", slopeMsPerMin);
    std::printf("busy spans:");
    for (const Span& b : busy) std::printf(" %.0f-%.0f s", b.fromS, b.toS);
    std::printf("%s\n", busy.empty() ? " none" : "");
    for (const Span& s : stalls)
        std::printf("audio stalled at %.1f s for %.0f ms\n", s.fromS, (s.toS - s.fromS) * 1000);
    std::sort(ringBytes.begin(), ringBytes.end());
    std::printf("monitor ring held: median %d bytes (%.1f ms), max %d bytes (%.1f ms)\n",
                ringBytes[ringBytes.size() / 2], ringBytes[ringBytes.size() / 2] / 192.0,
                ringBytes.back(), ringBytes.back() / 192.0);
    std::sort(monitorDelayMs.begin(), monitorDelayMs.end());
    std::printf(
        "monitor's own delay (device queue + ring): median %.1f ms, max %.1f ms; "
        "%.1f ms dropped\n",
        monitorDelayMs[monitorDelayMs.size() / 2], monitorDelayMs.back(), framesDropped / 48.0);
    // How close the device came to running dry: the cushion the jitter ate into.
    std::sort(deviceQueueMs.begin(), deviceQueueMs.end());
    if (!deviceQueueMs.empty())
        std::printf(
            "device queue before a pass: lowest %.1f ms, 1st percentile %.1f ms, median "
            "%.1f ms\n",
            deviceQueueMs.front(), deviceQueueMs[deviceQueueMs.size() / 100],
            deviceQueueMs[deviceQueueMs.size() / 2]);
    // The picture's side of the comparison (a video sample's arrival to its frame painted on
    // the screen) belongs to the preview's own measurement, which does not exist yet; until it
    // does, this says so rather than guessing, and the sound's delay above has nothing to be
    // compared with here.
    std::printf("preview delay (arrival to paint): not measured in this build\n");
    std::printf("samples lost by the device: %llu\n",
                static_cast<unsigned long long>(source->samplesLost()));
    return 0;
}
