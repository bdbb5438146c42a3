#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/audio/audio_client_codes.h"
#include "platform/audio/audio_render_client.h"
#include "platform/audio/wave_format.h"

namespace tovrel::platform {

// One playback stream on an output device, in the shape of the platform's audio client:
// ask whether a format is taken (with the device's closest match when it is not), initialise
// with a buffer duration and a periodicity in 100 ns units, then start and keep the device
// buffer topped up through the render client. Frame counts are in the initialised format.
// Called by one thread, the one that drives playback.
class AudioClient {
  public:
    virtual ~AudioClient() = default;

    // S_OK when the device plays `format` as it is. Otherwise AUDCLNT_E_UNSUPPORTED_FORMAT (or
    // S_FALSE) and, when the device has one, its closest match in `closestMatch`.
    virtual HRESULT IsFormatSupported(AudioShareMode shareMode, const WaveFormatExtensible& format,
                                      std::optional<WaveFormatExtensible>* closestMatch) = 0;
    // AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED when the device needs another duration; GetBufferSize
    // then answers the aligned frame count, and the client must be released and a new one
    // activated for the retry.
    virtual HRESULT Initialize(AudioShareMode shareMode, uint32_t streamFlags,
                               int64_t bufferDuration100ns, int64_t periodicity100ns,
                               const WaveFormatExtensible& format) = 0;
    virtual HRESULT GetBufferSize(uint32_t* numBufferFrames) = 0;
    // Frames queued in the device buffer and not yet played.
    virtual HRESULT GetCurrentPadding(uint32_t* numPaddingFrames) = 0;
    virtual HRESULT GetService(std::unique_ptr<AudioRenderClient>* renderClient) = 0;
    virtual HRESULT Start() = 0;
    virtual HRESULT Stop() = 0;
};

}  // namespace tovrel::platform
