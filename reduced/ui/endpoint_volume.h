#pragma once

#include <cstdint>

#include "platform/audio/capture_endpoints.h"

namespace tovrel::reduced::ui {

// The box's capture endpoint volume and mute as the reduced Settings window uses them: every
// active capture endpoint whose name holds one of the box's words is set; a read answers the
// last of them in the server's order. The volume is a percentage of the endpoint's dB range,
// measured from its minimum, 0 to 100 both ways. Without a matching endpoint (or without
// endpoints at all) the reads answer 0 and not muted, and the writes change nothing.
// The thread of the window that uses it.
class EndpointVolume {
  public:
    static constexpr int32_t kMaximum = 100;

    // `endpoints` may be null; it outlives this object.
    explicit EndpointVolume(platform::CaptureEndpoints* endpoints) : endpoints_(endpoints) {}

    int32_t getVolume() const;
    void setVolume(int32_t percent);
    bool getMute() const;
    void setMute(bool mute);

    // The conversions, pure: level in dB for a percentage of [minimumDb, maximumDb], and back
    // (truncated, clamped to 0..100).
    static float levelForPercent(int32_t percent, float minimumDb, float maximumDb);
    static int32_t percentForLevel(float levelDb, float minimumDb, float maximumDb);

  private:
    platform::CaptureEndpoints* endpoints_;
};

}  // namespace tovrel::reduced::ui
