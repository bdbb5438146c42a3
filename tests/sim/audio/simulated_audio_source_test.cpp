#include "sim/audio/simulated_audio_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "platform/media/mf_constants.h"
#include "platform/media/mf_guids.h"

namespace tovrel::sim {
namespace {

using namespace platform;

std::vector<int16_t> samplesOf(const SourceReadResult& r) {
    std::shared_ptr<MediaBuffer> buffer;
    EXPECT_TRUE(SUCCEEDED(r.sample->ConvertToContiguousBuffer(&buffer)));
    uint8_t* data = nullptr;
    uint32_t max = 0, length = 0;
    buffer->Lock(&data, &max, &length);
    std::vector<int16_t> out(reinterpret_cast<int16_t*>(data),
                             reinterpret_cast<int16_t*>(data + length));
    buffer->Unlock();
    return out;
}

TEST(SimulatedAudioSourceTest, OffersSixteenBitStereoAt48kFirst) {
    auto types = SimulatedAudioSource::nativeTypes();
    ASSERT_GE(types.size(), 1u);
    uint32_t rate = 0, channels = 0, bits = 0, align = 0;
    Guid subtype;
    types[0].GetGUID(MF_MT_SUBTYPE, &subtype);
    types[0].GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
    types[0].GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
    types[0].GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
    types[0].GetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, &align);
    EXPECT_EQ(subtype, MFAudioFormat_PCM);
    EXPECT_TRUE(types[0].IsAudio());
    EXPECT_EQ(rate, 48000u);
    EXPECT_EQ(channels, 2u);
    EXPECT_EQ(bits, 16u);
    EXPECT_EQ(align, 4u);
}

// One second of stepped samples: 10 ms each, stamped 100,000 apart, 440 Hz on the left and
// 1 kHz on the right at −12 dBFS.
TEST(SimulatedAudioSourceTest, SteppedSamplesCarryOneToneEachChannel) {
    SimulatedAudioSource source(SimulatedAudioSource::Pacing::Stepped);
    ASSERT_EQ(source.startStream(0), S_OK);
    SourceReadResult r;
    EXPECT_EQ(source.pullSample(0, 20, &r), S_FALSE);  // nothing released yet
    source.step(100);
    std::vector<int16_t> all;
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(source.pullSample(0, 100, &r), S_OK);
        ASSERT_TRUE(r.sample);
        EXPECT_EQ(r.timestamp100ns, int64_t(i) * 100'000);
        auto s = samplesOf(r);
        ASSERT_EQ(s.size(), 960u);
        all.insert(all.end(), s.begin(), s.end());
    }
    EXPECT_EQ(source.samplesDelivered(), 100u);
    for (int channel = 0; channel < 2; ++channel) {
        int crossings = 0, peak = 0;
        for (size_t i = 2 + channel; i < all.size(); i += 2) {
            if ((all[i - 2] < 0) != (all[i] < 0)) ++crossings;
            peak = std::max(peak, std::abs(int(all[i])));
        }
        EXPECT_NEAR(crossings / 2.0, channel == 0 ? 440.0 : 1000.0, 1.0) << channel;
        EXPECT_NEAR(peak, 8192, 2) << channel;
    }
}

TEST(SimulatedAudioSourceTest, BurstsAreSilentBetweenOnsets) {
    SimulatedAudioSource source(SimulatedAudioSource::Pacing::Stepped, {440, 1000, 0.25, 100, 500});
    // Frames 0..4799 carry the tone, 4800..23999 silence, 24000 starts the next burst.
    EXPECT_EQ(source.sampleValue(5000, 0), 0);
    EXPECT_EQ(source.sampleValue(23999, 1), 0);
    EXPECT_NE(source.sampleValue(24001, 0), 0);
    EXPECT_NE(source.sampleValue(10, 1), 0);
}

// With the sync pattern on, the sound is silent but for a 2 ms click on both channels at each
// flash of the picture: at 59.94 frames a second the flash of second s is frame ceil(s·59.94), so
// the click starts at the audio frame nearest that instant, not on the whole second.
TEST(SimulatedAudioSourceTest, TheSyncPatternClicksAtEachFlashOfThePicture) {
    auto pattern = std::make_shared<SyncPattern>(true);
    pattern->setVideoRate(60000, 1001);
    SimulatedAudioSource source(SimulatedAudioSource::Pacing::Stepped, {}, pattern);
    ASSERT_EQ(source.startStream(0), S_OK);
    source.step(250);
    std::vector<int16_t> all;
    SourceReadResult r;
    for (int i = 0; i < 250; ++i) {
        ASSERT_EQ(source.pullSample(0, 100, &r), S_OK);
        auto s = samplesOf(r);
        all.insert(all.end(), s.begin(), s.end());
    }
    std::vector<size_t> loud;  // frames of the clicks
    for (size_t frame = 0; frame < all.size() / 2; ++frame) {
        EXPECT_EQ(all[2 * frame], all[2 * frame + 1]) << frame;
        if (all[2 * frame] != 0) loud.push_back(frame);
    }
    std::vector<size_t> starts;
    for (int64_t second = 0; second < 3; ++second) {
        const int64_t flash = SyncPattern::flashTime(second, 60000, 1001);
        starts.push_back(static_cast<size_t>((flash * 48'000 + 5'000'000) / 10'000'000));
    }
    EXPECT_EQ(starts[1], 48'048u);  // 60 frames of 1001/60000 s
    for (size_t start : starts) {
        const auto first =
            std::find_if(loud.begin(), loud.end(), [&](size_t f) { return f >= start; });
        ASSERT_NE(first, loud.end()) << start;
        EXPECT_EQ(*first, start + 1) << "the burst starts at sin(0)";
        EXPECT_GE(std::count_if(loud.begin(), loud.end(),
                                [&](size_t f) { return f >= start && f < start + 96; }),
                  70);
    }
    for (size_t f : loud) {
        EXPECT_TRUE(std::any_of(starts.begin(), starts.end(),
                                [&](size_t start) { return f >= start && f < start + 96; }))
            << "a loud frame outside the clicks: " << f;
    }
    int peak = 0;
    for (int16_t v : all) peak = std::max(peak, std::abs(int(v)));
    EXPECT_NEAR(peak, 0.7 * 32767, 400);
}

TEST(SimulatedAudioSourceTest, Faults) {
    SimulatedAudioSource source(SimulatedAudioSource::Pacing::Stepped);
    ASSERT_EQ(source.startStream(0), S_OK);
    SourceReadResult r;
    source.injectFault(AudioFault::MissingSample);
    source.step(2);
    ASSERT_EQ(source.pullSample(0, 100, &r), S_OK);
    EXPECT_FALSE(r.sample);
    EXPECT_EQ(r.streamFlags, 0u);
    ASSERT_EQ(source.pullSample(0, 100, &r), S_OK);
    ASSERT_TRUE(r.sample);
    EXPECT_EQ(r.timestamp100ns, 100'000);  // the lost one still took its 10 ms

    source.injectFault(AudioFault::MediaTypeChange);
    ASSERT_EQ(source.pullSample(0, 100, &r), S_OK);
    EXPECT_EQ(r.streamFlags, MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED);
    uint32_t index = 0;
    source.currentNativeIndex(0, &index);
    EXPECT_EQ(index, 1u);
    source.step(1);
    ASSERT_EQ(source.pullSample(0, 100, &r), S_OK);
    EXPECT_EQ(samplesOf(r).size(), 441u * 2);

    source.injectFault(AudioFault::EndOfStream);
    ASSERT_EQ(source.pullSample(0, 100, &r), S_OK);
    EXPECT_EQ(r.streamFlags, MF_SOURCE_READERF_ENDOFSTREAM);
    source.clearFaults();

    source.injectFault(AudioFault::Stall);
    source.step(1);
    EXPECT_EQ(source.pullSample(0, 30, &r), S_FALSE);
    source.clearFaults();
    EXPECT_EQ(source.pullSample(0, 30, &r), S_OK);

    source.injectFault(AudioFault::Unplug);
    EXPECT_EQ(source.pullSample(0, 30, &r), MF_E_DEVICE_NOT_CONNECTED);
    source.Shutdown();
    EXPECT_EQ(source.pullSample(0, 30, &r), MF_E_SHUTDOWN);
}

TEST(SimulatedAudioSourceTest, RealTimeDeliversASampleEveryTenMilliseconds) {
    SimulatedAudioSource source;
    ASSERT_EQ(source.startStream(0), S_OK);
    const auto begin = std::chrono::steady_clock::now();
    SourceReadResult r;
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(source.pullSample(0, 200, &r), S_OK);
        ASSERT_TRUE(r.sample);
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - begin)
                        .count();
    EXPECT_GE(ms, 195);
    EXPECT_LT(ms, 400);
}

TEST(SimulatedAudioSourceTest, EntryNamesTheModelsAudioDevice) {
    const BoxModel& model = kBoxModels[0];
    auto entry = simulatedAudioEntry(model, SimulatedAudioSource::Pacing::Stepped);
    EXPECT_EQ(entry.kind, DeviceListEnumerator::Kind::Audio);
    EXPECT_EQ(entry.friendlyName, model.audioFriendlyName);
    EXPECT_NE(entry.symbolicLink.find("VID_7B30&PID_4E11&MI_02"), std::string::npos);
    std::shared_ptr<MediaSource> source;
    ASSERT_EQ(entry.activation(&source), S_OK);
    EXPECT_TRUE(source);
}

}  // namespace
}  // namespace tovrel::sim
