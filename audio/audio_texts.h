#pragma once

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
};

}  // namespace tovrel::audio
