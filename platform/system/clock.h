#pragma once

#include <cstdint>

namespace tovrel::platform {

// Millisecond time as the capture and recording logic expects it: `timeGetTime` is a 32-bit count
// that wraps after about 49.7 days, `getTickCount64` does not wrap. Both are monotonic.
// Implementations are safe from any thread.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual uint32_t timeGetTime() = 0;
    virtual uint64_t getTickCount64() = 0;
    virtual void sleep(uint32_t milliseconds) = 0;
    // The system timer resolution, raised and lowered in pairs around work that stamps samples
    // from timeGetTime. Linux's monotonic clock already reads in milliseconds, so the default
    // has nothing to change; a test clock counts the calls.
    virtual void timeBeginPeriod(uint32_t /*periodMs*/) {}
    virtual void timeEndPeriod(uint32_t /*periodMs*/) {}
};

// The process-wide monotonic clock.
class SystemClock final : public Clock {
  public:
    uint32_t timeGetTime() override;
    uint64_t getTickCount64() override;
    void sleep(uint32_t milliseconds) override;

    static SystemClock& instance();
};

}  // namespace tovrel::platform
