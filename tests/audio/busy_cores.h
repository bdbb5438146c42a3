#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace tovrel::audio {

// Keeps every core busy while set: one spinning thread per core at the caller's own priority,
// the machine as busy as a build makes it. For the monitor's tests and latency tool. Called by
// one thread.
class BusyCores {
  public:
    BusyCores() = default;
    BusyCores(const BusyCores&) = delete;
    BusyCores& operator=(const BusyCores&) = delete;
    ~BusyCores() { set(false); }

    void set(bool busy) {
        if (busy == !threads_.empty()) return;
        if (busy) {
            stop_ = false;
            const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
            for (unsigned i = 0; i < cores; ++i) {
                threads_.emplace_back([this] {
                    volatile uint64_t spins = 0;
                    while (!stop_.load(std::memory_order_relaxed)) spins = spins + 1;
                });
            }
        } else {
            stop_ = true;
            for (auto& t : threads_) t.join();
            threads_.clear();
        }
    }

  private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

}  // namespace tovrel::audio
