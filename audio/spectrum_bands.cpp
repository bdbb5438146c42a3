#include "audio/spectrum_bands.h"

#include <cmath>

#include "audio/stereo_spectrum.h"

namespace tovrel::audio {

SpectrumBands::Rule SpectrumBands::ruleForRate(int32_t rate) {
    if (rate == 44'100) return {74, 1.48615};
    if (rate == 48'000 || rate == 96'000) return {68, 1.3653};
    const int order = StereoSpectrum::orderForRate(rate);
    if (order <= 0) return {0, 0.0};
    const double q = 2.0 * std::ldexp(1.0, order) / rate;
    return {static_cast<int32_t>(50.0 * q), q};
}

SpectrumBands::Heights SpectrumBands::heights(const float* spectrum, int32_t floats,
                                              const Rule& rule) {
    Heights out{};
    if (!spectrum || floats <= 0) return out;
    int32_t k0 = rule.k0;
    for (int j = 1; j <= kBandCount; ++j) {
        int32_t k1 = static_cast<int32_t>(upperHz(j) * rule.q);
        if (k1 > floats) k1 = floats;
        float m = 0.0f;
        if (k0 < k1) {
            for (int32_t k = k0 < 0 ? 0 : k0; k < k1; ++k) {
                const float a = std::fabs(spectrum[k]);
                if (a > m) m = a;
            }
            k0 = k1;
        }
        const float root = static_cast<float>(std::sqrt(static_cast<double>(m)));
        int32_t v = static_cast<int32_t>(static_cast<double>(root) * 1.6);
        if (v > kMaxHeight) v = kMaxHeight;
        out[static_cast<size_t>(j - 1)] = v;
    }
    return out;
}

}  // namespace tovrel::audio
