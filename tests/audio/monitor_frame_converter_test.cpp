#include "audio/monitor_frame_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "audio/audio_monitor.h"

namespace tovrel::audio {
namespace {

using platform::WaveFormatExtensible;

WaveFormatExtensible pcm(uint16_t bits, uint16_t channels, uint32_t rate, bool isFloat = false) {
    WaveFormatExtensible f;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.Samples.wValidBitsPerSample = bits;
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * rate;
    f.SubFormat =
        isFloat ? platform::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : platform::KSDATAFORMAT_SUBTYPE_PCM;
    return f;
}

TEST(MonitorFrameConverterTest, SameLayoutIsDirect) {
    MonitorFormat source{16, 48000, 2, true};
    MonitorFrameConverter c(source, AudioMonitor::declaredFormat(source));
    EXPECT_TRUE(c.direct());
    MonitorFormat floats{32, 48000, 2, false};
    EXPECT_TRUE(MonitorFrameConverter(floats, AudioMonitor::declaredFormat(floats)).direct());
}

// The ring carries three bytes a sample; the device was told 32-bit containers with 24 valid
// bits, so each sample moves to the container's high bytes.
TEST(MonitorFrameConverterTest, Repacks24BitSamplesIntoTheDeclaredContainers) {
    MonitorFormat source{24, 48000, 2, true};
    MonitorFrameConverter c(source, AudioMonitor::declaredFormat(source));
    ASSERT_FALSE(c.direct());
    ASSERT_TRUE(c.usable());
    EXPECT_EQ(c.sourceFrameBytes(), 6u);
    EXPECT_EQ(c.deviceFrameBytes(), 8u);
    const uint8_t in[12] = {0x01, 0x02, 0x03, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F};
    ASSERT_EQ(c.sourceFramesFor(2), 2u);
    uint8_t out[17];
    std::memset(out, 0xA5, sizeof out);
    c.convert(in, 2, out);
    const uint8_t expected[16] = {0x00, 0x01, 0x02, 0x03, 0x00, 0xFF, 0xFF, 0xFF,
                                  0x00, 0x00, 0x00, 0x80, 0x00, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(std::memcmp(out, expected, 16), 0);
    EXPECT_EQ(out[16], 0xA5);  // nothing past the asked frames
}

TEST(MonitorFrameConverterTest, ConvertsSampleTypeAndChannels) {
    MonitorFormat mono{16, 48000, 1, true};
    MonitorFrameConverter toFloatStereo(mono, pcm(32, 2, 48000, true));
    const int16_t in[2] = {16384, -32768};
    float out[4];
    toFloatStereo.convert(reinterpret_cast<const uint8_t*>(in), 2, reinterpret_cast<uint8_t*>(out));
    EXPECT_FLOAT_EQ(out[0], 0.5f);
    EXPECT_FLOAT_EQ(out[1], 0.5f);
    EXPECT_FLOAT_EQ(out[2], -1.0f);
    EXPECT_FLOAT_EQ(out[3], -1.0f);

    MonitorFormat stereo{16, 48000, 2, true};
    MonitorFrameConverter toMono(stereo, pcm(16, 1, 48000));
    const int16_t pair[2] = {1000, 3000};
    int16_t single = 0;
    toMono.convert(reinterpret_cast<const uint8_t*>(pair), 1, reinterpret_cast<uint8_t*>(&single));
    EXPECT_EQ(single, 2000);

    MonitorFrameConverter toSix(stereo, pcm(16, 6, 48000));
    int16_t six[6];
    toSix.convert(reinterpret_cast<const uint8_t*>(pair), 1, reinterpret_cast<uint8_t*>(six));
    EXPECT_EQ(six[0], 1000);
    EXPECT_EQ(six[1], 3000);
    for (int c = 2; c < 6; ++c) EXPECT_EQ(six[c], 0);
}

// A tone through a rate change in uneven blocks keeps its pitch, and the source frames consumed
// follow the rate ratio without drifting.
TEST(MonitorFrameConverterTest, RateChangeKeepsPitchAndFrameAccounting) {
    for (uint32_t deviceRate : {44100u, 96000u}) {
        MonitorFormat source{16, 48000, 1, true};
        MonitorFrameConverter c(source, pcm(16, 1, deviceRate));
        constexpr double kTone = 1000.0;
        uint64_t consumed = 0, produced = 0;
        std::vector<int16_t> output;
        const uint32_t blocks[] = {1, 441, 1200, 7, 480, 2000};
        for (int round = 0; round < 40; ++round) {
            for (uint32_t f : blocks) {
                const uint32_t n = c.sourceFramesFor(f);
                // The way back, for a ring that holds only so much: the most device frames that
                // many source frames make, at whatever phase the conversion stands.
                const uint32_t held = n + round % 3;
                const uint32_t most = c.deviceFramesFrom(held);
                ASSERT_GE(most, f) << deviceRate;
                ASSERT_LE(c.sourceFramesFor(most), held) << deviceRate;
                ASSERT_GT(c.sourceFramesFor(most + 1), held) << deviceRate;
                std::vector<int16_t> in(n);
                for (uint32_t i = 0; i < n; ++i) {
                    in[i] = static_cast<int16_t>(std::lround(
                        16000 * std::sin(2 * M_PI * kTone * double(consumed + i) / 48000)));
                }
                std::vector<int16_t> out(f);
                c.convert(reinterpret_cast<const uint8_t*>(in.data()), f,
                          reinterpret_cast<uint8_t*>(out.data()));
                consumed += n;
                produced += f;
                output.insert(output.end(), out.begin(), out.end());
            }
        }
        const double expectedConsumed = double(produced) * 48000 / deviceRate;
        EXPECT_NEAR(double(consumed), expectedConsumed, 2.0) << deviceRate;
        int crossings = 0;
        for (size_t i = 1; i < output.size(); ++i) {
            if ((output[i - 1] < 0) != (output[i] < 0)) ++crossings;
        }
        const double seconds = double(output.size()) / deviceRate;
        EXPECT_NEAR(crossings / 2.0 / seconds, kTone, 5.0) << deviceRate;
    }
}

TEST(MonitorFrameConverterTest, UnusableFormatsGiveSilence) {
    MonitorFormat odd{12, 48000, 2, false};  // not integer PCM, not a float width
    MonitorFrameConverter c(odd, pcm(16, 2, 48000));
    EXPECT_FALSE(c.usable());
    int16_t out[4] = {1, 2, 3, 4};
    uint8_t in[8] = {};
    c.convert(in, 2, reinterpret_cast<uint8_t*>(out));
    for (int16_t s : out) EXPECT_EQ(s, 0);
}

}  // namespace
}  // namespace tovrel::audio
