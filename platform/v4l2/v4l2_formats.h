#pragma once

#include <linux/videodev2.h>

#include <array>
#include <cstdint>

#include "platform/media/guid.h"
#include "platform/media/mf_guids.h"

namespace tovrel::platform {

// V4L2 pixel formats with the subtypes the media layer knows them by. Formats not listed keep
// their own FourCC as the subtype, so they still appear in a device's native types.
struct V4l2FormatName {
    uint32_t pixelFormat;
    Guid subtype;
};

inline constexpr std::array<V4l2FormatName, 4> kV4l2Formats{{
    {V4L2_PIX_FMT_YUYV, MFVideoFormat_YUY2},
    {V4L2_PIX_FMT_MJPEG, MFVideoFormat_MJPG},
    {V4L2_PIX_FMT_JPEG, MFVideoFormat_MJPG},
    {V4L2_PIX_FMT_NV12, MFVideoFormat_NV12},
}};

constexpr Guid subtypeOfPixelFormat(uint32_t pixelFormat) {
    for (const V4l2FormatName& format : kV4l2Formats) {
        if (format.pixelFormat == pixelFormat) return format.subtype;
    }
    return fourccGuid(
        static_cast<char>(pixelFormat & 0xFF), static_cast<char>((pixelFormat >> 8) & 0xFF),
        static_cast<char>((pixelFormat >> 16) & 0xFF), static_cast<char>(pixelFormat >> 24));
}

}  // namespace tovrel::platform
