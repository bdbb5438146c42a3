#pragma once

#include <cstdint>
#include <memory>

#include "platform/audio/audio_client_codes.h"
#include "platform/audio/wave_format.h"

namespace tovrel::platform {

// Flag of LoopbackCapture::GetBuffer: the packet is silence whatever its bytes hold.
constexpr uint32_t AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY = 0x1u;

// What the default output plays, captured in the output's own mix format, in the shape of the
// platform's audio client in loopback mode with its capture client: the mix format, Initialize
// with a buffer duration, Start, then packets taken with GetBuffer and given back with
// ReleaseBuffer. Frame counts are in the mix format. Called by one thread, the one that drains it.
class LoopbackCapture {
  public:
    virtual ~LoopbackCapture() = default;

    // The output's mix format. S_OK; AUDCLNT_E_DEVICE_INVALIDATED when the output went away.
    virtual HRESULT GetMixFormat(WaveFormatExtensible* format) = 0;
    // Shared mode, loopback, the mix format. S_OK; AUDCLNT_E_ALREADY_INITIALIZED;
    // AUDCLNT_E_DEVICE_INVALIDATED; E_FAIL when the stream cannot be made (logged).
    virtual HRESULT Initialize(int64_t bufferDuration100ns) = 0;
    // The buffer's size in frames. AUDCLNT_E_NOT_INITIALIZED before Initialize.
    virtual HRESULT GetBufferSize(uint32_t* numBufferFrames) = 0;
    virtual HRESULT Start() = 0;
    virtual HRESULT Stop() = 0;
    // Frames in the next packet, 0 when none is waiting. AUDCLNT_E_DEVICE_INVALIDATED once the
    // output or the server went away.
    virtual HRESULT GetNextPacketSize(uint32_t* numFramesInNextPacket) = 0;
    // The next packet (null data and 0 frames when none is waiting); AUDCLNT_BUFFERFLAGS_SILENT
    // when it is silence. Valid until ReleaseBuffer. AUDCLNT_E_OUT_OF_ORDER while one is held.
    virtual HRESULT GetBuffer(uint8_t** data, uint32_t* numFramesToRead, uint32_t* flags) = 0;
    // Gives the packet back; numFramesRead is all of it or 0 (it is then offered again).
    virtual HRESULT ReleaseBuffer(uint32_t numFramesRead) = 0;
};

// The loopback of the default output (the console role). Any thread.
class LoopbackEndpoints {
  public:
    virtual ~LoopbackEndpoints() = default;
    // A new, uninitialised capture. S_OK; E_NOTFOUND without a default output; E_FAIL without a
    // sound server (logged).
    virtual HRESULT ActivateLoopback(std::unique_ptr<LoopbackCapture>* capture) = 0;
};

}  // namespace tovrel::platform
