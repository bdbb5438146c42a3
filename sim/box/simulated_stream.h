#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/media/media_source.h"

namespace tovrel::sim {

// The stream of a simulated capture device, as its MediaSource calls and the reader's pulls see
// it: started or stopped, the native type it runs, when each sample is due, and the faults that
// act on the whole stream (stall, unplug, end of stream, type change). What a sample holds, and
// the faults of single samples, are the device's own.
//
// Sample n of a native type is due `lead + n` periods after the stream start. RealTime pacing
// hands a reader that fell behind the newest sample and at most `backlog` older ones before it
// (the others are lost); Stepped pacing hands exactly the samples released by step(), whenever
// they were released.
//
// Threads: every member from any thread; awaitTurn blocks the calling thread (the reader's worker).
class SimulatedStream {
  public:
    enum class Pacing { RealTime, Stepped };

    struct Clocking {
        std::vector<int64_t> period100ns;  // per native type
        uint32_t lead = 0;
        uint64_t backlog = 0;
        // Steps released while stopped wait for the next start (true) or are dropped by it.
        bool stepsSurviveStart = true;
    };

    // The sample a pull may produce: its number in the stream and the native type it is of.
    struct Turn {
        uint64_t number = 0;
        uint32_t typeIndex = 0;
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
};

}  // namespace tovrel::sim
