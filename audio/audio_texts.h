#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tovrel::audio {

// The debug-output texts of the audio monitor, each written from one place (the audio read
// callback's are with the capture texts).
struct AudioTexts {
    // Monitor opening the output.
    static constexpr std::string_view kNoDevice = "Can't get IMMDevice.";
    static constexpr std::string_view kNoClient = "Can't get IAudioClient.";
    static constexpr std::string_view kClosestPcm = "PCM";
    static constexpr std::string_view kClosestFloat = "FLOAT";
    static constexpr std::string_view kUnsupportedFormat =
        "Audio device doesn't support the requested format.";
    static constexpr std::string_view kFormatQueryFailed = "IsFormatSupported failed.";
    static constexpr std::string_view kInitializeFailed = "Initialize failed.";
    static constexpr std::string_view kStartFailed = "Fail starting playback.";

    // The monitor's delay, once a minute while it plays: queued in the device, waiting in the
    // ring, and what was dropped since the last report to keep it from creeping.
    static std::string delayReport(uint32_t deviceMs, uint32_t ringMs, uint32_t droppedMs) {
        return "Monitor delay " + std::to_string(deviceMs + ringMs) + " ms (device " +
               std::to_string(deviceMs) + " ms, ring " + std::to_string(ringMs) + " ms), " +
               std::to_string(droppedMs) + " ms dropped in the last minute.";
    }
};

}  // namespace tovrel::audio
