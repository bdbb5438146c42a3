#include <gtest/gtest.h>

#include "audio/audio_format.h"
#include "audio/audio_monitor.h"
#include "audio/monitor_format.h"

namespace tovrel::audio {
namespace {

struct RingSizeCase {
    uint32_t bits, channels, rate;
    int32_t analysisBytes, monitorBytes;
};

constexpr RingSizeCase kRingSizes[] = {
    {16, 2, 48000, 768'000, 38'400},   {16, 2, 44100, 705'600, 35'280},
    {24, 2, 48000, 1'152'000, 57'600}, {32, 8, 192000, 24'576'000, 1'228'800},
    {8, 1, 8000, 32'000, 1'600},       {0, 0, 0, 0, 0},
};

TEST(AudioFormatTest, RingSizes) {
    for (const auto& c : kRingSizes) {
        AudioFormat capture{c.rate, c.channels, c.bits, c.channels * c.bits / 8, true};
        MonitorFormat monitor{c.bits, c.rate, c.channels, true};
        EXPECT_EQ(capture.analysisRingBytes(), c.analysisBytes) << c.bits << "/" << c.rate;
        EXPECT_EQ(monitor.monitorRingBytes(), c.monitorBytes) << c.bits << "/" << c.rate;
    }
}

TEST(AudioFormatTest, SizesThatDoNotFitARingAreZero) {
    AudioFormat huge{0xFFFFFFFFu, 64, 32, 256, true};
    EXPECT_EQ(huge.analysisRingBytes(), 0);
    MonitorFormat monitor{32, 0xFFFFFFFFu, 64, true};
    EXPECT_EQ(monitor.monitorRingBytes(), 0);
}

TEST(AudioFormatTest, DeclaredFormatFor16BitStereo) {
    auto f = AudioMonitor::declaredFormat(MonitorFormat{16, 48000, 2, true});
    EXPECT_EQ(f.wFormatTag, platform::WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.nSamplesPerSec, 48000u);
    EXPECT_EQ(f.nAvgBytesPerSec, 192'000u);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.cbSize, 22);
    EXPECT_EQ(f.Samples.wValidBitsPerSample, 16);
    EXPECT_EQ(f.dwChannelMask, 0u);
    EXPECT_EQ(f.SubFormat, platform::KSDATAFORMAT_SUBTYPE_PCM);
}

TEST(AudioFormatTest, DeclaredFormatFor24BitUses32BitContainers) {
    auto f = AudioMonitor::declaredFormat(MonitorFormat{24, 96000, 6, true});
    EXPECT_EQ(f.nBlockAlign, 24);  // 6 × 4
    EXPECT_EQ(f.wBitsPerSample, 32);
    EXPECT_EQ(f.Samples.wValidBitsPerSample, 24);
    EXPECT_EQ(f.nAvgBytesPerSec, 24u * 96000u);
    EXPECT_EQ(f.SubFormat, platform::KSDATAFORMAT_SUBTYPE_PCM);
}

TEST(AudioFormatTest, DeclaredFormatForNonPcmIsFloatWithTheSameSizes) {
    auto f = AudioMonitor::declaredFormat(MonitorFormat{32, 48000, 2, false});
    EXPECT_EQ(f.SubFormat, platform::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    EXPECT_EQ(f.nBlockAlign, 8);
    EXPECT_EQ(f.wBitsPerSample, 32);
    EXPECT_EQ(f.Samples.wValidBitsPerSample, 32);
    EXPECT_EQ(f.nAvgBytesPerSec, 384'000u);
}

}  // namespace
}  // namespace tovrel::audio
