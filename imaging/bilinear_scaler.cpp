#include "imaging/bilinear_scaler.h"

#include <limits>

#include "imaging/kernel_table.h"
#include "imaging/scaler_description.h"

namespace tovrel::imaging {
namespace {

// Largest source width whose rows fit a 32-bit step.
constexpr int32_t kMaxSourceWidth = std::numeric_limits<int32_t>::max() / 4;

int checkSizes(Size src, Size dst) {
    if (src.width < 2 || src.height < 2 || dst.width < 0 || dst.height < 0) return kSizeTooSmall;
    if (src.width > kMaxSourceWidth) return kSizeTooLarge;
    if (detail::scalerDescriptionBytes(src, dst) < 0) return kSizeTooLarge;
    return kDone;
}

}  // namespace

int scalerQuerySizes(Size srcSize, Size dstSize, Interpolation interpolation, bool antialias,
                     int32_t* descriptionBytes, int32_t* initBytes) {
    if (descriptionBytes == nullptr || initBytes == nullptr) return kNullPointer;
    if (interpolation != Interpolation::kLinear || antialias) return kUnsupported;
    if (const int status = checkSizes(srcSize, dstSize); status != kDone) return status;
    *descriptionBytes = static_cast<int32_t>(detail::scalerDescriptionBytes(srcSize, dstSize));
    *initBytes = 0;
    return kDone;
}

int scalerInit(Size srcSize, Size dstSize, void* description) {
    if (description == nullptr) return kNullPointer;
    if (const int status = checkSizes(srcSize, dstSize); status != kDone) return status;
    detail::buildScalerDescription(srcSize, dstSize, description);
    return kDone;
}

int scalerQueryWorkSize(const void* description, Size dstSize, int32_t channels,
                        int32_t* workBytes) {
    if (description == nullptr || workBytes == nullptr) return kNullPointer;
    const detail::ScalerView view = detail::scalerView(description);
    if (view.header == nullptr) return kBadDescription;
    if (channels != 4) return kUnsupported;
    if (dstSize.width < 0 || dstSize.height < 0) return kSizeTooSmall;
    if (dstSize.width > view.header->dst.width || dstSize.height > view.header->dst.height) {
        return kOffsetOutside;
    }
    const int64_t bytes = detail::scalerWorkBytes(dstSize.width);
    if (bytes > std::numeric_limits<int32_t>::max()) return kSizeTooLarge;
    *workBytes = static_cast<int32_t>(bytes);
    return kDone;
}

int scaleBgra(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, Point dstOffset,
              Size dstSize, BorderKind border, const uint8_t*, const void* description,
              void* work) {
    if (src == nullptr || dst == nullptr || description == nullptr || work == nullptr) {
        return kNullPointer;
    }
    if (border != BorderKind::kReplicate) return kUnsupported;
    const detail::ScalerView view = detail::scalerView(description);
    if (view.header == nullptr) return kBadDescription;
    if (dstSize.width < 0 || dstSize.height < 0) return kSizeTooSmall;
    const Size full = view.header->dst;
    if (dstOffset.x < 0 || dstOffset.y < 0 || int64_t{dstOffset.x} + dstSize.width > full.width ||
        int64_t{dstOffset.y} + dstSize.height > full.height) {
        return kOffsetOutside;
    }
    if (srcStep < 4 * int64_t{view.header->src.width} || dstStep < 4 * int64_t{dstSize.width}) {
        return kStepTooShort;
    }
    if (dstSize.width == 0 || dstSize.height == 0) return kDone;
    detail::activeKernels().scaleBgra(view, src, srcStep, dst, dstStep, dstOffset, dstSize, work);
    return kDone;
}

}  // namespace tovrel::imaging
