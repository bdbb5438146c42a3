#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "device/kelm_uvc_library.h"
#include "platform/audio/capture_endpoints.h"
#include "platform/system/clock.h"
#include "platform/system/named_lock.h"

namespace tovrel::device {

// The changes the full program makes to the box: picture values, volume and mute (to the box's
// registers and to its audio capture endpoint), the audio source, the defaults and the two
// recording notices. Each call is one complete register operation (identify, writes, close) on a
// transport of its own, so no handle outlives it; the ones the Settings window starts hold the
// "Norvik" lock around the whole sequence, endpoint call included.
// Any thread, one call at a time per thread; the lock serialises the locked calls.
class BoxControls {
  public:
    enum class AudioSource : uint8_t { Hdmi, LineIn };

    struct Defaults {
        static constexpr int kVolumeEndpointOffset = 155;  // the endpoint's 0 dB on the slider
    };

    // `endpoints` may be null: the endpoint calls are then skipped.
    BoxControls(KelmUvcLibrary& library, platform::Clock& clock,
                platform::CaptureEndpoints* endpoints);

    // Brightness, Contrast, Hue, Saturation or Sharpness (their register numbers).
    bool setPictureValue(uint8_t reg, int value);
    bool setVolume(int value);
    bool setMute(int muted);
    bool restoreDefaults();
    // No lock: the menu's commands, which cannot run while the Settings window is open.
    bool setAudioSource(AudioSource source);
    AudioSource readAudioSource();

    // The recording start notice: sends RecordStart once per recording when the box has a
    // register interface; `recordNoticeSent` is set once the write was made. The lock is taken
    // only while a Settings window is open.
    void RecordStart(bool registerCapable, bool settingsOpen, int32_t& recordNoticeSent);
    // The stop notice; not sent to a PX40, which does not take it.
    void RecordStop(bool registerCapable, bool px40, bool settingsOpen);

    // The endpoint level for a slider value: value - 155 dB, never below 0.
    static float endpointLevelDb(int volume);
    // Endpoints that belong to the box, by friendly name (case-sensitive).
    static bool isBoxEndpoint(std::string_view friendlyName);

    platform::NamedLock& lock() { return lock_; }

  private:
    struct Write {
        uint8_t reg;
        int value;
    };
    template <size_t N>
    bool writeAll(const std::array<Write, N>& writes);
    void endpointVolume(int volume);
    void endpointMute(bool muted);

    KelmUvcLibrary& library_;
    platform::Clock& clock_;
    platform::CaptureEndpoints* endpoints_;
    platform::NamedLock lock_;
};

}  // namespace tovrel::device
