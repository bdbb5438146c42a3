#pragma once

#include <string>

#include "platform/audio/audio_endpoint_enumerator.h"

namespace tovrel::platform {

// The default output through ALSA: the PCM named "default", which on a desktop routes to the
// sound server (PulseAudio or PipeWire) and otherwise to the first card. ALSA rather than the
// sound server's own API because it reaches every one of those, and snd_pcm_avail gives the
// free room of the playback buffer, from which the queued frames follow.
// The endpoint is "there" when the PCM opens; a closest match is what the device's hardware
// parameters allow nearest to the asked format. Initialize asks for the duration as the buffer
// time and a quarter of it as the period. Start/Stop start and drop the stream; data released
// before Start waits in the buffer. Any thread for the enumerator; each client on one thread.
class AlsaAudioEndpointEnumerator final : public AudioEndpointEnumerator {
  public:
    explicit AlsaAudioEndpointEnumerator(std::string pcmName = "default")
        : pcmName_(std::move(pcmName)) {}

    HRESULT GetDefaultAudioEndpoint(std::unique_ptr<AudioEndpoint>* endpoint) override;

  private:
    std::string pcmName_;
};

}  // namespace tovrel::platform
