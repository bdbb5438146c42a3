#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tovrel::capture {

// An auto-reset event with the platform's pulse: set() leaves it signalled until one waiter
// takes it; pulse() releases a thread that is waiting at that moment and is otherwise lost, so
// a frame that arrives while the render thread is busy is dropped, never queued.
// Any thread.
class FrameEvent {
  public:
    void set();
    void reset();
    void pulse();
    // True when signalled or pulsed within `timeoutMs`; the signal is consumed.
    bool wait(uint32_t timeoutMs);

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
    uint32_t waiters_ = 0;
    uint32_t pulses_ = 0;  // releases owed to threads that were waiting at a pulse
};

}  // namespace tovrel::capture
