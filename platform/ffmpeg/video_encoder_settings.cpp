#include "platform/ffmpeg/video_encoder_settings.h"

#include "platform/media/mf_guids.h"

namespace tovrel::platform {

HRESULT VideoEncoderSettings::fromTypes(const MediaType& output, const MediaType& input,
                                        VideoEncoderSettings* settings) {
    VideoEncoderSettings s;
    Guid subtype;
    if (FAILED(output.GetGUID(MF_MT_SUBTYPE, &subtype))) return MF_E_INVALIDMEDIATYPE;
    if (subtype == MFVideoFormat_H264) {
        s.codec = Codec::kH264;
    } else if (subtype == MFVideoFormat_HEVC) {
        s.codec = Codec::kHevc;
    } else {
        return MF_E_INVALIDMEDIATYPE;
    }
    if (FAILED(MFGetAttributeSize(&output, MF_MT_FRAME_SIZE, &s.width, &s.height)) ||
        s.width == 0 || s.height == 0 || s.width % 2 != 0 || s.height % 2 != 0) {
        return MF_E_INVALIDMEDIATYPE;
    }
    if (FAILED(MFGetAttributeRatio(&output, MF_MT_FRAME_RATE, &s.frameRateNumerator,
                                   &s.frameRateDenominator)) ||
        s.frameRateNumerator == 0 || s.frameRateDenominator == 0) {
        return MF_E_INVALIDMEDIATYPE;
    }
    output.GetUINT32(MF_MT_AVG_BITRATE, &s.averageBitRate);
    output.GetUINT32(MF_MT_MPEG2_PROFILE, &s.profile);
    output.GetUINT32(MF_MT_MPEG2_LEVEL, &s.level);
    output.GetUINT32(CODECAPI_AVEncMPVGOPSize, &s.gopSize);
    uint32_t mode = 0;
    if (SUCCEEDED(output.GetUINT32(CODECAPI_AVEncCommonRateControlMode, &mode)))
        s.qualityRateControl = mode == eAVEncCommonRateControlMode_Quality;
    uint32_t lowLatency = 0;
    if (SUCCEEDED(output.GetUINT32(CODECAPI_AVLowLatencyMode, &lowLatency)))
        s.lowLatency = lowLatency != 0;

    Guid inputSubtype;
    uint32_t inputWidth = 0;
    uint32_t inputHeight = 0;
    if (FAILED(input.GetGUID(MF_MT_SUBTYPE, &inputSubtype)) || inputSubtype != MFVideoFormat_NV12)
        return MF_E_INVALIDMEDIATYPE;
    if (SUCCEEDED(MFGetAttributeSize(&input, MF_MT_FRAME_SIZE, &inputWidth, &inputHeight)) &&
        (inputWidth != s.width || inputHeight != s.height)) {
        return MF_E_INVALIDMEDIATYPE;
    }
    uint32_t stride = 0;
    s.lumaStride = SUCCEEDED(input.GetUINT32(MF_MT_DEFAULT_STRIDE, &stride))
                       ? static_cast<int32_t>(stride)
                       : static_cast<int32_t>(s.width);
    if (s.lumaStride < static_cast<int32_t>(s.width)) return MF_E_INVALIDMEDIATYPE;
    *settings = s;
    return S_OK;
}

int64_t VideoEncoderSettings::frameDuration100ns() const {
    return static_cast<int64_t>(10'000'000) * frameRateDenominator / frameRateNumerator;
}

}  // namespace tovrel::platform
