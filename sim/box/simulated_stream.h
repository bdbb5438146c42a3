#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/media/media_source.h"

namespace tovrel::sim {

// The stream of a simulated capture device, as its MediaSource calls and the reader's pulls see
// it: started or stopped, the native type it runs, when each sample is due, and the faults that
// act on the whole stream (stall, unplug, end of stream, type change). What a sample holds, and
// the faults of single samples, are the device's own.
//
// Sample n of a native type is due `lead + n` periods after the stream start, a period being
// the exact one of the type's rate (1001/60000 s, not a rounded number of 100 ns). RealTime
// pacing starts a stream on the box's clock (the system's monotonic clock), at the first whole
// period of it, as a device whose frames run on one free-running clock does; Stepped pacing
// counts the box's clock in samples from 0 at the start. A device clock that runs off by some
// ppm (setClockDrift) makes every period that much shorter (faster) or longer, from the next
// sample on. RealTime pacing hands a reader that fell behind the newest sample and at most
// `backlog` older ones before it (the others are lost); Stepped pacing hands exactly the samples
// released by step(), whenever they were released.
//
// Threads: every member from any thread; awaitTurn blocks the calling thread (the reader's worker).
class SimulatedStream {
  public:
    enum class Pacing { RealTime, Stepped };

    struct Clocking {
        std::vector<int64_t> period100ns;  // per native type
        // The exact rate per native type (frames a second, a ratio), where the period in 100 ns
        // is rounded; empty: the periods are exact.
        std::vector<std::pair<uint32_t, uint32_t>> rates;
        uint32_t lead = 0;
        uint64_t backlog = 0;
        // Steps released while stopped wait for the next start (true) or are dropped by it.
        bool stepsSurviveStart = true;
    };

    // The sample a pull may produce: its number in the stream, the native type it is of, when on
    // the box's clock it begins (100 ns) and, in real time, when it was due (complete).
    struct Turn {
        uint64_t number = 0;
        uint32_t typeIndex = 0;
        int64_t boxTime100ns = 0;
        // Its period's number on the box's clock (the count from the clock's zero in real time,
        // the sample number when stepped), and the period's length in nanoseconds.
        uint64_t boxIndex = 0;
        double periodNs = 0;
        std::chrono::steady_clock::time_point due{};
    };

    SimulatedStream(Pacing pacing, Clocking clocking);

    Pacing pacing() const { return pacing_; }

    platform::HRESULT stop();
    platform::HRESULT shutdown();
    // MF_E_SHUTDOWN once shut down, S_OK before.
    platform::HRESULT usable() const;
    platform::HRESULT currentIndex(uint32_t* index) const;
    platform::HRESULT select(uint32_t index);
    platform::HRESULT start();
    void stopStream();
    void cancel();
    void step(uint32_t samples);

    void stall();
    void unplug();
    void end();
    void changeType();
    void clearFaults();
    // The device's clock runs `ppm` parts per million fast (positive) or slow, until changed;
    // clearFaults sets it right again.
    void setClockDrift(int32_t ppm);
    int32_t clockDrift() const;

    bool streaming() const;
    bool isShutDown() const;
    uint32_t nativeIndex() const;
    std::chrono::steady_clock::time_point startTime() const;
    // Samples a slow reader never got (RealTime).
    uint64_t lost() const;

    // Waits up to timeoutMs for the next sample of the running stream. S_OK with *turn set: the
    // sample is the caller's to produce; S_OK with *streamFlags set: the stream ended or changed
    // its type (no sample); S_FALSE: cancelled or timed out; MF_E_SHUTDOWN or
    // MF_E_DEVICE_NOT_CONNECTED.
    platform::HRESULT awaitTurn(uint32_t timeoutMs, Turn* turn, uint32_t* streamFlags);

  private:
    using Clock = std::chrono::steady_clock;
    // Under the lock: a due sample taken into *turn, or when the next one is due.
    bool takeDue(Turn* turn, Clock::time_point* nextDue);
    void restartClock();
    // Under the lock: the current type's period with the drift, and the times of sample n.
    double periodNsOf(uint32_t index) const;
    int64_t boxNsOf(uint64_t n) const;
    Clock::time_point dueOf(uint64_t n) const;

    const Pacing pacing_;
    const Clocking clocking_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    uint32_t nativeIndex_ = 0;
    bool running_ = false;
    bool ended_ = false;
    bool stalled_ = false;
    bool unplugged_ = false;
    bool shutDown_ = false;
    bool cancelled_ = false;
    bool typeChangePending_ = false;
    uint64_t released_ = 0;
    uint64_t number_ = 0;
    uint64_t lost_ = 0;
    Clock::time_point startTime_;
    // The stream's clock: sample anchorNumber_ begins at anchorTime_, which is anchorBoxNs_ on
    // the box's clock, and every sample after it one periodNs_ later. A drift change moves the
    // anchor to the next sample, so that no sample jumps.
    uint64_t firstIndex_ = 0;  // the box clock's period number of sample 0
    uint64_t anchorNumber_ = 0;
    Clock::time_point anchorTime_;
    int64_t anchorBoxNs_ = 0;
    double periodNs_ = 0;
    int32_t driftPpm_ = 0;
};

}  // namespace tovrel::sim
