#include "sim/box/sync_pattern.h"

#include <cmath>

namespace tovrel::sim {

void SyncPattern::setVideoRate(uint32_t numerator, uint32_t denominator) {
    videoRate_ = static_cast<uint64_t>(numerator) << 32 | (denominator > 0 ? denominator : 1);
}

bool SyncPattern::flashes(uint64_t frame, uint32_t numerator, uint32_t denominator) {
    if (numerator == 0 || denominator == 0) return false;
    // Frame k spans (k − 1, k] · den / num seconds back to its predecessor: a whole second lies
    // in it when k · den mod num < den.
    return (frame % numerator) * denominator % numerator < denominator;
}

int64_t SyncPattern::flashTime(int64_t second, uint32_t numerator, uint32_t denominator) {
    if (numerator == 0 || denominator == 0) return second * kSecond100ns;
    const int64_t num = numerator, den = denominator;
    const int64_t frame = (second * num + den - 1) / den;
    // frame · den / num seconds, split so that a long uptime does not overflow.
    return frame / num * den * kSecond100ns + (frame % num) * den * kSecond100ns / num;
}

double SyncPattern::clickAt(uint64_t frame, uint32_t rate) const {
    if (rate == 0) return 0.0;
    const uint32_t numerator = videoRateNumerator();
    const uint32_t denominator = videoRateDenominator();
    const uint64_t clickFrames = static_cast<uint64_t>(rate) * kClickMicroseconds / 1'000'000;
    // The flash of the second this frame is in, and of the one before (a click may run over a
    // whole second when the flash comes just before it).
    const auto second = static_cast<int64_t>(frame / rate);
    for (int64_t s = second; s >= 0 && s >= second - 1; --s) {
        const int64_t flash = flashTime(s, numerator, denominator);
        // The audio frame nearest the flash's instant.
        const auto start =
            static_cast<uint64_t>(flash / kSecond100ns * rate +
                                  (flash % kSecond100ns * rate + kSecond100ns / 2) / kSecond100ns);
        if (frame >= start && frame < start + clickFrames) {
            const double i = static_cast<double>(frame - start);
            const double window = 0.5 - 0.5 * std::cos(2.0 * M_PI * (i + 0.5) / clickFrames);
            return kClickAmplitude * window * std::sin(2.0 * M_PI * kClickHz * i / rate);
        }
    }
    return 0.0;
}

}  // namespace tovrel::sim
