#include "platform/ffmpeg/frame_grid.h"

#include <algorithm>

namespace tovrel::platform {

namespace {
constexpr int64_t kTicksPerSecond = 10'000'000;

// floor(a / b) for b > 0.
int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
}  // namespace

FrameGrid::FrameGrid(uint32_t rateNumerator, uint32_t rateDenominator, int64_t maxRepeats)
    : numerator_(rateNumerator > 0 && rateDenominator > 0 ? rateNumerator : 1),
      denominator_(rateNumerator > 0 && rateDenominator > 0 ? rateDenominator : 1),
      maxRepeats_(std::max<int64_t>(0, maxRepeats)) {}

FrameGrid::Placement FrameGrid::place(int64_t time100ns) {
    Placement p;
    if (!started_) {
        started_ = true;
        origin100ns_ = time100ns;
        lastSlot_ = 0;
        ++written_;
        return p;
    }
    // The nearest slot: (Δ · rate + half a period) / one period, in units of 100 ns · den.
    const int64_t unitsPerSlot = denominator_ * kTicksPerSecond;
    const int64_t slot =
        floorDiv((time100ns - origin100ns_) * numerator_ + unitsPerSlot / 2, unitsPerSlot);
    if (slot <= lastSlot_) {
        ++dropped_;
        p.dropped = true;
        p.slot = lastSlot_;
        return p;
    }
    p.slot = slot;
    p.repeatFirst = lastSlot_ + 1;
    p.repeatCount = std::min(slot - lastSlot_ - 1, maxRepeats_);
    repeated_ += static_cast<uint64_t>(p.repeatCount);
    lastSlot_ = slot;
    ++written_;
    return p;
}

}  // namespace tovrel::platform
