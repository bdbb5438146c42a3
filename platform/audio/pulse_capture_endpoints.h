#pragma once

#include <string>
#include <vector>

#include "platform/audio/capture_endpoints.h"

namespace tovrel::platform {

// The sound server's capture sources as capture endpoints, named by their description like the
// capture devices (PulseCaptureEnumerator), monitors left out. Volume is set on every channel in
// decibels and read as the loudest channel's. Each call opens its own connection and waits a
// bounded time for the answer. Any thread.
//
// The range. A source's volume has no lower end in decibels (its scale runs down to silence at
// minus infinity), so the range is defined here: kMinimumLevelDb, the server's unity gain (0 dB,
// what the desktop shows as 100 %), to kMaximumLevelDb, the top of the server's own interface
// scale (+11 dB, PA_VOLUME_UI_MAX). Why not from silence up: callers turn a percentage p into
// p × (maximum − minimum) / 100 dB, some adding the minimum and some not; with the minimum at
// 0 dB both give the same level, inside the range for every p from 0 to 100. A level outside
// the range is refused with E_INVALIDARG, as a device endpoint refuses one; a level set below
// 0 dB elsewhere (the desktop's mixer) is still read back as it is. The increment is the
// server's finest step at 0 dB. The server keeps volumes in whole steps: a level is stored as
// the nearest step at or above it, so reading it back never gives less than was set and a
// percentage survives the round trip. A source turned fully down reads as its lowest step's level,
// never as -infinity.
//
// Answers: S_OK; E_POINTER for a null argument; E_INVALIDARG for a name no source has (or no
// server to list them) or a level out of range; E_FAIL when the server refuses or does not answer
// in time, logged through the debug output with pa_strerror's text ("No such entity", "Access
// denied", "Connection refused").
class PulseCaptureEndpoints final : public CaptureEndpoints {
  public:
    static constexpr float kMinimumLevelDb = 0.0f;
    static constexpr float kMaximumLevelDb = 11.0f;

    std::vector<std::string> EnumAudioEndpoints() override;
    HRESULT SetMasterVolumeLevel(const std::string& friendlyName, float levelDb) override;
    HRESULT SetMute(const std::string& friendlyName, bool mute) override;
    HRESULT GetVolumeRange(const std::string& friendlyName, float* minimumDb, float* maximumDb,
                           float* incrementDb) override;
    HRESULT GetMasterVolumeLevel(const std::string& friendlyName, float* levelDb) override;
    HRESULT GetMute(const std::string& friendlyName, bool* mute) override;
};

}  // namespace tovrel::platform
