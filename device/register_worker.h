#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tovrel::device {

// One thread that runs register work in the order it was queued, so that a box that is slow to
// answer (a ready wait takes at least 200 ms per command write, about 5 s when the box never
// becomes idle) holds up only the work behind it, never the window that asked for it.
// A job queued under a nonzero key replaces the queued, not yet started job of the same key and
// takes the end of the queue: a slider dragged across its range leaves one write per register
// waiting, the newest value, while every other job keeps its order relative to it.
// post() and idle() from any thread; the jobs run on the worker, started with the first job.
// The destructor runs what is still queued, then joins.
class RegisterWorker {
  public:
    using Job = std::function<void()>;

    RegisterWorker() = default;
    ~RegisterWorker();
    RegisterWorker(const RegisterWorker&) = delete;
    RegisterWorker& operator=(const RegisterWorker&) = delete;

    void post(Job job, uint32_t key = 0);
    // Nothing queued and nothing running.
    bool idle() const;
    // Jobs queued and not started.
    size_t queued() const;

  private:
    struct Entry {
        uint32_t key;
        Job job;
    };
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Entry> queue_;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tovrel::device
