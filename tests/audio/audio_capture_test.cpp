#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_texts.h"
#include "capture/mf_manager.h"
#include "platform/audio/memory_audio_device.h"
#include "platform/media/mf_constants.h"
#include "platform/system/debug_output.h"
#include "sim/audio/simulated_audio_source.h"

namespace tovrel::capture {
namespace {

using namespace std::chrono_literals;
using platform::MemoryAudioDevice;
using sim::AudioFault;
using sim::SimulatedAudioSource;

constexpr int32_t kSampleBytes = 480 * 4;

class DebugLines {
  public:
    DebugLines() {
        previous_ = platform::setDebugOutputSink([this](std::string_view text) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.emplace_back(text);
        });
    }
    ~DebugLines() { platform::setDebugOutputSink(previous_); }
    int count(std::string_view text) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int>(std::count(lines_.begin(), lines_.end(), text));
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

MemoryAudioDevice::Options heldDevice() {
    MemoryAudioDevice::Options options;
    // Nothing is played: once the first pass has filled the device buffer, the monitor reads
    // nothing more and the ring keeps what the callback wrote, for the test to look at.
    options.manualConsumption = true;
    return options;
}

// The simulated box's audio device, stepped sample by sample, into a manager whose monitor plays
// to an in-memory device.
class AudioCaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        source_ = std::make_shared<SimulatedAudioSource>(SimulatedAudioSource::Pacing::Stepped);
        endpoints_ = device_.makeEnumerator();
        manager_.audioMonitor.setEndpoints(endpoints_.get());
        ASSERT_EQ(manager_.openSession(nullptr, source_, nullptr, false, false, 0, 0, 0, 0),
                  platform::S_OK);
    }
    void TearDown() override {
        if (manager_.streaming) manager_.stopStreaming(platform::SystemClock::instance());
        manager_.closeSession();
    }
    void startAndSettle() {
        ASSERT_EQ(manager_.startStreaming(), platform::S_OK);
        ASSERT_TRUE(waitFor([&] { return device_.record().framesReleased >= 4800; }));
    }
    // The bytes the device would have delivered for samples [first, first + count).
    std::vector<uint8_t> expected(uint64_t first, int count) const {
        std::vector<int16_t> values;
        for (uint64_t f = first * 480; f < (first + count) * 480; ++f) {
            values.push_back(source_->sampleValue(f, 0));
            values.push_back(source_->sampleValue(f, 1));
        }
        const auto* bytes = reinterpret_cast<const uint8_t*>(values.data());
        return std::vector<uint8_t>(bytes, bytes + values.size() * 2);
    }
    static std::vector<uint8_t> take(audio::AudioRing& ring, int32_t bytes) {
        std::vector<uint8_t> out(static_cast<size_t>(bytes));
        EXPECT_EQ(ring.read(out.data(), bytes), bytes);
        return out;
    }

    MemoryAudioDevice device_{heldDevice()};
    std::unique_ptr<platform::AudioEndpointEnumerator> endpoints_;
    std::shared_ptr<SimulatedAudioSource> source_;
    MFManager manager_;
};

TEST_F(AudioCaptureTest, OpeningTakesTheCaptureFormatAndSizesTheRings) {
    const auto& f = manager_.audioFormat;
    EXPECT_EQ(f.samplesPerSecond, 48000u);
    EXPECT_EQ(f.channels, 2u);
    EXPECT_EQ(f.bitsPerSample, 16u);
    EXPECT_EQ(f.blockAlign, 4u);
    EXPECT_TRUE(f.isPcm);
    EXPECT_EQ(manager_.analysisRing.size(), 768'000);
    EXPECT_EQ(manager_.silenceBuffer.size(), 1u << 20);
    startAndSettle();
    EXPECT_EQ(manager_.audioMonitor.monitorRing.size(), 38'400);
    EXPECT_EQ(manager_.audioMonitor.monitorFormat.samplesPerSecond, 48000u);
    manager_.stopStreaming(platform::SystemClock::instance());
    manager_.closeSession();
    EXPECT_FALSE(manager_.analysisRing.hasStorage());
}

TEST_F(AudioCaptureTest, EverySampleReachesBothRingsInOrder) {
    startAndSettle();
    source_->step(5);
    ASSERT_TRUE(waitFor([&] { return manager_.analysisRing.heldBytes() == 5 * kSampleBytes; }));
    EXPECT_EQ(take(manager_.analysisRing, 5 * kSampleBytes), expected(0, 5));
    EXPECT_EQ(take(manager_.audioMonitor.monitorRing, 5 * kSampleBytes), expected(0, 5));
}

TEST_F(AudioCaptureTest, MutedOrHiddenTheMonitorGetsSilenceAndTheAnalyzerTheAudio) {
    startAndSettle();
    manager_.monitorMuted = 1;
    source_->step(2);
    ASSERT_TRUE(waitFor([&] { return manager_.analysisRing.heldBytes() == 2 * kSampleBytes; }));
    manager_.monitorMuted = 0;
    manager_.previewVisible = false;
    source_->step(2);
    ASSERT_TRUE(waitFor([&] { return manager_.analysisRing.heldBytes() == 4 * kSampleBytes; }));
    manager_.previewVisible = true;
    source_->step(1);
    ASSERT_TRUE(waitFor([&] { return manager_.analysisRing.heldBytes() == 5 * kSampleBytes; }));

    EXPECT_EQ(take(manager_.analysisRing, 5 * kSampleBytes), expected(0, 5));
    auto monitor = take(manager_.audioMonitor.monitorRing, 5 * kSampleBytes);
    EXPECT_TRUE(std::all_of(monitor.begin(), monitor.begin() + 4 * kSampleBytes,
                            [](uint8_t b) { return b == 0; }));
    const auto live = expected(4, 1);
    EXPECT_TRUE(std::equal(live.begin(), live.end(), monitor.begin() + 4 * kSampleBytes));
}

TEST_F(AudioCaptureTest, ATypeChangeStopsBothRingsUntilTheNextStart) {
    DebugLines debug;
    startAndSettle();
    source_->step(1);
    ASSERT_TRUE(waitFor([&] { return manager_.analysisRing.heldBytes() == kSampleBytes; }));
    source_->injectFault(AudioFault::MediaTypeChange);
    ASSERT_TRUE(waitFor([&] { return debug.count(CaptureTexts::kAudioTypeChange) == 1; }));
    source_->step(5);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(manager_.analysisRing.heldBytes(), kSampleBytes);
    EXPECT_EQ(manager_.audioMonitor.monitorRing.heldBytes(), kSampleBytes);
    EXPECT_EQ(source_->samplesDelivered(), 1u);
}

TEST_F(AudioCaptureTest, EndOfStreamStopsReading) {
    DebugLines debug;
    startAndSettle();
    source_->injectFault(AudioFault::EndOfStream);
    ASSERT_TRUE(waitFor([&] { return debug.count(CaptureTexts::kEndOfInput) == 1; }));
    source_->clearFaults();
    source_->step(3);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(manager_.analysisRing.heldBytes(), 0);
}

TEST_F(AudioCaptureTest, AMissingSampleIsReportedAndReadingGoesOn) {
    DebugLines debug;
    startAndSettle();
    source_->injectFault(AudioFault::MissingSample);
    source_->step(3);
    ASSERT_TRUE(waitFor([&] { return manager_.analysisRing.heldBytes() == 2 * kSampleBytes; }));
    EXPECT_EQ(debug.count(CaptureTexts::kAudioNoSample), 1);
    EXPECT_EQ(take(manager_.analysisRing, 2 * kSampleBytes), expected(1, 2));
}

TEST_F(AudioCaptureTest, StartingTwiceIsRefusedAndLeavesTheMonitorAlone) {
    startAndSettle();
    source_->step(2);
    ASSERT_TRUE(
        waitFor([&] { return manager_.audioMonitor.monitorRing.heldBytes() == 2 * kSampleBytes; }));
    EXPECT_EQ(manager_.startStreaming(), static_cast<platform::HRESULT>(0xC00D36B2u));
    EXPECT_TRUE(manager_.audioMonitor.monitorRunning);
    EXPECT_FALSE(manager_.audioMonitor.monitorFinished);
    EXPECT_EQ(manager_.audioMonitor.monitorRing.heldBytes(), 2 * kSampleBytes);
    EXPECT_EQ(device_.record().activations, 1);
    EXPECT_TRUE(device_.record().clientAlive);
}

TEST_F(AudioCaptureTest, StopEndsTheMonitorAndTheReadsAndAStartResumesBoth) {
    startAndSettle();
    manager_.stopStreaming(platform::SystemClock::instance());
    EXPECT_TRUE(manager_.audioMonitor.monitorFinished);
    EXPECT_FALSE(manager_.audioMonitor.monitorRing.hasStorage());
    EXPECT_FALSE(device_.record().clientAlive);
    // The read issued at the start completes once; the callback then asks for nothing more.
    source_->step(3);
    std::this_thread::sleep_for(100ms);
    EXPECT_LE(source_->samplesDelivered(), 1u);
    EXPECT_EQ(manager_.analysisRing.heldBytes(), 0);

    ASSERT_EQ(manager_.startStreaming(), platform::S_OK);
    ASSERT_TRUE(
        waitFor([&] { return device_.record().activations == 2 && device_.record().started; }));
    ASSERT_TRUE(waitFor([&] { return manager_.analysisRing.heldBytes() >= kSampleBytes; }));
}

TEST(AudioCaptureNoOutputTest, WithoutSpeakersCaptureStillRuns) {
    DebugLines debug;
    auto source = std::make_shared<SimulatedAudioSource>(SimulatedAudioSource::Pacing::Stepped);
    MemoryAudioDevice::Options none;
    none.present = false;
    MemoryAudioDevice device(none);
    auto endpoints = device.makeEnumerator();
    MFManager manager;
    manager.audioMonitor.setEndpoints(endpoints.get());
    ASSERT_EQ(manager.openSession(nullptr, source, nullptr, false, false, 0, 0, 0, 0),
              platform::S_OK);
    ASSERT_EQ(manager.startStreaming(), platform::S_OK);
    ASSERT_TRUE(waitFor([&] { return manager.audioMonitor.monitorFinished.load(); }, 500ms));
    source->step(2);
    ASSERT_TRUE(waitFor([&] { return manager.analysisRing.heldBytes() == 2 * kSampleBytes; }));
    manager.stopStreaming(platform::SystemClock::instance());
    ASSERT_EQ(manager.startStreaming(), platform::S_OK);
    ASSERT_TRUE(waitFor([&] { return manager.audioMonitor.monitorFinished.load(); }, 500ms));
    EXPECT_EQ(debug.count("Can't get IMMDevice."), 2);
    manager.stopStreaming(platform::SystemClock::instance());
    manager.closeSession();
}

}  // namespace
}  // namespace tovrel::capture
