#pragma once

#include "platform/audio/alsa_capture_enumerator.h"
#include "platform/audio/pulse_capture_enumerator.h"

namespace tovrel::platform {

// The audio capture devices of this machine: the sound server's sources when a server answers
// (PulseAudio or PipeWire's Pulse service), ALSA's capture PCMs when none does. A server that
// answers with no source lists nothing: ALSA's PCMs then route to that same server.
// GUI thread.
class AudioCaptureEnumerator final : public MediaDeviceEnumerator {
  public:
    HRESULT EnumDeviceSources(const Attributes& attributes,
                              std::vector<std::unique_ptr<Activate>>* devices) override {
        HRESULT hr = pulse_.EnumDeviceSources(attributes, devices);
        if (FAILED(hr) || pulse_.serverAnswered()) return hr;
        return alsa_.EnumDeviceSources(attributes, devices);
    }

  private:
    PulseCaptureEnumerator pulse_;
    AlsaCaptureEnumerator alsa_;
};

}  // namespace tovrel::platform
