#pragma once

#include <array>
#include <cstdint>

#include "platform/media/guid.h"
#include "platform/media/mf_guids.h"

namespace tovrel::capture {

// Pixel-format family codes of the video device and the session.
inline constexpr int32_t kFormatYuy2 = 0;
inline constexpr int32_t kFormatMjpg = 1;
inline constexpr int32_t kFormatNv12 = 2;
inline constexpr int32_t kFormatNone = 0xFFFF;
// "No index": the device has no type of that format.
inline constexpr uint32_t kNoIndex = 0xFFFF;

struct FormatFamily {
    int32_t code;
    platform::Guid subtype;
};
inline constexpr std::array<FormatFamily, 3> kFormatFamilies{{
    {kFormatYuy2, platform::MFVideoFormat_YUY2},
    {kFormatMjpg, platform::MFVideoFormat_MJPG},
    {kFormatNv12, platform::MFVideoFormat_NV12},
}};

// One catalogue entry: a native mode of the device in whole frames per second.
struct VideoMode {
    platform::Guid subtype;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frameRate = 0;
};

// Entries per format in the catalogue; native types beyond it are not listed.
inline constexpr int32_t kMaxModesPerFormat = 200;
using VideoModeTable = std::array<VideoMode, kMaxModesPerFormat>;

// The first native type of each format on the device's first stream.
struct FirstFormatIndices {
    uint32_t firstYuy2Index = kNoIndex;
    uint32_t firstMjpgIndex = kNoIndex;
    uint32_t firstNv12Index = kNoIndex;
};

}  // namespace tovrel::capture
