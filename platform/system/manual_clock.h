#pragma once

#include <atomic>
#include <cstdint>

#include "platform/system/clock.h"

namespace tovrel::platform {

// A clock that moves only when told to, for tests: `sleep` advances it instead of waiting, so
// polling loops with time-outs run instantly and deterministically. Any thread.
class ManualClock final : public Clock {
  public:
    explicit ManualClock(uint64_t startMs = 0) : nowMs_(startMs) {}

    uint32_t timeGetTime() override { return static_cast<uint32_t>(nowMs_.load()); }
    uint64_t getTickCount64() override { return nowMs_.load(); }
    void sleep(uint32_t milliseconds) override {
        nowMs_ += milliseconds;
        sleptMs_ += milliseconds;
    }

    void timeBeginPeriod(uint32_t) override { ++raisedPeriods_; }
    void timeEndPeriod(uint32_t) override { --raisedPeriods_; }

    void advance(uint64_t milliseconds) { nowMs_ += milliseconds; }
    // Raises not yet paired with a lowering.
    int raisedPeriods() const { return raisedPeriods_.load(); }
    uint64_t totalSleptMs() const { return sleptMs_.load(); }

  private:
    std::atomic<uint64_t> nowMs_;
    std::atomic<uint64_t> sleptMs_{0};
    std::atomic<int> raisedPeriods_{0};
};

}  // namespace tovrel::platform
