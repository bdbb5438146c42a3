#include "audio/monitor_delay_control.h"

#include <algorithm>

namespace tovrel::audio {

MonitorDelayControl::MonitorDelayControl(uint32_t framesPerSecond)
    : target_(static_cast<uint32_t>(uint64_t{framesPerSecond} * kTargetMs / 1000)),
      slack_(static_cast<uint32_t>(uint64_t{framesPerSecond} * kSlackMs / 1000)) {}

uint32_t MonitorDelayControl::observe(uint64_t nowMs, uint32_t surplusFrames) {
    // While a drop is under way the surplus moves with it; the next window starts after it.
    if (pending_ > 0) return pending_;
    if (!windowOpen_) {
        windowOpen_ = true;
        windowStartMs_ = nowMs;
        windowMin_ = surplusFrames;
        return 0;
    }
    windowMin_ = std::min(windowMin_, surplusFrames);
    if (nowMs - windowStartMs_ < kWindowMs) return 0;
    windowOpen_ = false;
    if (windowMin_ > target_ + slack_) {
        pending_ = windowMin_ - target_;
        pendingSinceMs_ = nowMs;
    }
    return pending_;
}

bool MonitorDelayControl::mayCutSound(uint64_t nowMs) const {
    return pending_ > 0 && nowMs - pendingSinceMs_ >= kQuietWaitMs;
}

void MonitorDelayControl::dropped(uint32_t frames) { pending_ -= std::min(frames, pending_); }

}  // namespace tovrel::audio
