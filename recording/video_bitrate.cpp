#include "recording/video_bitrate.h"

#include <algorithm>
#include <cmath>

#include "platform/media/mf_guids.h"

namespace tovrel::recording {

namespace {

// 1920 x 1080 x 2048: the pixel rate at which the HEVC reduction is smallest that still counts.
constexpr uint32_t kHevcReference = 0xFD200000u;

}  // namespace

uint32_t VideoBitrate(uint32_t width, uint32_t height, float frameRate,
                      const platform::Guid& subtype, int32_t quality) {
    const auto fps = static_cast<uint32_t>(frameRate);
    // The product in 32 bits is what the rate has always been computed from; a product that does
    // not fit (no capture mode comes near) is taken whole rather than wrapped into a tiny rate.
    const uint64_t pixelRate = static_cast<uint64_t>(fps) * width * height;
    double rate = std::sqrt(static_cast<double>(pixelRate)) * 1024.0;
    if (subtype == platform::MFVideoFormat_HEVC && pixelRate > 0) {
        // Past the reference rate the divisor would reach 0; 1 is the rule's own limit there
        // (half the rate) and keeps the result finite.
        const uint64_t divisor = std::max<uint64_t>(1, kHevcReference / pixelRate);
        rate = rate - (rate * 0.5) / std::sqrt(static_cast<double>(divisor));
    }
    switch (quality) {
        case 0:
            rate = rate / 3;
            break;
        case 1:
            rate = 2 * rate / 3;
            break;
        case 3:
            rate = rate * 3 * 0.5;
            break;
        case 4:
            rate = 2 * rate;
            break;
        default:
            break;
    }
    return rate >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(rate);
}

}  // namespace tovrel::recording
