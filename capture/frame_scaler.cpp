#include "capture/frame_scaler.h"

#include "imaging/aligned_alloc.h"
#include "imaging/bilinear_scaler.h"
#include "imaging/byte_image_ops.h"

namespace tovrel::capture {

using imaging::Size;

void FrameScaler::Freer::operator()(uint8_t* block) const { imaging::alignedFree(block); }

FrameScaler::FrameScaler() = default;
FrameScaler::~FrameScaler() = default;

bool FrameScaler::prepare(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth,
                          int32_t dstHeight) {
    if (ready_ && srcWidth == srcWidth_ && srcHeight == srcHeight_ && dstWidth == dstWidth_ &&
        dstHeight == dstHeight_)
        return true;
    ready_ = false;
    description_.reset();
    work_.reset();
    srcWidth_ = srcWidth;
    srcHeight_ = srcHeight;
    dstWidth_ = dstWidth;
    dstHeight_ = dstHeight;
    if (dstWidth <= 0 || dstHeight <= 0) return false;
    if (srcWidth == dstWidth && srcHeight == dstHeight) {
        ready_ = true;  // a plain copy needs nothing
        return true;
    }
    const Size src{srcWidth, srcHeight};
    const Size dst{dstWidth, dstHeight};
    int32_t descriptionBytes = 0;
    int32_t initBytes = 0;
    if (imaging::scalerQuerySizes(src, dst, imaging::Interpolation::kLinear, false,
                                  &descriptionBytes, &initBytes) != imaging::kDone)
        return false;
    description_.reset(static_cast<uint8_t*>(imaging::alignedAlloc(descriptionBytes)));
    if (!description_ || imaging::scalerInit(src, dst, description_.get()) != imaging::kDone)
        return false;
    int32_t workBytes = 0;
    if (imaging::scalerQueryWorkSize(description_.get(), dst, 4, &workBytes) != imaging::kDone)
        return false;
    if (workBytes > 0) {
        work_.reset(static_cast<uint8_t*>(imaging::alignedAlloc(workBytes)));
        if (!work_) return false;
    }
    ready_ = true;
    return true;
}

bool FrameScaler::scale(const uint8_t* src, int32_t srcStride, uint8_t* dst,
                        int32_t dstStride) const {
    if (!ready_) return false;
    if (!description_) {
        return imaging::copyPlane(src, srcStride, dst, dstStride,
                                  Size{dstWidth_ * 4, dstHeight_}) == imaging::kDone;
    }
    return imaging::scaleBgra(src, srcStride, dst, dstStride, imaging::Point{0, 0},
                              Size{dstWidth_, dstHeight_}, imaging::BorderKind::kReplicate, nullptr,
                              description_.get(), work_.get()) == imaging::kDone;
}

}  // namespace tovrel::capture
