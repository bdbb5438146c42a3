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
// Every failing ALSA call is logged through the debug output with the PCM name and
// snd_strerror's text. What the calls answer: GetDefaultAudioEndpoint E_NOTFOUND when the PCM
// does not open (snd_pcm_open: -ENOENT no such PCM, -EBUSY held, -ENODEV gone); Activate the
// same through fromErrno (E_NOTFOUND, E_INVALIDARG, E_OUTOFMEMORY, else
// AUDCLNT_E_DEVICE_INVALIDATED); Initialize AUDCLNT_E_UNSUPPORTED_FORMAT for a format the
// device refuses, AUDCLNT_E_DEVICE_INVALIDATED when the hardware or software parameters cannot
// be set or read back; GetCurrentPadding and Start map snd_pcm_avail/snd_pcm_start failures
// the same way (-EPIPE, a buffer played dry, is prepared again, not a failure); ReleaseBuffer
// answers a write that fails other than -EAGAIN (room full: the rest is dropped) or one -EPIPE.
class AlsaAudioEndpointEnumerator final : public AudioEndpointEnumerator {
  public:
    explicit AlsaAudioEndpointEnumerator(std::string pcmName = "default")
        : pcmName_(std::move(pcmName)) {}

    HRESULT GetDefaultAudioEndpoint(std::unique_ptr<AudioEndpoint>* endpoint) override;

  private:
    std::string pcmName_;
};

}  // namespace tovrel::platform
