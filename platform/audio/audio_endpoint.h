#pragma once

#include <memory>

#include "platform/audio/audio_client.h"

namespace tovrel::platform {

// An output device. Activate makes a new, uninitialised client on it each time.
// Called by the thread that drives playback.
class AudioEndpoint {
  public:
    virtual ~AudioEndpoint() = default;
    virtual HRESULT Activate(std::unique_ptr<AudioClient>* client) = 0;
};

}  // namespace tovrel::platform
