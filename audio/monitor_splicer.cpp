#include "audio/monitor_splicer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace tovrel::audio {

MonitorSplicer::MonitorSplicer(const platform::WaveFormatExtensible& format) {
    channels_ = format.nChannels;
    containerBytes_ = format.wBitsPerSample / 8;
    validBits_ = std::min<uint32_t>(format.validBits(), format.wBitsPerSample);
    frameBytes_ = format.nBlockAlign;
    if (format.isFloat()) {
        kind_ = (containerBytes_ == 4 || containerBytes_ == 8) ? Kind::Float : Kind::Unknown;
    } else if (format.isIntegerPcm()) {
        kind_ = containerBytes_ == 1                           ? Kind::Unsigned8
                : containerBytes_ >= 2 && containerBytes_ <= 4 ? Kind::Signed
                                                               : Kind::Unknown;
    }
    usable_ = kind_ != Kind::Unknown && channels_ > 0 && format.nSamplesPerSec > 0 &&
              frameBytes_ == channels_ * containerBytes_;
    crossfadeFrames_ = std::max<uint32_t>(format.nSamplesPerSec * kCrossfadeMs / 1000, 1);
    maxSpliceFrames_ = std::max<uint32_t>(format.nSamplesPerSec * kMaxSpliceMs / 1000, 1);
    before_.resize(static_cast<size_t>(crossfadeFrames_) * channels_);
    after_.resize(before_.size());
}

double MonitorSplicer::sample(const uint8_t* frame, uint32_t channel) const {
    const uint8_t* s = frame + static_cast<size_t>(channel) * containerBytes_;
    switch (kind_) {
        case Kind::Unsigned8:
            return (static_cast<int>(s[0]) - 128) / 128.0;
        case Kind::Signed: {
            uint32_t raw = 0;
            for (uint32_t i = 0; i < containerBytes_; ++i)
                raw |= static_cast<uint32_t>(s[i]) << (8 * i);
            return static_cast<int32_t>(raw << (32 - 8 * containerBytes_)) / 2147483648.0;
        }
        case Kind::Float: {
            if (containerBytes_ == 4) {
                float f;
                std::memcpy(&f, s, 4);
                return std::isfinite(f) ? f : 0.0;
            }
            double d;
            std::memcpy(&d, s, 8);
            return std::isfinite(d) ? d : 0.0;
        }
        default:
            return 0.0;
    }
}

void MonitorSplicer::setSample(uint8_t* frame, uint32_t channel, double value) const {
    uint8_t* d = frame + static_cast<size_t>(channel) * containerBytes_;
    const double v = std::clamp(value, -1.0, 1.0);
    switch (kind_) {
        case Kind::Unsigned8:
            d[0] = static_cast<uint8_t>(std::lround(std::clamp(v * 128.0 + 128.0, 0.0, 255.0)));
            break;
        case Kind::Signed: {
            // Rounded at the container's own resolution, with the bits below the valid ones zero.
            const uint32_t bits = 8 * containerBytes_;
            const double scale = std::ldexp(1.0, static_cast<int>(bits) - 1);
            const double top = scale - 1.0;
            int64_t whole = static_cast<int64_t>(std::clamp(std::round(v * scale), -scale, top));
            if (validBits_ > 0 && validBits_ < bits) {
                const uint32_t unused = bits - validBits_;
                whole = (whole >> unused) * (int64_t{1} << unused);
            }
            const uint32_t raw = static_cast<uint32_t>(static_cast<int32_t>(whole));
            for (uint32_t i = 0; i < containerBytes_; ++i)
                d[i] = static_cast<uint8_t>(raw >> (8 * i));
            break;
        }
        case Kind::Float:
            if (containerBytes_ == 4) {
                const float f = static_cast<float>(v);
                std::memcpy(d, &f, 4);
            } else {
                std::memcpy(d, &v, 8);
            }
            break;
        default:
            break;
    }
}

bool MonitorSplicer::quiet(const uint8_t* frame) const {
    for (uint32_t c = 0; c < channels_; ++c) {
        if (std::fabs(sample(frame, c)) > kQuietLevel) return false;
    }
    return true;
}

uint32_t MonitorSplicer::removeFrames(uint8_t* block, uint32_t frames, uint32_t wanted,
                                      bool mayCutSound) {
    if (!usable_ || !block || wanted == 0 || frames < 2) return 0;
    wanted = std::min(wanted, frames - 1);
    const uint32_t removed = cutInSilence(block, frames, wanted);
    if (removed > 0 || !mayCutSound) return removed;
    return cutInSound(block, frames, wanted);
}

// The middle of the longest quiet stretch: its edges, where sound fades in and out, stay.
uint32_t MonitorSplicer::cutInSilence(uint8_t* block, uint32_t frames, uint32_t wanted) {
    uint32_t bestStart = 0, bestLength = 0, runStart = 0;
    for (uint32_t f = 0; f <= frames; ++f) {
        if (f < frames && quiet(block + static_cast<size_t>(f) * frameBytes_)) continue;
        if (f - runStart > bestLength) {
            bestStart = runStart;
            bestLength = f - runStart;
        }
        runStart = f + 1;
    }
    // Silence is a stretch at least as long as a crossfade; a zero crossing is not. A few frames
    // of it on either side are kept, so that a cut never joins the last and first frames of two
    // sounds.
    const uint32_t margin = crossfadeFrames_ / 4;
    if (bestLength < crossfadeFrames_ || bestLength <= 2 * margin) return 0;
    const uint32_t take = std::min(wanted, bestLength - 2 * margin);
    const uint32_t at = bestStart + (bestLength - take) / 2;
    uint8_t* cut = block + static_cast<size_t>(at) * frameBytes_;
    std::memmove(cut, cut + static_cast<size_t>(take) * frameBytes_,
                 static_cast<size_t>(frames - at - take) * frameBytes_);
    return take;
}

// Waveform-similarity splicing: the cut of length L at position p is crossfaded over the
// K frames before p, from the block's own frames towards the frames L later, which then go on
// unbroken. Of the lengths and positions tried, the one whose two sides match best is taken.
uint32_t MonitorSplicer::cutInSound(uint8_t* block, uint32_t frames, uint32_t wanted) {
    const uint32_t most = std::min(wanted, maxSpliceFrames_);
    const uint32_t least = std::max<uint32_t>(most / 2, 1);
    const uint32_t fade = std::min(crossfadeFrames_, frames / 4);
    if (fade == 0 || frames < fade + most + 1) return 0;
    const uint32_t lastPosition = frames - most;  // p + L <= frames for every L tried
    // A handful of positions is enough: the length search does the matching.
    constexpr uint32_t kPositions = 4;
    const uint32_t step = std::max<uint32_t>((lastPosition - fade) / kPositions, 1);
    double bestScore = -2.0;
    uint32_t bestPosition = 0, bestLength = 0;
    const size_t n = static_cast<size_t>(fade) * channels_;
    for (uint32_t p = fade; p <= lastPosition; p += step) {
        for (uint32_t f = 0; f < fade; ++f) {
            const uint8_t* frame = block + static_cast<size_t>(p - fade + f) * frameBytes_;
            for (uint32_t c = 0; c < channels_; ++c)
                before_[static_cast<size_t>(f) * channels_ + c] = sample(frame, c);
        }
        double energyBefore = 0.0;
        for (size_t i = 0; i < n; ++i) energyBefore += before_[i] * before_[i];
        for (uint32_t length = least; length <= most; ++length) {
            double cross = 0.0, energyAfter = 0.0;
            for (uint32_t f = 0; f < fade; ++f) {
                const uint8_t* frame =
                    block + static_cast<size_t>(p - fade + length + f) * frameBytes_;
                for (uint32_t c = 0; c < channels_; ++c) {
                    const double a = sample(frame, c);
                    cross += before_[static_cast<size_t>(f) * channels_ + c] * a;
                    energyAfter += a * a;
                }
            }
            const double norm = std::sqrt(energyBefore * energyAfter);
            const double score = norm > 0.0 ? cross / norm : 1.0;
            if (score > bestScore) {
                bestScore = score;
                bestPosition = p;
                bestLength = length;
            }
        }
    }
    if (bestLength == 0) return 0;
    const uint32_t p = bestPosition, length = bestLength;
    for (uint32_t f = 0; f < fade; ++f) {
        uint8_t* frame = block + static_cast<size_t>(p - fade + f) * frameBytes_;
        const uint8_t* later = frame + static_cast<size_t>(length) * frameBytes_;
        // Raised cosine from the earlier to the later sound: no corner at either end.
        const double w = 0.5 - 0.5 * std::cos(M_PI * (f + 1) / (fade + 1));
        for (uint32_t c = 0; c < channels_; ++c)
            after_[c] = (1.0 - w) * sample(frame, c) + w * sample(later, c);
        for (uint32_t c = 0; c < channels_; ++c) setSample(frame, c, after_[c]);
    }
    uint8_t* cut = block + static_cast<size_t>(p) * frameBytes_;
    std::memmove(cut, cut + static_cast<size_t>(length) * frameBytes_,
                 static_cast<size_t>(frames - p - length) * frameBytes_);
    return length;
}

}  // namespace tovrel::audio
