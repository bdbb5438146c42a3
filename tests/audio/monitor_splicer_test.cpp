#include "audio/monitor_splicer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/audio_monitor.h"

namespace tovrel::audio {
namespace {

using platform::WaveFormatExtensible;

constexpr MonitorFormat kStereo16{16, 48000, 2, true};

// 440 Hz left, 1 kHz right at -12 dBFS, as the simulated box plays them; silent frames where
// `silentFrom` <= frame < `silentTo`.
std::vector<int16_t> tones(uint32_t frames, uint32_t silentFrom = 0, uint32_t silentTo = 0) {
    std::vector<int16_t> s(2 * frames);
    for (uint32_t f = 0; f < frames; ++f) {
        if (f >= silentFrom && f < silentTo) continue;
        s[2 * f] = static_cast<int16_t>(std::lround(8192 * std::sin(2 * M_PI * 440 * f / 48000)));
        s[2 * f + 1] =
            static_cast<int16_t>(std::lround(8192 * std::sin(2 * M_PI * 1000 * f / 48000)));
    }
    return s;
}

int largestStep(const std::vector<int16_t>& s, uint32_t frames) {
    int step = 0;
    for (uint32_t i = 2; i < 2 * frames; ++i) step = std::max(step, std::abs(s[i] - s[i - 2]));
    return step;
}

uint8_t* bytes(std::vector<int16_t>& s) { return reinterpret_cast<uint8_t*>(s.data()); }

TEST(MonitorSplicerTest, CutsInsideSilenceAndLeavesTheSoundAlone) {
    MonitorSplicer splicer(AudioMonitor::declaredFormat(kStereo16));
    ASSERT_TRUE(splicer.usable());
    const auto original = tones(1200, 400, 800);
    auto block = original;
    // All that is asked fits in the quiet stretch, with its edges kept.
    ASSERT_EQ(splicer.removeFrames(bytes(block), 1200, 250, false), 250u);
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + 2 * 400, block.begin()));
    EXPECT_TRUE(std::equal(original.begin() + 2 * 800, original.end(), block.begin() + 2 * 550));
    EXPECT_TRUE(std::all_of(block.begin() + 2 * 400, block.begin() + 2 * 550,
                            [](int16_t v) { return v == 0; }));
    // More than the stretch holds: the stretch less its edges, never a frame of sound.
    block = original;
    const uint32_t removed = splicer.removeFrames(bytes(block), 1200, 1000, false);
    EXPECT_GE(removed, 250u);
    EXPECT_LT(removed, 400u);
    EXPECT_TRUE(std::equal(original.begin() + 2 * 800, original.end(),
                           block.begin() + 2 * (800 - removed)));
}

TEST(MonitorSplicerTest, CutsIntoSteadySoundOnlyWhenAllowedAndWithoutATrace) {
    MonitorSplicer splicer(AudioMonitor::declaredFormat(kStereo16));
    const auto original = tones(1200);
    auto block = original;
    EXPECT_EQ(splicer.removeFrames(bytes(block), 1200, 480, false), 0u);
    EXPECT_EQ(block, original);

    const uint32_t removed = splicer.removeFrames(bytes(block), 1200, 480, true);
    EXPECT_GE(removed, 240u);
    EXPECT_LE(removed, 480u);
    // The cut is as long as the two tones take to come back near their phase at the cut (433
    // frames: 3.97 and 9.02 periods), so the splice cannot be told from the tones: no steeper
    // step than theirs, and no dip in level across the crossfade.
    EXPECT_LE(largestStep(block, 1200 - removed), largestStep(original, 1200) * 102 / 100);
    for (uint32_t from = 0; from + 120 <= 1200 - removed; from += 60) {
        for (int c = 0; c < 2; ++c) {
            int peak = 0;
            for (uint32_t f = from; f < from + 120; ++f)
                peak = std::max(peak, std::abs(int(block[2 * f + c])));
            ASSERT_GE(peak, 8192 * 97 / 100) << "frame " << from << " channel " << c;
        }
    }
    for (uint32_t f = 0; f < 1200 - removed; ++f) {
        ASSERT_FALSE(block[2 * f] == 0 && block[2 * f + 1] == 0 && f > 0 && block[2 * f - 2] == 0 &&
                     block[2 * f - 1] == 0)
            << "a run of zeros at " << f;
    }
}

// A sound with no period to lock onto (a chirp) still crossfades without a jump; and the
// device layouts the monitor may play keep their form (24 valid bits of a 32-bit container,
// floats).
TEST(MonitorSplicerTest, CrossfadesUnevenSoundInEveryDeviceLayout) {
    struct Layout {
        MonitorFormat format;
        uint32_t bytesPerSample;
    };
    for (const Layout& layout : {Layout{{16, 48000, 2, true}, 2}, Layout{{24, 48000, 2, true}, 4},
                                 Layout{{32, 48000, 2, false}, 4}}) {
        const WaveFormatExtensible format = AudioMonitor::declaredFormat(layout.format);
        MonitorSplicer splicer(format);
        ASSERT_TRUE(splicer.usable());
        constexpr uint32_t kFrames = 1200;
        std::vector<double> wave(kFrames);
        for (uint32_t f = 0; f < kFrames; ++f)
            wave[f] = 0.25 * std::sin(2 * M_PI * (300.0 + 0.25 * f) * f / 48000);
        std::vector<uint8_t> block(kFrames * format.nBlockAlign);
        for (uint32_t f = 0; f < kFrames; ++f) {
            for (uint32_t c = 0; c < 2; ++c) {
                uint8_t* s = block.data() + f * format.nBlockAlign + c * layout.bytesPerSample;
                if (!layout.format.isPcm) {
                    const float v = static_cast<float>(wave[f]);
                    std::memcpy(s, &v, 4);
                } else {
                    const auto v = static_cast<int32_t>(
                        std::lround(wave[f] * (layout.bytesPerSample == 2 ? 32768 : 8388608)));
                    const uint32_t raw = static_cast<uint32_t>(v)
                                         << (layout.bytesPerSample == 4 ? 8 : 0);
                    for (uint32_t b = 0; b < layout.bytesPerSample; ++b)
                        s[b] = uint8_t(raw >> 8 * b);
                }
            }
        }
        const uint32_t removed = splicer.removeFrames(block.data(), kFrames, 300, true);
        ASSERT_GE(removed, 150u) << layout.format.bitsPerSample;
        double step = 0.0;
        double previous = 0.0;
        for (uint32_t f = 0; f < kFrames - removed; ++f) {
            const uint8_t* s = block.data() + f * format.nBlockAlign;
            double v;
            if (!layout.format.isPcm) {
                float x;
                std::memcpy(&x, s, 4);
                v = x;
            } else if (layout.bytesPerSample == 2) {
                v = int16_t(s[0] | s[1] << 8) / 32768.0;
            } else {
                EXPECT_EQ(s[0], 0) << "below the 24 valid bits";
                v = int32_t(uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16 |
                            uint32_t(s[3]) << 24) /
                    2147483648.0;
            }
            if (f > 0) step = std::max(step, std::fabs(v - previous));
            previous = v;
        }
        // The chirp's own largest step, at its highest pitch (900 Hz), is about 0.029; a cut
        // without the crossfade would jump by up to 0.5.
        EXPECT_LT(step, 0.04) << layout.format.bitsPerSample;
    }
}

}  // namespace
}  // namespace tovrel::audio
