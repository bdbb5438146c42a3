#pragma once

#include <array>
#include <cstdint>

namespace tovrel::audio {

// The spectrum's 200 bands of 100 Hz, the first from 50 to 150 Hz, the last ending at 20,050 Hz.
// A band's height is 1.6 × the square root of the largest component (real or imaginary, as a
// magnitude) among its spectrum floats, at most 160 pixels; no dB scale.
// Pure functions; any thread.
class SpectrumBands {
  public:
    static constexpr int kBandCount = 200;
    static constexpr int kMaxHeight = 160;
    using Heights = std::array<int32_t, kBandCount>;

    // The float index of 50 Hz (k0) and the factor from Hz to float index (q = 2N / rate).
    struct Rule {
        int32_t k0;
        double q;
    };

    // 44,100 Hz: k0 74, q 1.48615; 48,000 and 96,000 Hz: k0 68, q 1.3653. Other rates get
    // 2N / rate and the index of 50 Hz computed the same way, so their bands still hold the
    // frequencies they are drawn for.
    static Rule ruleForRate(int32_t rate);

    // The upper frequency of band j = 1 ... 200.
    static constexpr int32_t upperHz(int band) { return 50 + 100 * band; }

    // Heights of each band over `spectrum` (`floats` long, N + 2). Indices at or beyond `floats`
    // are never read: a band that would need them is cut at the end of the output.
    static Heights heights(const float* spectrum, int32_t floats, const Rule& rule);
};

}  // namespace tovrel::audio
