#pragma once

#include <cstdint>
#include <vector>

namespace tovrel::audio {

// One oscilloscope history entry, laid out as a polyline point: x is fixed to the entry's
// index, y is the scaled sample (8-bit samples less 127, 16-bit samples / 256).
struct ScopePoint {
    int32_t x;
    int32_t y;
};

// The oscilloscope's one-second history of both channels, overwritten in a circle from the write
// index. The right history exists only for two channels. Formats other than 8 or 16 bits, mono
// or stereo, append nothing.
// Not locked: the owner serialises the worker's appends with the window's reads.
class ScopeHistory {
  public:
    // `length` entries per channel (the sample rate); none when length <= 0.
    ScopeHistory(int32_t length, int32_t channels, int32_t bits, int32_t blockAlign);

    // Appends the whole frames of `bytes`; answers the frames appended.
    int32_t append(const uint8_t* block, int32_t bytes);

    int32_t length() const { return static_cast<int32_t>(left_.size()); }
    int32_t writeIndex() const { return writeIndex_; }
    bool hasLeft() const { return !left_.empty(); }
    bool hasRight() const { return !right_.empty(); }
    const std::vector<ScopePoint>& left() const { return left_; }
    const std::vector<ScopePoint>& right() const { return right_; }

  private:
    void put(int32_t leftY, int32_t rightY);

    int32_t channels_;
    int32_t bits_;
    int32_t blockAlign_;
    int32_t writeIndex_ = 0;
    std::vector<ScopePoint> left_;
    std::vector<ScopePoint> right_;
};

}  // namespace tovrel::audio
