#include "imaging/byte_image_ops.h"

#include "imaging/kernel_table.h"

namespace tovrel::imaging {

int absoluteDifference(const uint8_t* src1, int32_t step1, const uint8_t* src2, int32_t step2,
                       uint8_t* dst, int32_t dstStep, Size size) {
    if (src1 == nullptr || src2 == nullptr || dst == nullptr) return kNullPointer;
    if (size.width < 1 || size.height < 1) return kSizeTooSmall;
    if (step1 < size.width || step2 < size.width || dstStep < size.width) return kStepTooShort;
    detail::activeKernels().absoluteDifference(src1, step1, src2, step2, dst, dstStep, size.width,
                                               size.height);
    return kDone;
}

int copyPlane(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, Size size) {
    if (src == nullptr || dst == nullptr) return kNullPointer;
    if (size.width < 1 || size.height < 1) return kSizeTooSmall;
    if (srcStep < size.width || dstStep < size.width) return kStepTooShort;
    detail::activeKernels().copyPlane(src, srcStep, dst, dstStep, size.width, size.height);
    return kDone;
}

int countInRange(const uint8_t* src, int32_t step, Size size, int64_t* count, uint8_t lower,
                 uint8_t upper) {
    if (src == nullptr || count == nullptr) return kNullPointer;
    if (size.width < 1 || size.height < 1) return kSizeTooSmall;
    if (step < size.width) return kStepTooShort;
    if (lower > upper) return kBoundsReversed;
    *count = detail::activeKernels().countInRange(src, step, size.width, size.height, lower, upper);
    return kDone;
}

int countInRangeBlocks(const uint8_t* src, int32_t step, Size size, uint8_t* counts, uint8_t lower,
                       uint8_t upper) {
    if (src == nullptr || counts == nullptr) return kNullPointer;
    if (size.width < 16 || size.height < 1) return kSizeTooSmall;
    if (size.width % 16 != 0) return kUnsupported;
    if (size.height > 15) return kSizeTooLarge;
    if (step < size.width) return kStepTooShort;
    if (lower > upper) return kBoundsReversed;
    detail::activeKernels().countInRangeBlocks(src, step, size.width / 16, size.height, lower,
                                               upper, counts);
    return kDone;
}

}  // namespace tovrel::imaging
