#include "capture/frame_event.h"

#include <chrono>

namespace tovrel::capture {

void FrameEvent::set() {
    std::lock_guard lock(mutex_);
    signalled_ = true;
    changed_.notify_one();
}

void FrameEvent::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

void FrameEvent::pulse() {
    std::lock_guard lock(mutex_);
    // Auto-reset: at most one waiter is released, and nothing remains for a later waiter.
    if (waiters_ > pulses_) {
        ++pulses_;
        changed_.notify_one();
    }
}

bool FrameEvent::wait(uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    ++waiters_;
    const bool woken = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [&] { return signalled_ || pulses_ > 0; });
    --waiters_;
    if (!woken) return false;
    if (pulses_ > 0) {
        --pulses_;
    } else {
        signalled_ = false;
    }
    return true;
}

}  // namespace tovrel::capture
