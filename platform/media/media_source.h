#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/media/media_type.h"
#include "platform/media/presentation_descriptor.h"
#include "platform/media/sample.h"
#include "platform/media/video_proc_amp.h"

namespace tovrel::platform {

// What a source's stream answers to one pull of the source reader.
struct SourceReadResult {
    HRESULT status = S_OK;     // a failure (MF_E_DEVICE_NOT_CONNECTED ...) ends the stream
    uint32_t streamFlags = 0;  // MF_SOURCE_READERF_ENDOFSTREAM, _NATIVEMEDIATYPECHANGED ...
    int64_t timestamp100ns = 0;
    std::shared_ptr<Sample> sample;  // null with flags or failures
};

// An activated capture device (video or audio). The first three calls are the ones the capture
// logic makes, on the GUI thread. The rest is the seam a SourceReader drives: the reader calls
// it from its own worker thread (pullSample, cancelPull from any thread), and a backend
// implements only this to plug a device into the generic reader.
// Lifetime: shared by the activation's holder and the readers created on it; Shutdown makes
// every later call fail with MF_E_SHUTDOWN.
class MediaSource {
  public:
    virtual ~MediaSource() = default;

    virtual HRESULT CreatePresentationDescriptor(
        std::unique_ptr<PresentationDescriptor>* descriptor);
    virtual HRESULT Stop() = 0;
    virtual HRESULT Shutdown() = 0;
    // The device's picture controls, or null for a source without them (audio, most doubles).
    // Owned by the source; GUI thread.
    virtual VideoProcAmp* videoProcAmp() { return nullptr; }

    // --- source reader seam ---
    virtual uint32_t streamCount() = 0;
    // The native types of a stream, in the device's order.
    virtual HRESULT nativeTypes(uint32_t stream, std::vector<MediaType>* types) = 0;
    // Index into nativeTypes() of the type the stream delivers.
    virtual HRESULT currentNativeIndex(uint32_t stream, uint32_t* index) = 0;
    // Switches the stream to native type `index`; a running stream restarts in it.
    virtual HRESULT selectNativeType(uint32_t stream, uint32_t index) = 0;
    // Starts producing samples (idempotent); stopStream halts and drops what is queued.
    virtual HRESULT startStream(uint32_t stream) = 0;
    virtual HRESULT stopStream(uint32_t stream) = 0;
    // Waits at most `timeoutMs` for the stream's next sample. S_OK fills `result`; S_FALSE means
    // nothing arrived in time (or cancelPull was called); a failure means the source is gone.
    virtual HRESULT pullSample(uint32_t stream, uint32_t timeoutMs, SourceReadResult* result) = 0;
    // Wakes a pullSample waiting on this stream. Any thread.
    virtual void cancelPull(uint32_t stream) = 0;
};

}  // namespace tovrel::platform
