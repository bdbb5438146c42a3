#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/media_source.h"
#include "platform/media/sample_pool.h"

namespace tovrel::platform {

// A V4L2 capture node as a media source with one video stream. Its native types are the
// node's formats, frame sizes and frame intervals in the order the driver enumerates them;
// streaming uses mmap buffers, dequeued on the reader's worker thread and copied into pooled
// samples (the driver's buffer goes straight back to the queue), stamped in 100 ns from the
// first frame of the stream.
// Threads: as MediaSource documents; the node's descriptor is guarded by one lock, and a
// blocking wait happens in poll() outside it so cancelPull can wake it through a pipe.
class V4l2MediaSource final : public MediaSource {
  public:
    // Opens the node and reads its types; null when it cannot be opened or is not a capture node.
    static std::shared_ptr<V4l2MediaSource> open(const std::string& devicePath, HRESULT* result);
    ~V4l2MediaSource() override;

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

    const std::string& devicePath() const { return devicePath_; }

    // Lists the node's native types (used by open; exposed for the enumerator's tests).
    static HRESULT enumerateTypes(int fd, std::vector<MediaType>* types,
                                  std::vector<uint32_t>* pixelFormats);

  private:
    V4l2MediaSource(std::string devicePath, int fd);
    HRESULT applyFormatLocked(uint32_t index);
    HRESULT startLocked();
    void stopLocked();

    struct MappedBuffer {
        void* address = nullptr;
        size_t length = 0;
    };

    const std::string devicePath_;
    std::mutex mutex_;
    int fd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::vector<MediaType> types_;
    std::vector<uint32_t> pixelFormats_;  // per type
    uint32_t nativeIndex_ = 0;
    bool formatApplied_ = false;
    bool streaming_ = false;
    bool shutDown_ = false;
    bool haveFirstStamp_ = false;
    int64_t firstStamp100ns_ = 0;
    std::vector<MappedBuffer> buffers_;
    std::unique_ptr<SamplePool> pool_;
};

}  // namespace tovrel::platform
