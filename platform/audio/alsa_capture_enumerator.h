#pragma once

#include <string>
#include <vector>

#include "platform/media/media_device_enumerator.h"

namespace tovrel::platform {

// The audio capture devices of ALSA itself, for a machine without a sound server: the PCMs
// ALSA's name hints list for input (IOID "Input" or none), named like the sound server names
// its sources, by their description's first line (for a card "Norvik USB Audio Device, USB
// Audio"). A card's several PCMs with one description are one device, under the first name the
// hints give (its "sysdefault", which converts and shares). Left out: "null" and "default",
// and the plugins that are no device (the sound-server bridges "pulse", "pipewire", "jack",
// the rate converters, the channel mixers). The endpoint id is the PCM name; activating a
// device probes its format and opens an AlsaCaptureSource.
// Logged through the debug output: snd_device_name_hint failing (snd_strerror), a PCM that
// does not open for capture when activated (AlsaCaptureSource::probe).
// GUI thread.
class AlsaCaptureEnumerator final : public MediaDeviceEnumerator {
  public:
    struct PcmInfo {
        std::string name;
        std::string description;
    };
    // The capture PCMs as listed above, cards' first.
    static std::vector<PcmInfo> listPcms();

    HRESULT EnumDeviceSources(const Attributes& attributes,
                              std::vector<std::unique_ptr<Activate>>* devices) override;
};

}  // namespace tovrel::platform
