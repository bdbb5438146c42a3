#pragma once

#include <cstdint>

namespace tovrel::audio {

// Decides when the monitor drops audio to keep its delay from creeping. Every gap the output
// ever plays (a late wake-up of the capture or of the playback, a device that ran dry) leaves the
// sound that much later for good, because the ring in front of the device never gives anything
// back by itself. So each playback pass reports the surplus, what the ring still holds after the
// device has been topped up; when the smallest surplus over a whole window stayed above the
// target by more than the slack, the excess over the target is asked to be dropped, a little per
// pass, and a new window starts once it is gone. The smallest value, not the mean: whatever the
// window showed it needed to ride out its worst moment stays.
// Frames are the output device's. Used by the monitor thread only.
class MonitorDelayControl {
  public:
    // What the ring keeps beyond one pass's worth: the device buffer (100 ms, refilled every
    // 25 ms) already rides out the capture's and the scheduler's jitter on its own.
    static constexpr uint32_t kTargetMs = 0;
    static constexpr uint32_t kSlackMs = 10;
    static constexpr uint32_t kWindowMs = 2000;
    // How long a drop waits for a quiet moment before it may cut into sound.
    static constexpr uint32_t kQuietWaitMs = 3000;

    explicit MonitorDelayControl(uint32_t framesPerSecond);

    // One pass: `surplusFrames` stay in the ring after this pass has topped the device up.
    // Answers how many frames this pass should take out of what it gives the device (0 almost
    // always).
    uint32_t observe(uint64_t nowMs, uint32_t surplusFrames);
    // Whether the pending drop has waited long enough for silence and may be spliced into sound.
    bool mayCutSound(uint64_t nowMs) const;
    // What the pass actually took out.
    void dropped(uint32_t frames);

    uint32_t pendingFrames() const { return pending_; }
    uint32_t targetFrames() const { return target_; }

  private:
    uint32_t target_;
    uint32_t slack_;
    bool windowOpen_ = false;
    uint64_t windowStartMs_ = 0;
    uint32_t windowMin_ = 0;
    uint32_t pending_ = 0;
    uint64_t pendingSinceMs_ = 0;
};

}  // namespace tovrel::audio
