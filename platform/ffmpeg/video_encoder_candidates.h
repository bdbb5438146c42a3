#pragma once

#include <array>
#include <span>
#include <string_view>

#include "platform/ffmpeg/video_encoder_settings.h"

namespace tovrel::platform {

// The encoders a video stream may use, in the order they are tried: with the hardware-transforms
// attribute set the VAAPI one, then NVENC, each giving way to the next when it cannot open, and
// the software encoder last; without it only the software encoder.
struct VideoEncoderCandidate {
    enum class Kind { kVaapi, kNvenc, kSoftware };
    std::string_view name;
    Kind kind;
};

inline constexpr std::array<VideoEncoderCandidate, 3> kH264Candidates{{
    {"h264_vaapi", VideoEncoderCandidate::Kind::kVaapi},
    {"h264_nvenc", VideoEncoderCandidate::Kind::kNvenc},
    {"libx264", VideoEncoderCandidate::Kind::kSoftware},
}};
inline constexpr std::array<VideoEncoderCandidate, 3> kHevcCandidates{{
    {"hevc_vaapi", VideoEncoderCandidate::Kind::kVaapi},
    {"hevc_nvenc", VideoEncoderCandidate::Kind::kNvenc},
    {"libx265", VideoEncoderCandidate::Kind::kSoftware},
}};

// The candidates to try for a codec, hardware first when preferred.
constexpr std::span<const VideoEncoderCandidate> videoEncoderCandidates(
    VideoEncoderSettings::Codec codec, bool preferHardware) {
    const auto& all =
        codec == VideoEncoderSettings::Codec::kH264 ? kH264Candidates : kHevcCandidates;
    return preferHardware ? std::span<const VideoEncoderCandidate>(all)
                          : std::span<const VideoEncoderCandidate>(all).subspan(all.size() - 1);
}

}  // namespace tovrel::platform
