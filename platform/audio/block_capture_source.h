#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/media/media_source.h"
#include "platform/media/sample_pool.h"

namespace tovrel::platform {

// An audio capture device that records integer PCM in 10 ms blocks: a single stream whose one
// native type is PCM at the given rate, channels and depth. Started, it records on a thread of
// its own into a queue of at most one second (older blocks are dropped when nobody reads),
// stamped in 100 ns from the frames recorded since the stream start. A block that cannot be
// read ends the stream with MF_E_DEVICE_NOT_CONNECTED. The backends (sound server, ALSA) supply
// only opening, reading and closing.
// Threads: the MediaSource calls as documented there; the three recording calls run on the
// recording thread. A derived class calls Shutdown() in its destructor, so that the recording
// thread has ended before the derived part goes.
class BlockCaptureSource : public MediaSource {
  public:
    ~BlockCaptureSource() override;

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

    uint32_t rate() const { return rate_; }
    uint32_t channels() const { return channels_; }
    uint32_t bitsPerSample() const { return bits_; }
    uint32_t blockFrames() const { return blockFrames_; }
    uint32_t blockBytes() const { return blockFrames_ * channels_ * (bits_ / 8); }

  protected:
    BlockCaptureSource(uint32_t rate, uint32_t channels, uint32_t bits);

    // Recording thread. Opens the device for one run; false ends the run at once.
    virtual bool openRecording() = 0;
    // Fills exactly blockBytes() at `target`; false when the device is gone.
    virtual bool readBlock(uint8_t* target) = 0;
    virtual void closeRecording() = 0;

  private:
    void recordLoop();
    void stopRecording();

    const uint32_t rate_;
    const uint32_t channels_;
    const uint32_t bits_;
    const uint32_t blockFrames_;

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
