#pragma once

#include <string>
#include <vector>

#include "platform/audio/capture_endpoints.h"

namespace tovrel::platform {

// The sound server's capture sources as capture endpoints, named by their description like the
// capture devices (PulseCaptureEnumerator), monitors left out. Volume is set on every channel in
// decibels; a level above the server's own interface maximum (+11 dB) is refused with
// E_INVALIDARG, as a device endpoint refuses a level outside its range. Each call opens its own
// connection and waits a bounded time for the answer. Any thread.
// Answers: S_OK; E_INVALIDARG for a name no source has (or no server to list them) or a level
// out of range; E_FAIL when the server refuses or does not answer in time, logged through the
// debug output with pa_strerror's text ("No such entity", "Access denied", "Connection refused").
class PulseCaptureEndpoints final : public CaptureEndpoints {
  public:
    std::vector<std::string> EnumAudioEndpoints() override;
    HRESULT SetMasterVolumeLevel(const std::string& friendlyName, float levelDb) override;
    HRESULT SetMute(const std::string& friendlyName, bool mute) override;
    HRESULT GetVolumeRange(const std::string& friendlyName, float* minimumDb, float* maximumDb,
                           float* incrementDb) override;
    HRESULT GetMasterVolumeLevel(const std::string& friendlyName, float* levelDb) override;
    HRESULT GetMute(const std::string& friendlyName, bool* mute) override;
};

}  // namespace tovrel::platform
