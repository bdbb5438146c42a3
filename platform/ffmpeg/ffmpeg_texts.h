#pragma once

#include <string_view>

namespace tovrel::platform {

// The FFmpeg writer's texts, all for the debug output.
struct FfmpegTexts {
    static constexpr std::string_view kDevice = "FFmpeg writer";
    static constexpr std::string_view kEncoderChosen = "video encoder chosen:";
    static constexpr std::string_view kEncoderUnavailable = "video encoder not usable:";
    static constexpr std::string_view kNoVideoEncoder = "no video encoder could be opened";
    static constexpr std::string_view kNoAudioEncoder = "the audio encoder could not be opened";
    static constexpr std::string_view kDropped = "dropped while the encoder was behind:";
    static constexpr std::string_view kWriteFailed = "writing the file failed";
    // The closing account: "video frames written N, dropped N, repeated N; largest audio gap
    // filled N ms".
    static constexpr std::string_view kAccount = "video frames written";
};

}  // namespace tovrel::platform
