#include "audio/audio_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_texts.h"
#include "audio/monitor_delay_control.h"
#include "platform/audio/audio_client_codes.h"
#include "platform/audio/memory_audio_device.h"
#include "platform/system/debug_output.h"
#include "platform/system/manual_clock.h"

namespace tovrel::audio {
namespace {

using namespace std::chrono_literals;
using platform::MemoryAudioDevice;
using platform::WaveFormatExtensible;

class DebugLines {
  public:
    DebugLines() {
        previous_ = platform::setDebugOutputSink([this](std::string_view text) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.emplace_back(text);
        });
    }
    ~DebugLines() { platform::setDebugOutputSink(previous_); }
    bool has(std::string_view text) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::find(lines_.begin(), lines_.end(), text) != lines_.end();
    }
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    platform::DebugSink previous_;
};

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = 3000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

template <typename F>
MemoryAudioDevice::Options with(F set) {
    MemoryAudioDevice::Options options;
    set(options);
    return options;
}

constexpr MonitorFormat kStereo16{16, 48000, 2, true};

TEST(AudioMonitorTest, WithoutOutputDeviceEndsAtOnceAndCanStartAgain) {
    DebugLines debug;
    MemoryAudioDevice device(with([](auto& o) { o.present = false; }));
    auto endpoints = device.makeEnumerator();
    AudioMonitor monitor(endpoints.get(), platform::SystemClock::instance());
    EXPECT_TRUE(monitor.monitorFinished);
    monitor.start(kStereo16);
    ASSERT_TRUE(waitFor([&] { return monitor.monitorFinished.load(); }, 500ms));
    EXPECT_TRUE(debug.has(AudioTexts::kNoDevice));
    EXPECT_FALSE(monitor.monitorRing.hasStorage());
    // monitorRunning is still set, as nobody stopped it; the next start goes through.
    EXPECT_TRUE(monitor.monitorRunning);
    monitor.start(MonitorFormat{24, 44100, 2, true});
    EXPECT_EQ(monitor.monitorFormat.bitsPerSample, 24u);
    ASSERT_TRUE(waitFor([&] { return monitor.monitorFinished.load(); }, 500ms));
    monitor.stop();
    EXPECT_FALSE(monitor.monitorRunning);
}

TEST(AudioMonitorTest, NoEnumeratorAtAllIsNoDevice) {
    DebugLines debug;
    AudioMonitor monitor(nullptr, platform::SystemClock::instance());
    monitor.start(kStereo16);
    ASSERT_TRUE(waitFor([&] { return monitor.monitorFinished.load(); }, 500ms));
    EXPECT_TRUE(debug.has(AudioTexts::kNoDevice));
}

TEST(AudioMonitorTest, EachOpeningFailureEndsTheThreadWithItsText) {
    struct Case {
        MemoryAudioDevice::Options options;
        std::string_view text;
    };
    const Case cases[] = {
        {with([](auto& o) { o.activationFails = true; }), AudioTexts::kNoClient},
        {with([](auto& o) { o.initializeResult = platform::E_FAIL; }),
         AudioTexts::kInitializeFailed},
        {with([](auto& o) { o.startResult = platform::E_FAIL; }), AudioTexts::kStartFailed},
        {with([](auto& o) { o.getServiceResult = platform::E_FAIL; }), {}},
    };
    for (const auto& c : cases) {
        DebugLines debug;
        MemoryAudioDevice device(c.options);
        auto endpoints = device.makeEnumerator();
        AudioMonitor monitor(endpoints.get(), platform::SystemClock::instance());
        monitor.start(kStereo16);
        ASSERT_TRUE(waitFor([&] { return monitor.monitorFinished.load(); }, 1000ms)) << c.text;
        if (!c.text.empty()) {
            EXPECT_TRUE(debug.has(c.text)) << c.text;
        }
        EXPECT_FALSE(device.record().clientAlive);
        EXPECT_FALSE(monitor.monitorRing.hasStorage());
        monitor.stop();
    }
}

// The device is opened with the declared format and the standard stream flags, and every byte
// the ring receives reaches the device in order; what the ring could not fill is silence.
TEST(AudioMonitorTest, PlaysTheRingThroughTheDeviceInOrder) {
    DebugLines debug;
    MemoryAudioDevice device(with([](auto& o) { o.manualConsumption = true; }));
    auto endpoints = device.makeEnumerator();
    AudioMonitor monitor(endpoints.get(), platform::SystemClock::instance());
    monitor.start(kStereo16);
    ASSERT_TRUE(waitFor([&] { return device.record().started; }));
    auto r = device.record();
    EXPECT_EQ(r.initializedFlags, 0x88100000u);
    EXPECT_EQ(r.initializedDuration100ns, 1'000'000);
    EXPECT_EQ(r.initializedPeriodicity100ns, 1'000'000);
    EXPECT_EQ(r.bufferFrames, 4800u);
    EXPECT_EQ(r.initializedFormat.nBlockAlign, 4);
    EXPECT_EQ(monitor.monitorFrameBytes(), 4u);
    EXPECT_EQ(monitor.monitorRing.size(), 38'400);
    // The first pass finds an empty ring and fills the device with silence.
    ASSERT_TRUE(waitFor([&] { return device.record().framesReleased >= 4800; }));

    std::vector<uint8_t> sent;
    for (int block = 0; block < 10; ++block) {
        std::vector<uint8_t> bytes(1200 * 4);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(block * 31 + i * 7 + 1);
        ASSERT_EQ(monitor.monitorRing.write(bytes.data(), static_cast<int32_t>(bytes.size())),
                  static_cast<int32_t>(bytes.size()));
        sent.insert(sent.end(), bytes.begin(), bytes.end());
        device.consume(1200);
        const uint64_t target = 4800 + 1200 * uint64_t(block + 1);
        ASSERT_TRUE(waitFor([&] { return device.record().framesReleased >= target; })) << block;
    }
    monitor.stop();
    EXPECT_TRUE(monitor.monitorFinished);
    EXPECT_FALSE(device.record().clientAlive);
    EXPECT_TRUE(device.record().stopped);

    const auto played = device.played();
    // Nothing released unfilled: the device never sees its own garbage pattern.
    EXPECT_EQ(std::count(played.begin(), played.end(), 0xA5),
              std::count(sent.begin(), sent.end(), 0xA5));
    // The sent bytes appear contiguously after the opening silence.
    auto it = std::search(played.begin(), played.end(), sent.begin(), sent.end());
    ASSERT_NE(it, played.end());
    EXPECT_TRUE(std::all_of(played.begin(), it, [](uint8_t b) { return b == 0; }));
}

TEST(AudioMonitorTest, StoppingWithAnEmptyRingEndsWithinOnePass) {
    MemoryAudioDevice device({});
    auto endpoints = device.makeEnumerator();
    AudioMonitor monitor(endpoints.get(), platform::SystemClock::instance());
    monitor.start(kStereo16);
    ASSERT_TRUE(waitFor([&] { return device.record().started; }));
    ASSERT_TRUE(waitFor([&] { return device.record().getBufferCalls >= 3; }));
    // Counted in the monitor's passes, not in wall-clock time, which a loaded machine stretches:
    // the pass under way when stop() is called may end, no further one begins.
    const uint64_t passesBefore = device.record().getBufferCalls;
    monitor.stop();
    EXPECT_LE(device.record().getBufferCalls, passesBefore + 1);
    EXPECT_TRUE(monitor.monitorFinished);
    EXPECT_FALSE(monitor.monitorRing.hasStorage());
}

TEST(AudioMonitorTest, UnsupportedFormatPlaysThroughTheClosestMatch) {
    DebugLines debug;
    MemoryAudioDevice::Options options;
    options.formatSupport = [](const WaveFormatExtensible& asked,
                               std::optional<WaveFormatExtensible>* closest) {
        WaveFormatExtensible f = asked;
        f.nSamplesPerSec = 44100;
        f.wBitsPerSample = 32;
        f.Samples.wValidBitsPerSample = 32;
        f.nBlockAlign = 8;
        f.nAvgBytesPerSec = 8 * 44100;
        f.SubFormat = platform::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
        *closest = f;
        return platform::AUDCLNT_E_UNSUPPORTED_FORMAT;
    };
    options.manualConsumption = true;
    MemoryAudioDevice device(options);
    auto endpoints = device.makeEnumerator();
    AudioMonitor monitor(endpoints.get(), platform::SystemClock::instance());
    monitor.start(kStereo16);
    ASSERT_TRUE(waitFor([&] { return device.record().framesReleased >= 4410; }));
    auto r = device.record();
    EXPECT_TRUE(debug.has(AudioTexts::kClosestFloat));
    EXPECT_TRUE(debug.has(AudioTexts::kUnsupportedFormat));
    EXPECT_EQ(r.initializedFlags, 0u);
    EXPECT_EQ(r.initializedFormat.nSamplesPerSec, 44100u);
    EXPECT_EQ(r.bufferFrames, 4410u);
    EXPECT_EQ(monitor.monitorFrameBytes(), 8u);

    // A constant level arrives as the same level in floats.
    std::vector<int16_t> level(4800 * 2, 8192);
    ASSERT_EQ(monitor.monitorRing.write(reinterpret_cast<uint8_t*>(level.data()), 4800 * 4),
              4800 * 4);
    device.consume(4410);
    ASSERT_TRUE(waitFor([&] { return device.record().framesReleased >= 2 * 4410; }));
    monitor.stop();
    const auto played = device.played();
    ASSERT_GE(played.size(), 2u * 4410 * 8);
    const float* tail = reinterpret_cast<const float*>(played.data() + 4410 * 8);
    // The first frame blends with the silence before it; the rest carry the level.
    for (int i = 4; i < 4410 * 2; ++i) ASSERT_FLOAT_EQ(tail[i], 0.25f) << i;
}

TEST(AudioMonitorTest, FormatQueryFailureKeepsTheDeclaredFormat) {
    DebugLines debug;
    MemoryAudioDevice::Options options;
    options.formatSupport = [](const WaveFormatExtensible& asked,
                               std::optional<WaveFormatExtensible>* closest) {
        WaveFormatExtensible f = asked;
        *closest = f;
        return platform::S_FALSE;
    };
    MemoryAudioDevice device(options);
    auto endpoints = device.makeEnumerator();
    AudioMonitor monitor(endpoints.get(), platform::SystemClock::instance());
    monitor.start(kStereo16);
    ASSERT_TRUE(waitFor([&] { return device.record().started; }));
    monitor.stop();
    EXPECT_TRUE(debug.has(AudioTexts::kClosestPcm));
    EXPECT_TRUE(debug.has(AudioTexts::kFormatQueryFailed));
    EXPECT_EQ(device.record().initializedFlags, AudioMonitor::kStreamFlags);
}

TEST(AudioMonitorTest, RealignsTheBufferOnANewClient) {
    MemoryAudioDevice device(with([](auto& o) { o.alignedBufferFrames = 4096; }));
    auto endpoints = device.makeEnumerator();
    AudioMonitor monitor(endpoints.get(), platform::SystemClock::instance());
    monitor.start(kStereo16);
    ASSERT_TRUE(waitFor([&] { return device.record().started; }));
    auto r = device.record();
    EXPECT_EQ(r.activations, 2);
    EXPECT_EQ(r.initializeCalls, 2);
    // 10,000,000 × 4096 / 48,000 + 0.5, truncated.
    EXPECT_EQ(r.initializedDuration100ns, 853'333);
    EXPECT_EQ(r.initializedPeriodicity100ns, 853'333);
    EXPECT_EQ(r.bufferFrames, 4096u);
    EXPECT_EQ(monitor.period100ns(), 853'333);
    monitor.stop();
}

// 24-bit capture: three bytes a sample in the ring, 32-bit containers on the device.
TEST(AudioMonitorTest, TwentyFourBitCaptureIsRepackedForTheDevice) {
    MemoryAudioDevice device(with([](auto& o) { o.manualConsumption = true; }));
    auto endpoints = device.makeEnumerator();
    AudioMonitor monitor(endpoints.get(), platform::SystemClock::instance());
    monitor.start(MonitorFormat{24, 48000, 2, true});
    ASSERT_TRUE(waitFor([&] { return device.record().framesReleased >= 4800; }));
    EXPECT_EQ(device.record().initializedFormat.wBitsPerSample, 32);
    EXPECT_EQ(device.record().initializedFormat.Samples.wValidBitsPerSample, 24);
    EXPECT_EQ(monitor.monitorFrameBytes(), 8u);
    EXPECT_EQ(monitor.monitorRing.size(), 57'600);
    std::vector<uint8_t> frames(1200 * 6);
    for (size_t i = 0; i < frames.size(); i += 3) {
        frames[i] = 0x11;
        frames[i + 1] = 0x22;
        frames[i + 2] = 0x33;
    }
    ASSERT_EQ(monitor.monitorRing.write(frames.data(), 1200 * 6), 1200 * 6);
    device.consume(1200);
    ASSERT_TRUE(waitFor([&] { return device.record().framesReleased >= 6000; }));
    monitor.stop();
    const auto played = device.played();
    ASSERT_GE(played.size(), 6000u * 8);
    for (size_t i = 4800 * 8; i < 6000 * 8; i += 4) {
        ASSERT_EQ(played[i], 0x00);
        ASSERT_EQ(played[i + 1], 0x11);
        ASSERT_EQ(played[i + 2], 0x22);
        ASSERT_EQ(played[i + 3], 0x33);
    }
}

// Playing at the device's own pace, the ring is drained every quarter period and the device
// never starves once the writer keeps up.
TEST(AudioMonitorTest, KeepsUpWithRealTimePlayback) {
    MemoryAudioDevice device({});
    auto endpoints = device.makeEnumerator();
    AudioMonitor monitor(endpoints.get(), platform::SystemClock::instance());
    monitor.start(kStereo16);
    ASSERT_TRUE(waitFor([&] { return device.record().started; }));
    std::vector<uint8_t> tenMs(480 * 4, 0x10);
    auto next = std::chrono::steady_clock::now();
    int refused = 0;
    // Writes that came late (the writer, not the monitor, fell behind): each may let the
    // device run dry once, which is no fault of the monitor's.
    uint64_t late = 0;
    const uint64_t underrunsBefore = device.record().underruns;
    for (int i = 0; i < 60; ++i) {
        if (std::chrono::steady_clock::now() > next + 5ms) ++late;
        if (monitor.monitorRing.write(tenMs.data(), 480 * 4) < 0) ++refused;
        next += 10ms;
        std::this_thread::sleep_until(next);
    }
    // Drained as the device plays: the ring holds what the device buffer has no room for yet
    // and the write in flight, never a pile-up towards its own size (38,400 bytes).
    const auto r = device.record();
    ASSERT_GT(r.bufferFrames, 0u);
    EXPECT_LE(monitor.monitorRing.heldBytes(),
              static_cast<int32_t>(r.bufferFrames * 4 + 2 * 480 * 4))
        << "device buffer " << r.bufferFrames << " frames";
    monitor.stop();
    EXPECT_EQ(refused, 0);
    // Two more for a monitor thread the scheduler of a busy machine kept waiting once or twice; a
    // monitor that does not keep up starves the device on most of the sixty writes.
    EXPECT_LE(r.underruns - underrunsBefore, late + 2) << "the device starved while fed in time";
    EXPECT_GT(r.framesReleased, 480u * 50);
    EXPECT_LT(r.getBufferCalls, 200u);  // a pass every 25 ms or so, not a spin
}

}  // namespace
}  // namespace tovrel::audio

namespace tovrel::audio {
namespace {

size_t reportsIn(const DebugLines& debug, std::string* last = nullptr) {
    size_t n = 0;
    for (const auto& line : debug.lines()) {
        if (line.rfind("Monitor delay ", 0) != 0) continue;
        ++n;
        if (last) *last = line;
    }
    return n;
}

// The delay is what the device still has queued plus what waits in the ring; it is exposed at
// every pass and written to the debug output once a minute of the monitor's clock.
TEST(AudioMonitorTest, MeasuresItsDelayAndReportsItOnceAMinute) {
    DebugLines debug;
    platform::ManualClock clock(5000);
    MemoryAudioDevice device(with([](auto& o) { o.manualConsumption = true; }), clock);
    auto endpoints = device.makeEnumerator();
    AudioMonitor monitor(endpoints.get(), clock);
    const uint64_t startMs = clock.getTickCount64();
    monitor.start(kStereo16);
    ASSERT_TRUE(waitFor([&] { return device.record().framesReleased >= 4800; }));
    std::vector<uint8_t> fiftyMs(2400 * 4, 0x20);
    ASSERT_EQ(monitor.monitorRing.write(fiftyMs.data(), 2400 * 4), 2400 * 4);
    ASSERT_TRUE(waitFor([&] { return monitor.currentDelay().ringFrames == 2400; }));
    const AudioMonitor::Delay delay = monitor.currentDelay();
    EXPECT_EQ(delay.deviceFrames, 4800u);
    EXPECT_EQ(delay.framesPerSecond, 48000u);
    EXPECT_DOUBLE_EQ(delay.ms(), 150.0);

    const size_t before = reportsIn(debug);
    ASSERT_TRUE(waitFor([&] { return reportsIn(debug) >= before + 2; }));
    std::string last;
    const size_t reports = reportsIn(debug, &last);
    // Read before stopping: the stop's own polling moves this clock on.
    const uint64_t minutes = (clock.getTickCount64() - startMs) / AudioMonitor::kDelayReportMs;
    monitor.stop();
    EXPECT_EQ(last, AudioTexts::delayReport(100, 50, 0));
    EXPECT_EQ(last,
              "Monitor delay 150 ms (device 100 ms, ring 50 ms), 0 ms dropped in the last "
              "minute.");
    // One a minute, not one a pass.
    EXPECT_GE(reports + 1, minutes);
    EXPECT_LE(reports, minutes);
}

// A writer that once fell 80 ms behind (the device kept playing while it stalled, and it then
// handed over its backlog) leaves the ring 80 ms fuller for good. The monitor takes it out in the
// quiet between sounds, not a frame of the sound itself, and the delay comes back down.
TEST(AudioMonitorTest, ALastingSurplusIsDroppedInTheQuietAndTheDelayComesBack) {
    MemoryAudioDevice device({});
    auto endpoints = device.makeEnumerator();
    AudioMonitor monitor(endpoints.get(), platform::SystemClock::instance());
    monitor.start(kStereo16);
    ASSERT_TRUE(waitFor([&] { return device.record().framesReleased >= 4800; }));
    const uint64_t underrunsBefore = device.record().underruns;
    // 100 ms of a steady level, then 100 ms of silence, in 10 ms writes.
    std::vector<uint8_t> sound(480 * 4, 0x10), quiet(480 * 4, 0);
    int block = 0;
    auto writeBlock = [&] {
        const auto& b = (block++ / 10) % 2 == 0 ? sound : quiet;
        return monitor.monitorRing.write(b.data(), 480 * 4) == 480 * 4;
    };
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(writeBlock());
    const double delayBefore = [&] {
        waitFor([&] { return monitor.currentDelay().ringFrames > 0; });
        return monitor.currentDelay().ms();
    }();
    auto next = std::chrono::steady_clock::now();
    std::vector<double> lastSecond;
    for (int i = 0; i < 500; ++i) {
        ASSERT_TRUE(writeBlock());
        if (i >= 400) lastSecond.push_back(monitor.currentDelay().ms());
        next += 10ms;
        std::this_thread::sleep_until(next);
    }
    monitor.stop();
    EXPECT_GE(delayBefore, 150.0);
    std::sort(lastSecond.begin(), lastSecond.end());
    EXPECT_LE(lastSecond[lastSecond.size() / 2], 100.0 + 25.0 + MonitorDelayControl::kSlackMs)
        << "delay at first " << delayBefore << " ms";
    // The surplus is what the device had no room for: the 80 ms less the 25 ms or so it had
    // played since its last pass, and less again when this test's writer came late on a busy
    // machine (the device played on meanwhile); never more than the 80 ms.
    EXPECT_GE(monitor.framesDropped(), 20u * 48);
    EXPECT_LE(monitor.framesDropped(), 80u * 48);

    // Every sound played whole; only silences got shorter. (A device that ran dry because this
    // test's writer came late may have heard silence inside a sound: nothing to judge then.)
    if (device.record().underruns != underrunsBefore) return;
    const auto played = device.played();
    std::vector<size_t> sounds;
    size_t run = 0;
    for (size_t f = 4800; f < played.size() / 4; ++f) {
        if (played[4 * f] != 0) {
            ++run;
        } else if (run > 0) {
            sounds.push_back(run);
            run = 0;
        }
    }
    // The last one may have been cut short by the stop.
    ASSERT_GE(sounds.size(), 20u);
    sounds.pop_back();
    for (size_t length : sounds) EXPECT_EQ(length, 4800u);
}

}  // namespace
}  // namespace tovrel::audio
