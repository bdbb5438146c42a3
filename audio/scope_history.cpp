#include "audio/scope_history.h"

#include <cstring>

namespace tovrel::audio {
namespace {

std::vector<ScopePoint> indexedPoints(int32_t length) {
    std::vector<ScopePoint> points(length > 0 ? static_cast<size_t>(length) : 0);
    for (size_t i = 0; i < points.size(); ++i) points[i] = {static_cast<int32_t>(i), 0};
    return points;
}

int16_t value16(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

ScopeHistory::ScopeHistory(int32_t length, int32_t channels, int32_t bits, int32_t blockAlign)
    : channels_(channels), bits_(bits), blockAlign_(blockAlign), left_(indexedPoints(length)) {
    if (channels == 2) right_ = indexedPoints(length);
}

void ScopeHistory::put(int32_t leftY, int32_t rightY) {
    left_[static_cast<size_t>(writeIndex_)].y = leftY;
    if (!right_.empty()) right_[static_cast<size_t>(writeIndex_)].y = rightY;
    if (++writeIndex_ >= length()) writeIndex_ = 0;
}

int32_t ScopeHistory::append(const uint8_t* block, int32_t bytes) {
    if (left_.empty() || !block || bytes <= 0 || blockAlign_ <= 0) return 0;
    // The four formats by their channels + bits code, taken from the pair itself so that an
    // odd pair with the same sum (10 channels of 0 bits) cannot pass for one of them.
    const bool known = (channels_ == 1 || channels_ == 2) && (bits_ == 8 || bits_ == 16);
    // The samples sit at the start of each frame, whatever padding the frame carries.
    if (!known || (bits_ / 8) * channels_ > blockAlign_) return 0;
    const int32_t frames = bytes / blockAlign_;
    const uint8_t* f = block;
    switch (channels_ + bits_) {
        case 9:
            for (int32_t i = 0; i < frames; ++i, f += blockAlign_) put(f[0] - 127, 0);
            break;
        case 10:
            for (int32_t i = 0; i < frames; ++i, f += blockAlign_) put(f[0] - 127, f[1] - 127);
            break;
        case 17:
            for (int32_t i = 0; i < frames; ++i, f += blockAlign_) put(value16(f) / 256, 0);
            break;
        default:  // 18
            for (int32_t i = 0; i < frames; ++i, f += blockAlign_) {
                put(value16(f) / 256, value16(f + 2) / 256);
            }
            break;
    }
    return frames;
}

}  // namespace tovrel::audio
