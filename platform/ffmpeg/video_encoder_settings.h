#pragma once

#include <cstdint>

#include "platform/media/media_type.h"

namespace tovrel::platform {

// What a video stream's two media types ask of the encoder, read attribute by attribute:
// the output type gives codec, average bit rate, profile, level, frame size and rate, the GOP,
// the rate-control mode and low latency; the input type gives the NV12 layout the samples carry.
// Plain data; any thread.
struct VideoEncoderSettings {
    enum class Codec { kH264, kHevc };

    Codec codec = Codec::kH264;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frameRateNumerator = 0;
    uint32_t frameRateDenominator = 1;
    uint32_t averageBitRate = 0;
    uint32_t profile = 0;  // MF_MT_MPEG2_PROFILE (0: not asked)
    uint32_t level = 0;    // MF_MT_MPEG2_LEVEL: H.264 level × 10, HEVC level × 30 (0: not asked)
    uint32_t gopSize = 0;  // CODECAPI_AVEncMPVGOPSize (0: the encoder's own)
    bool qualityRateControl = false;  // CODECAPI_AVEncCommonRateControlMode = quality
    bool lowLatency = false;          // CODECAPI_AVLowLatencyMode
    int32_t lumaStride = 0;           // bytes per row of the input's luma and chroma planes

    // MF_E_INVALIDMEDIATYPE unless the output is H.264 or HEVC with a frame size and a rate and
    // the input is NV12 of the same size.
    static HRESULT fromTypes(const MediaType& output, const MediaType& input,
                             VideoEncoderSettings* settings);

    // The level as libavcodec and the bitstream count it: H.264 × 10 (41 for 4.1), HEVC × 30
    // (123 for 4.1), which is what MF_MT_MPEG2_LEVEL carries for both.
    int bitstreamLevel() const { return static_cast<int>(level); }
    // The level for x265's "level-idc" (level × 10: 41 for 4.1).
    int x265LevelIdc() const { return static_cast<int>(level / 3); }
    // Nominal frame duration in 100 ns units.
    int64_t frameDuration100ns() const;
};

}  // namespace tovrel::platform
