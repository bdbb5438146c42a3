// The analyzer's window-free half: the transform, the spectrum and its bands, the history, the
// shown window of the scope and the read-outs.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "audio/analyzer_readouts.h"
#include "audio/analyzer_tables.h"
#include "audio/real_fft.h"
#include "audio/scope_history.h"
#include "audio/scope_window.h"
#include "audio/spectrum_bands.h"
#include "audio/stereo_spectrum.h"
#include "imaging/aligned_alloc.h"

namespace tovrel::audio {
namespace {

// One second of 16-bit frames with `channels` interleaved values from `value(frame, channel)`.
template <typename F>
std::vector<uint8_t> block16(int rate, int channels, F value, int frames = -1) {
    if (frames < 0) frames = rate;
    std::vector<int16_t> v(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) v[static_cast<size_t>(i * channels + c)] = value(i, c);
    }
    std::vector<uint8_t> bytes(v.size() * 2);
    std::memcpy(bytes.data(), v.data(), bytes.size());
    return bytes;
}

int16_t sine(double hz, int rate, int frame, double amplitude) {
    return static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * frame / rate)));
}

int loudestBand(const SpectrumBands::Heights& h) {
    int best = 0;
    for (int j = 1; j < SpectrumBands::kBandCount; ++j) {
        if (h[static_cast<size_t>(j)] > h[static_cast<size_t>(best)]) best = j;
    }
    return best + 1;  // bands count from 1
}

// The band whose 100 Hz holds `hz`: band j covers (upperHz(j) - 100, upperHz(j)].
int bandOf(double hz) { return static_cast<int>(std::ceil((hz - 50.0) / 100.0)); }

TEST(RealFftTest, MatchesAPlainDftInThePackedLayoutForSmallOrders) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (int order = 1; order <= 10; ++order) {
        RealFft fft(order);
        ASSERT_TRUE(fft.valid());
        const int n = 1 << order;
        ASSERT_EQ(fft.length(), n);
        ASSERT_EQ(fft.outputFloats(), n + 2);
        std::vector<float> in(static_cast<size_t>(n));
        for (float& x : in) x = uniform(random);
        const std::vector<float> original = in;
        // The vectors' own alignment may or may not suit the plan: both roads must agree.
        std::vector<float> out(static_cast<size_t>(n + 2) + 1, 99.0f);
        fft.forward(in.data(), out.data() + 1);
        EXPECT_EQ(in, original) << "the input is left as it was";
        EXPECT_EQ(out[0], 99.0f) << "nothing written before the output";
        for (int k = 0; k <= n / 2; ++k) {
            std::complex<double> sum;
            for (int t = 0; t < n; ++t) {
                sum += static_cast<double>(in[static_cast<size_t>(t)]) *
                       std::polar(1.0, -2.0 * M_PI * k * t / n);
            }
            const double tolerance = 1e-4 * n;
            EXPECT_NEAR(out[static_cast<size_t>(1 + 2 * k)], sum.real(), tolerance)
                << "order " << order << " k " << k;
            EXPECT_NEAR(out[static_cast<size_t>(2 + 2 * k)], sum.imag(), tolerance)
                << "order " << order << " k " << k;
        }
        EXPECT_EQ(out[2], 0.0f) << "imaginary part of X(0)";
        EXPECT_EQ(out[static_cast<size_t>(2 + n)], 0.0f) << "imaginary part of X(N/2)";
    }
}

TEST(RealFftTest, AlignedAndUnalignedBuffersGiveTheSameSpectrum) {
    RealFft fft(12);
    const int n = fft.length();
    auto* in = static_cast<float*>(imaging::alignedAlloc(4 * (n + 1)));
    auto* out = static_cast<float*>(imaging::alignedAlloc(4 * (n + 3)));
    for (int i = 0; i < n; ++i) in[i] = std::sin(0.01f * i * i);
    fft.forward(in, out);
    const std::vector<float> aligned(out, out + n + 2);
    // The same samples one float off the plan's alignment go through the transform's buffers.
    std::memmove(in + 1, in, sizeof(float) * n);
    fft.forward(in + 1, out + 1);
    EXPECT_EQ(std::vector<float>(out + 1, out + 1 + n + 2), aligned);
    imaging::alignedFree(in);
    imaging::alignedFree(out);
}

TEST(RealFftTest, OrdersOutsideTheRangeMakeNoTransform) {
    for (int order : {0, -1, RealFft::kMaxOrder + 1}) {
        RealFft fft(order);
        EXPECT_FALSE(fft.valid());
        EXPECT_EQ(fft.outputFloats(), 0);
        float x = 1.0f;
        fft.forward(&x, &x);
        EXPECT_EQ(x, 1.0f);
    }
}

TEST(StereoSpectrumTest, OrderIsTheIntegerPartOfLog2OfTheRate) {
    EXPECT_EQ(StereoSpectrum::orderForRate(44'100), 15);
    EXPECT_EQ(StereoSpectrum::orderForRate(48'000), 15);
    EXPECT_EQ(StereoSpectrum::orderForRate(96'000), 16);
    EXPECT_EQ(StereoSpectrum::orderForRate(32'768), 15);
    EXPECT_EQ(StereoSpectrum::orderForRate(8'000), 12);
    EXPECT_EQ(StereoSpectrum::orderForRate(1), 0);
    EXPECT_EQ(StereoSpectrum::orderForRate(0), 0);
}

TEST(StereoSpectrumTest, FullScaleSineOnAWholeBinPeaksAtHalfTheLengthAndHitsTheBandLimit) {
    StereoSpectrum spectrum(48'000, 2, 16, 4);
    ASSERT_TRUE(spectrum.valid());
    const int n = spectrum.transformLength();
    ASSERT_EQ(n, 32'768);
    const int bin = 1024;  // 1500 Hz: a whole multiple of rate / N
    const double hz = bin * 48'000.0 / n;
    const auto block = block16(48'000, 2, [&](int i, int c) {
        return c == 0 ? sine(hz, 48'000, i, 32'767.0) : int16_t{0};
    });
    spectrum.compute(block.data(), static_cast<int32_t>(block.size()));
    const std::complex<float> peak(spectrum.left()[2 * bin], spectrum.left()[2 * bin + 1]);
    EXPECT_NEAR(std::abs(peak), n / 2.0, n / 2.0 * 1e-3);
    const float larger = std::max(std::fabs(peak.real()), std::fabs(peak.imag()));
    EXPECT_GE(larger, n / 2.0 / std::sqrt(2.0) * 0.999);

    const auto left = SpectrumBands::heights(spectrum.left(), spectrum.spectrumFloats(),
                                             SpectrumBands::ruleForRate(48'000));
    EXPECT_EQ(left[static_cast<size_t>(bandOf(hz) - 1)], SpectrumBands::kMaxHeight);
    const auto right = SpectrumBands::heights(spectrum.right(), spectrum.spectrumFloats(),
                                              SpectrumBands::ruleForRate(48'000));
    for (int32_t h : right) EXPECT_EQ(h, 0) << "silence on the right";
}

TEST(StereoSpectrumTest, OnlyTheFirstTransformLengthOfSamplesCount) {
    StereoSpectrum spectrum(48'000, 2, 16, 4);
    const int n = spectrum.transformLength();
    const auto quiet = block16(
        48'000, 2, [&](int i, int) { return i < n ? sine(700, 48'000, i, 8000.0) : int16_t{0}; });
    const auto loudTail = block16(48'000, 2, [&](int i, int) {
        return i < n ? sine(700, 48'000, i, 8000.0) : int16_t{32'000};
    });
    spectrum.compute(quiet.data(), static_cast<int32_t>(quiet.size()));
    const std::vector<float> a(spectrum.left(), spectrum.left() + spectrum.spectrumFloats());
    spectrum.compute(loudTail.data(), static_cast<int32_t>(loudTail.size()));
    const std::vector<float> b(spectrum.left(), spectrum.left() + spectrum.spectrumFloats());
    EXPECT_EQ(a, b);
}

TEST(StereoSpectrumTest, ShortAndMonoBlocksAreReadOnlyAsFarAsTheyGo) {
    // A mono 16-bit second is half a stereo one: the frames that exist are read, each one sample.
    StereoSpectrum mono(48'000, 1, 16, 2);
    ASSERT_TRUE(mono.valid());
    EXPECT_EQ(mono.right(), nullptr);
    const auto tone = block16(48'000, 1, [](int i, int) { return sine(1000, 48'000, i, 8000); });
    mono.compute(tone.data(), static_cast<int32_t>(tone.size()));
    EXPECT_EQ(loudestBand(SpectrumBands::heights(mono.left(), mono.spectrumFloats(),
                                                 SpectrumBands::ruleForRate(48'000))),
              bandOf(1000));

    // 8-bit stereo, offset by 128.
    StereoSpectrum eight(48'000, 2, 8, 2);
    std::vector<uint8_t> bytes(48'000 * 2);
    for (int i = 0; i < 48'000; ++i) {
        bytes[static_cast<size_t>(2 * i)] = static_cast<uint8_t>(128 + sine(440, 48'000, i, 60));
        bytes[static_cast<size_t>(2 * i + 1)] = 128;
    }
    eight.compute(bytes.data(), static_cast<int32_t>(bytes.size()));
    const auto rule = SpectrumBands::ruleForRate(48'000);
    EXPECT_EQ(loudestBand(SpectrumBands::heights(eight.left(), eight.spectrumFloats(), rule)),
              bandOf(440));
    EXPECT_EQ(SpectrumBands::heights(eight.right(), eight.spectrumFloats(), rule)[0], 0);

    // A block shorter than the transform: what is missing is silence, nothing past it is read
    // (the sanitizer build would see it).
    StereoSpectrum stereo(48'000, 2, 16, 4);
    std::vector<uint8_t> few(400, 0x40);
    stereo.compute(few.data(), static_cast<int32_t>(few.size()));
    stereo.compute(nullptr, 0);
    for (int i = 0; i < stereo.spectrumFloats(); ++i) ASSERT_EQ(stereo.left()[i], 0.0f);
}

TEST(StereoSpectrumTest, OtherFormatsAreReadAsSixteenBitStereoFramesWithinTheBlock) {
    // 24-bit stereo: the second's 288,000 bytes are 72,000 four-byte frames, of which the first
    // 32,768 go into the transform.
    StereoSpectrum spectrum(48'000, 2, 24, 6);
    std::vector<uint8_t> bytes(48'000 * 6);
    for (int i = 0; i < 72'000; ++i) {
        const int16_t l = sine(2000, 48'000, i, 9000);
        std::memcpy(&bytes[static_cast<size_t>(4 * i)], &l, 2);
    }
    spectrum.compute(bytes.data(), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(loudestBand(SpectrumBands::heights(spectrum.left(), spectrum.spectrumFloats(),
                                                 SpectrumBands::ruleForRate(48'000))),
              bandOf(2000));
}

TEST(SpectrumBandsTest, RulesForTheUsualRates) {
    const auto r441 = SpectrumBands::ruleForRate(44'100);
    EXPECT_EQ(r441.k0, 74);
    EXPECT_EQ(r441.q, 1.48615);
    for (int rate : {48'000, 96'000}) {
        const auto r = SpectrumBands::ruleForRate(rate);
        EXPECT_EQ(r.k0, 68);
        EXPECT_EQ(r.q, 1.3653);
    }
    // Elsewhere q is 2N / rate and k0 the index of 50 Hz.
    const auto r32 = SpectrumBands::ruleForRate(32'000);
    EXPECT_DOUBLE_EQ(r32.q, 2.0 * 16'384 / 32'000);
    EXPECT_EQ(r32.k0, 51);
}

TEST(SpectrumBandsTest, At44100HzBandsStartAtIndex74AndStepByQ) {
    const auto rule = SpectrumBands::ruleForRate(44'100);
    std::vector<float> spectrum(32'770, 0.0f);
    spectrum[73] = 10'000.0f;  // below 50 Hz: in no band
    auto h = SpectrumBands::heights(spectrum.data(), 32'770, rule);
    for (int32_t v : h) EXPECT_EQ(v, 0);

    spectrum[73] = 0.0f;
    spectrum[74] = -100.0f;  // a negative component counts by its size
    h = SpectrumBands::heights(spectrum.data(), 32'770, rule);
    EXPECT_EQ(h[0], 16);  // sqrt(100) × 1.6

    // Band 1 ends before (int)(150 × 1.48615) = 222, band 2 before (int)(250 × 1.48615) = 371.
    spectrum[74] = 0.0f;
    spectrum[221] = 400.0f;
    spectrum[222] = 2'500.0f;
    spectrum[371] = 10'000.0f;
    h = SpectrumBands::heights(spectrum.data(), 32'770, rule);
    EXPECT_EQ(h[0], 32);
    EXPECT_EQ(h[1], 80);
    EXPECT_EQ(h[2], 160);

    // A 44.1 kHz tone shows in the band of its frequency.
    StereoSpectrum stereo(44'100, 2, 16, 4);
    const auto block = block16(
        44'100, 2, [](int i, int c) { return sine(c == 0 ? 1234.0 : 15'000.0, 44'100, i, 8000); });
    stereo.compute(block.data(), static_cast<int32_t>(block.size()));
    EXPECT_EQ(loudestBand(SpectrumBands::heights(stereo.left(), stereo.spectrumFloats(), rule)),
              bandOf(1234));
    EXPECT_EQ(loudestBand(SpectrumBands::heights(stereo.right(), stereo.spectrumFloats(), rule)),
              bandOf(15'000));
}

TEST(SpectrumBandsTest, LowRatesNeverReadBeyondTheTransformOutput) {
    // At 8 kHz the output is 4,098 floats; the bands above 4 kHz would need indices far beyond.
    const int floats = 4'098;
    auto* spectrum = static_cast<float*>(imaging::alignedAlloc(4 * floats));
    for (int i = 0; i < floats; ++i) spectrum[i] = 1.0f;
    const auto h = SpectrumBands::heights(spectrum, floats, SpectrumBands::ruleForRate(8'000));
    EXPECT_EQ(h[0], 1);
    EXPECT_EQ(h[38], 1);
    EXPECT_EQ(h[39], 1) << "3,950 to 4,050 Hz: up to the last float";
    EXPECT_EQ(h[40], 0);
    EXPECT_EQ(h[199], 0);
    imaging::alignedFree(spectrum);
}

TEST(ScopeHistoryTest, AppendsTheFourFormatsScaled) {
    ScopeHistory stereo16(8, 2, 16, 4);
    ASSERT_TRUE(stereo16.hasRight());
    const auto b = block16(
        8, 2, [](int, int c) { return int16_t(c == 0 ? 256 : -512); }, 2);
    EXPECT_EQ(stereo16.append(b.data(), static_cast<int32_t>(b.size())), 2);
    EXPECT_EQ(stereo16.left()[0].y, 1);
    EXPECT_EQ(stereo16.right()[0].y, -2);
    EXPECT_EQ(stereo16.left()[1].x, 1);
    EXPECT_EQ(stereo16.writeIndex(), 2);

    ScopeHistory mono16(8, 1, 16, 2);
    EXPECT_FALSE(mono16.hasRight());
    const auto m = block16(
        8, 1, [](int i, int) { return int16_t(i == 0 ? -255 : -256); }, 2);
    mono16.append(m.data(), 4);
    EXPECT_EQ(mono16.left()[0].y, 0) << "division rounds toward zero";
    EXPECT_EQ(mono16.left()[1].y, -1);

    ScopeHistory mono8(8, 1, 8, 1);
    const uint8_t bytes8[] = {127, 0, 255};
    mono8.append(bytes8, 3);
    EXPECT_EQ(mono8.left()[0].y, 0);
    EXPECT_EQ(mono8.left()[1].y, -127);
    EXPECT_EQ(mono8.left()[2].y, 128);

    ScopeHistory stereo8(8, 2, 8, 2);
    const uint8_t pair[] = {200, 27, 99};  // a trailing half frame is left out
    EXPECT_EQ(stereo8.append(pair, 3), 1);
    EXPECT_EQ(stereo8.left()[0].y, 73);
    EXPECT_EQ(stereo8.right()[0].y, -100);
}

TEST(ScopeHistoryTest, FormatsOutsideTheFourAppendNothing) {
    const std::vector<uint8_t> bytes(600, 0x7F);
    struct Case {
        int channels, bits, blockAlign;
    };
    for (const Case& c : {Case{2, 24, 6}, Case{2, 32, 8}, Case{1, 24, 3}, Case{10, 0, 1},
                          Case{3, 16, 6}, Case{2, 16, 2}}) {
        ScopeHistory history(100, c.channels, c.bits, c.blockAlign);
        EXPECT_EQ(history.append(bytes.data(), 600), 0) << c.channels << "/" << c.bits;
        EXPECT_EQ(history.writeIndex(), 0);
        for (const ScopePoint& p : history.left()) ASSERT_EQ(p.y, 0);
    }
}

TEST(ScopeHistoryTest, TheWriteIndexWrapsAtTheLength) {
    ScopeHistory history(5, 2, 16, 4);
    const auto b = block16(
        5, 2, [](int i, int) { return int16_t(256 * (i + 1)); }, 7);
    history.append(b.data(), static_cast<int32_t>(b.size()));
    EXPECT_EQ(history.writeIndex(), 2);
    EXPECT_EQ(history.left()[0].y, 6);
    EXPECT_EQ(history.left()[1].y, 7);
    EXPECT_EQ(history.left()[2].y, 3);

    ScopeHistory none(0, 2, 16, 4);
    EXPECT_FALSE(none.hasLeft());
    EXPECT_EQ(none.append(b.data(), 8), 0);
}

std::vector<ScopePoint> points(const std::vector<int>& ys) {
    std::vector<ScopePoint> p;
    for (size_t i = 0; i < ys.size(); ++i) p.push_back({static_cast<int32_t>(i), ys[i]});
    return p;
}

TEST(ScopeWindowTest, NominalEndLiesScrollBehindTheWriteIndex) {
    const auto h = points(std::vector<int>(100, 0));
    auto s = ScopeWindow::span(h, 50, 10, 20, false, 200);
    EXPECT_EQ(s.end, 39);
    EXPECT_EQ(s.start, 19);
    EXPECT_EQ(s.lag, 11);
    ASSERT_EQ(s.rangeCount, 1);
    EXPECT_EQ(s.ranges[0].first, 19);
    EXPECT_EQ(s.ranges[0].last, 39);
    EXPECT_EQ(s.ranges[0].x0, 0);
    EXPECT_EQ(s.ranges[0].x1, 200);

    s = ScopeWindow::span(h, 5, 20, 10, false, 200);  // e = -15: wraps to 99 - 15
    EXPECT_EQ(s.end, 84);
    EXPECT_EQ(s.lag, 5 - 84 + 100);

    s = ScopeWindow::span(h, 5, -200, 10, false, 200);  // beyond the last entry
    EXPECT_EQ(s.end, 0);
}

TEST(ScopeWindowTest, TriggerEndsAtTheLastNegativeSampleBeforeTheLatestRisingCrossing) {
    //                        0  1  2   3   4  5  6   7   8  9
    const auto h = points({5, 3, -1, -4, -2, 0, 6, -3, -1, 2});
    // Back from 9: 8 is negative after 9 >= 0: the crossing -1 -> 2.
    auto s = ScopeWindow::span(h, 0, 0, 5, true, 100);
    EXPECT_EQ(s.end, 8);
    // From 6 back: 4 (-2) before 5 (0) is the crossing.
    s = ScopeWindow::span(h, 7, 0, 5, true, 100);
    EXPECT_EQ(s.end, 4);
    // A falling crossing (1 -> 2) is not one; the search stops after n steps.
    s = ScopeWindow::span(h, 3, 0, 1, true, 100);  // nominal end 2, one step back to 1 (3)
    EXPECT_EQ(s.end, 2) << "no rising crossing within n: the nominal end";
    // Searching wraps from entry 0 to the last entry.
    const auto w = points({4, 1, 1, -6});
    s = ScopeWindow::span(w, 1, 0, 3, true, 100);  // nominal end 0
    EXPECT_EQ(s.end, 3);
}

TEST(ScopeWindowTest, TriggeredDrawingsOfASineEndAtTheSamePhase) {
    const int length = 48'000;
    std::vector<int> ys(length);
    for (int i = 0; i < length; ++i) ys[i] = sine(441, length, i, 100);
    const auto h = points(ys);
    std::vector<int> phases;
    for (int writeIndex : {0, 7'000, 23'456, 47'999}) {
        for (int scroll : {0, 300, 1'111}) {
            const auto s = ScopeWindow::span(h, writeIndex, scroll, 4'800, true, 300);
            ASSERT_LT(h[static_cast<size_t>(s.end)].y, 0);
            ASSERT_GE(h[static_cast<size_t>((s.end + 1) % length)].y, 0);
            phases.push_back(
                static_cast<int>(std::lround(std::fmod(s.end * 441.0 / length, 1.0) * 1000)));
        }
    }
    for (int p : phases) EXPECT_NEAR(p, phases[0], 15) << "the same point of the cycle";
}

TEST(ScopeWindowTest, TheWholeHistoryAlwaysWrapsAndSplitsByTheSamplesOfEachPart) {
    const auto h = points(std::vector<int>(48'000, 0));
    for (int writeIndex : {0, 1, 24'000, 47'999}) {
        const auto s = ScopeWindow::span(h, writeIndex, 0, 48'000, false, 312);
        ASSERT_EQ(s.rangeCount, 2);
        EXPECT_LT(s.start, 0);
        EXPECT_EQ(s.ranges[0].first, 48'000 + s.start);
        EXPECT_EQ(s.ranges[0].last, 47'999);
        EXPECT_EQ(s.ranges[1].first, 0);
        EXPECT_EQ(s.ranges[1].last, s.end);
        EXPECT_EQ(s.ranges[0].x0, 0);
        EXPECT_EQ(s.ranges[0].x1,
                  static_cast<int>(static_cast<float>(-s.start - 1) * 312.0f / 48'000.0f));
        EXPECT_EQ(s.ranges[1].x0, s.ranges[0].x1);
        EXPECT_EQ(s.ranges[1].x1, 312);
    }
}

TEST(ScopeWindowTest, AutoScrollWalksThroughTheLastSecondAndStopsAtTheNewestEntry) {
    const int length = 48'000;
    // Just after a block (t near 1000) the end is a full second behind; half a second later it
    // is halfway.
    auto a = ScopeWindow::autoScroll(990, length, false, 5);
    ASSERT_TRUE(a.active);
    EXPECT_EQ(a.selectionMin, 240);
    EXPECT_EQ(a.selectionMax, 240 + 480);
    EXPECT_EQ(a.scroll, (23'999 - 240) * 2);
    a = ScopeWindow::autoScroll(500, length, false, 5);
    EXPECT_EQ(a.selectionMin, 12'000);
    EXPECT_EQ(a.scroll, (23'999 - 12'000) * 2);
    // A late block: the end stays at the newest entry instead of running into the oldest.
    for (int t : {0, -1, -900, -5'000, -2'000'000'000}) {
        a = ScopeWindow::autoScroll(t, length, false, 5);
        EXPECT_EQ(a.selectionMin, 23'999) << t;
        EXPECT_EQ(a.scroll, 0) << t;
        const auto s =
            ScopeWindow::span(points(std::vector<int>(length, 0)), 100, a.scroll, 10, false, 100);
        EXPECT_EQ(s.end, 99) << "the newest entry";
    }
    // Frozen, or no block pending: the selection is cleared and scroll stays.
    for (const auto& off : {ScopeWindow::autoScroll(500, length, true, 77),
                            ScopeWindow::autoScroll(1000, length, false, 77)}) {
        EXPECT_FALSE(off.active);
        EXPECT_EQ(off.selectionMin, 0);
        EXPECT_EQ(off.selectionMax, 0);
        EXPECT_EQ(off.scroll, 77);
    }
}

TEST(ScopeWindowTest, PositionsAndTimes) {
    EXPECT_EQ(ScopeWindow::scrollForPosition(48'000, 23'999), 0);
    EXPECT_EQ(ScopeWindow::scrollForPosition(48'000, 0), 47'998);
    EXPECT_EQ(ScopeWindow::lagMs(24'000, 48'000), 500);
    EXPECT_EQ(ScopeWindow::lagMs(47, 48'000), 0);
    EXPECT_EQ(ScopeWindow::endTimeMs(3'000, 500), 2'500);
    EXPECT_EQ(ScopeWindow::startTimeMs(2'500, 4'800, 48'000), 2'400);
    EXPECT_EQ(ScopeWindow::startTimeMs(2'500, 4'410, 44'100), 2'400);
}

TEST(AnalyzerReadoutsTest, Texts) {
    EXPECT_EQ(AnalyzerReadouts::integerText(192'000), "192000");
    EXPECT_EQ(AnalyzerReadouts::integerText(-7), "-7");
    EXPECT_EQ(AnalyzerReadouts::secondsText(0), "0.000");
    EXPECT_EQ(AnalyzerReadouts::secondsText(995), "0.995");
    EXPECT_EQ(AnalyzerReadouts::secondsText(1'005), "1.005");
    EXPECT_EQ(AnalyzerReadouts::secondsText(12'340), "12.340");
    EXPECT_EQ(AnalyzerReadouts::secondsText(-250), "-0.250");
    EXPECT_EQ(AnalyzerReadouts::secondsText(-1'500), "-1.500");
    EXPECT_EQ(AnalyzerReadouts::secondsText(INT32_MIN), "-2147483.648");
    EXPECT_EQ(AnalyzerReadouts::formatText(2, 16, 48'000), "S-16-48000");
    EXPECT_EQ(AnalyzerReadouts::formatText(1, 16, 44'100), "M-16-44100");
    EXPECT_EQ(AnalyzerReadouts::formatText(2, 8, 8'000), "S-8-8000");
    EXPECT_EQ(AnalyzerReadouts::formatText(1, 8, 22'050), "M-8-22050");
    EXPECT_EQ(AnalyzerReadouts::formatText(2, 24, 48'000), "");
    EXPECT_EQ(AnalyzerReadouts::formatText(10, 0, 48'000), "") << "channels + bits 10";
    EXPECT_EQ(AnalyzerReadouts::offsetText(-10), "10");
    EXPECT_EQ(AnalyzerReadouts::offsetText(0), "0");
    EXPECT_EQ(AnalyzerReadouts::offsetText(3), "-3");
}

TEST(AnalyzerTablesTest, EveryTimeBaseShowsTenDivisionsOfItsLabel) {
    for (const TimeBaseRow& row : kTimeBaseTable) {
        // One second / divisor spans ten divisions.
        const int microsecondsPerDiv = 100'000 / row.divisor;
        const std::string label(row.label);
        const std::string expected = microsecondsPerDiv < 1'000
                                         ? std::to_string(microsecondsPerDiv) + " uS/Div"
                                         : std::to_string(microsecondsPerDiv / 1'000) + " mS/Div";
        EXPECT_EQ(label, expected);
    }
    EXPECT_EQ(kTimeBaseTable[kDefaultTimeBaseIndex].label, "10 mS/Div");
}

TEST(AnalyzerTablesTest, GainsHalveFromTimes128ToOver256) {
    double factor = 128.0;
    for (const GainRow& row : kGainTable) {
        EXPECT_EQ(row.factor, factor);
        // Appended rather than "x" + string: GCC 12 at -O3 warns falsely on the latter.
        std::string expected = factor >= 1.0 ? "*" : "/";
        expected += std::to_string(static_cast<int>(factor >= 1.0 ? factor : 1.0 / factor));
        EXPECT_EQ(row.label, expected);
        factor /= 2.0;
    }
    EXPECT_EQ(kGainTable[kDefaultGainIndex].label, "*1");
}

}  // namespace
}  // namespace tovrel::audio
