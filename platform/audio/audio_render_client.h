#pragma once

#include <cstdint>

#include "platform/system/hresult.h"

namespace tovrel::platform {

// The write side of an initialised playback stream: GetBuffer lends room for a number of frames
// at the end of the device buffer, ReleaseBuffer queues the frames written there. One
// GetBuffer/ReleaseBuffer pair at a time. Called by the thread that drives playback; must not
// outlive the AudioClient it came from.
class AudioRenderClient {
  public:
    virtual ~AudioRenderClient() = default;

    // Fails with AUDCLNT_E_BUFFER_TOO_LARGE when more frames are asked than are free.
    virtual HRESULT GetBuffer(uint32_t numFramesRequested, uint8_t** data) = 0;
    // AUDCLNT_BUFFERFLAGS_SILENT queues silence whatever the buffer holds.
    virtual HRESULT ReleaseBuffer(uint32_t numFramesWritten, uint32_t flags) = 0;
};

}  // namespace tovrel::platform
