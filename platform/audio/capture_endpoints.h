#pragma once

#include <string>
#include <vector>

#include "platform/system/hresult.h"

namespace tovrel::platform {

// The active audio capture endpoints and their master volume and mute: the sound server's
// sources on Linux (in decibels), an in-memory list for the simulated box and tests.
// Calls come from the thread that runs the box controls; implementations lock their own state.
class CaptureEndpoints {
  public:
    virtual ~CaptureEndpoints() = default;
    // Friendly names of the active capture endpoints, in the server's order.
    virtual std::vector<std::string> EnumAudioEndpoints() = 0;
    virtual HRESULT SetMasterVolumeLevel(const std::string& friendlyName, float levelDb) = 0;
    virtual HRESULT SetMute(const std::string& friendlyName, bool mute) = 0;
    // The range a level may take, in decibels, and its step.
    virtual HRESULT GetVolumeRange(const std::string& friendlyName, float* minimumDb,
                                   float* maximumDb, float* incrementDb) = 0;
    virtual HRESULT GetMasterVolumeLevel(const std::string& friendlyName, float* levelDb) = 0;
    virtual HRESULT GetMute(const std::string& friendlyName, bool* mute) = 0;
};

}  // namespace tovrel::platform
