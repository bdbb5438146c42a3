#pragma once

#include <string_view>

namespace tovrel::audio {

// The debug-output texts of audio capture and the monitor, each written from one place.
struct AudioTexts {
    // Audio read callback.
    static constexpr std::string_view kTypeChange =
        "Type change - not supported by WAVE file format.";
    static constexpr std::string_view kEndOfInput = "End of input file.";
    static constexpr std::string_view kNoSample = "Audio No sample";
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
