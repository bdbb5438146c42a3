#pragma once

#include <memory>

#include "platform/audio/audio_endpoint.h"

namespace tovrel::platform {

// Finds the default output device (the console role). E_NOTFOUND when there is none.
// Any thread; each call is independent.
class AudioEndpointEnumerator {
  public:
    virtual ~AudioEndpointEnumerator() = default;
    virtual HRESULT GetDefaultAudioEndpoint(std::unique_ptr<AudioEndpoint>* endpoint) = 0;
};

}  // namespace tovrel::platform
