#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/media_source.h"
#include "platform/media/sample_pool.h"
#include "platform/v4l2/v4l2_node.h"
#include "platform/v4l2/v4l2_system_calls.h"
#include "platform/v4l2/v4l2_video_proc_amp.h"

namespace tovrel::platform {

// A V4L2 capture node as a media source with one video stream. Its native types are the
// node's formats, frame sizes and frame intervals in the order the driver enumerates them;
// streaming uses mmap buffers, dequeued on the reader's worker thread and copied into pooled
// samples (the driver's buffer goes straight back to the queue), stamped in 100 ns from the
// first frame of the stream.
// Every system call goes through a V4l2SystemCalls (the kernel's, or a test's fake), and a
// failing one is logged through the debug output.
//
// Results beyond MediaSource's: MF_E_DEVICE_NOT_CONNECTED when the node went away (ENODEV,
// ENXIO, EIO), E_OUTOFMEMORY when the driver grants no buffer, otherwise the errno as
// HRESULT_FROM_WIN32-style 0x8007xxxx; MF_E_INVALIDMEDIATYPE when the driver answers a format
// with another one. A buffer the driver refuses to take back is logged and the stream goes on
// with the others; once none is left, the next pull fails with the refusal. What a node claims is
// not trusted: a frame is never copied beyond the buffer it came in, and a stream restarts in
// the chosen format even when the driver changed it meanwhile.
// Threads: as MediaSource documents; the node's descriptor is guarded by one lock, and a
// blocking wait happens in poll() outside it so cancelPull can wake it through a pipe.
class V4l2MediaSource final : public MediaSource {
  public:
    // The buffers asked of the driver; it may grant fewer.
    static constexpr uint32_t kBufferCount = 4;

    // Opens the node and reads its types; null when it cannot be opened (*result the errno's
    // HRESULT) or is not a capture node (MF_E_INVALIDREQUEST).
    static std::shared_ptr<V4l2MediaSource> open(const std::string& devicePath, HRESULT* result);
    static std::shared_ptr<V4l2MediaSource> open(V4l2SystemCalls& calls,
                                                 const std::string& devicePath, HRESULT* result);
    ~V4l2MediaSource() override;

    HRESULT Stop() override;
    HRESULT Shutdown() override;
    // The node's picture controls (V4l2VideoProcAmp); valid as long as the source.
    VideoProcAmp* videoProcAmp() override { return &procAmp_; }

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
    static HRESULT enumerateTypes(V4l2Node& node, std::vector<MediaType>* types,
                                  std::vector<uint32_t>* pixelFormats);

  private:
    explicit V4l2MediaSource(std::unique_ptr<V4l2Node> node);
    HRESULT applyFormatLocked(uint32_t index);
    // Whether the driver's `format` is native type `index` (pixel format and size).
    bool isChosenFormat(const v4l2_pix_format& format, uint32_t index) const;
    HRESULT startLocked();
    void stopLocked();
    void wake();
    // Hands a dequeued buffer back to the driver, noting a refusal.
    void requeueLocked(v4l2_buffer* buffer);

    struct MappedBuffer {
        void* address = nullptr;
        size_t length = 0;
    };

    const std::string devicePath_;
    std::mutex mutex_;
    std::unique_ptr<V4l2Node> node_;  // null once shut down
    V4l2VideoProcAmp procAmp_{mutex_, node_};
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
    uint32_t buffersQueued_ = 0;  // held by the driver
    HRESULT failure_ = S_OK;      // why the driver can deliver no more frames
    std::unique_ptr<SamplePool> pool_;
};

}  // namespace tovrel::platform
