#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/media_source.h"
#include "platform/media/sample_pool.h"

namespace tovrel::platform {

// One sound-server source as an audio capture device: a single stream whose one native type is
// the source's PCM format (16-, 24- or 32-bit integer, or 32-bit float as non-PCM) at its rate
// and channel count. Started, it records 10 ms blocks on a thread of its own into a queue of at
// most one second (older blocks are dropped when nobody reads), stamped in 100 ns from the
// frames recorded since the stream start.
// Threads: the MediaSource calls as documented there; the recording thread is internal.
class PulseCaptureSource final : public MediaSource {
  public:
    // `format` is a pa_sample_format_t; formats other than the ones above are recorded as
    // 16-bit integers (the server converts).
    PulseCaptureSource(std::string sourceName, uint32_t rate, uint32_t channels, int format);
    ~PulseCaptureSource() override;

    HRESULT Stop() override;
    HRESULT Shutdown() override;

    uint32_t streamCount() override { return 1; }
    HRESULT nativeTypes(uint32_t stream, std::vector<MediaType>* types) override;
    HRESULT currentNativeIndex(uint32_t stream, uint32_t* index) override;
    HRESULT selectNativeType(uint32_t stream, uint32_t index) override;
    HRESULT startStream(uint32_t stream) override;
    HRESULT stopStream(uint32_t stream) override;
    HRESULT pullSample(uint32_t stream, uint32_t timeoutMs, SourceReadResult* result) override;
    void cancelPull(uint32_t stream) override;

    uint32_t bitsPerSample() const { return bits_; }
    bool isFloat() const { return float_; }

  private:
    void recordLoop();
    void stopRecording();

    const std::string sourceName_;
    const uint32_t rate_;
    const uint32_t channels_;
    int paFormat_ = 0;
    uint32_t bits_ = 16;
    bool float_ = false;
    uint32_t blockFrames_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool running_ = false;
    bool shutDown_ = false;
    bool cancelled_ = false;
    HRESULT failure_ = S_OK;
    struct Block {
        std::shared_ptr<Sample> sample;
        int64_t time100ns;
    };
    std::deque<Block> queue_;
    std::thread recorder_;
    std::unique_ptr<SamplePool> pool_;  // recorder thread only, once started
};

}  // namespace tovrel::platform
