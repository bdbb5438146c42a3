#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tovrel::audio {

// Records 16-bit stereo at 48 kHz from a sound-server source (a null sink's monitor) on a thread
// of its own, noting for each block when its last frame was heard (arrival time less the
// recording latency). For tests and the latency tool. Any thread.
class SinkRecorder {
  public:
    struct Block {
        uint64_t endFrame;  // frames recorded up to the end of this block
        std::chrono::steady_clock::time_point heardAt;
    };

    explicit SinkRecorder(std::string sourceName);
    ~SinkRecorder();

    bool start();  // false when the source cannot be recorded
    void stop();

    uint64_t frames() const;
    std::vector<int16_t> samples() const;  // interleaved, everything so far
    std::vector<Block> blocks() const;
    // When frame `frame` was heard, from the block it belongs to.
    std::chrono::steady_clock::time_point heardAt(uint64_t frame) const;

  private:
    void loop();

    std::string source_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<int16_t> samples_;
    std::vector<Block> blocks_;
    void* stream_ = nullptr;
};

}  // namespace tovrel::audio
