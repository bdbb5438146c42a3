#include "imaging/pixel_conversion.h"

#include "imaging/kernel_table.h"

namespace tovrel::imaging {
namespace {

bool stepCovers(int32_t step, int64_t rowBytes) { return step >= rowBytes; }

}  // namespace

int convertYuy2ToBgra(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, Size size,
                      uint8_t alpha) {
    if (src == nullptr || dst == nullptr) return kNullPointer;
    if (size.width < 2 || size.height < 1) return kSizeTooSmall;
    if (!stepCovers(srcStep, 2 * int64_t{size.width}) ||
        !stepCovers(dstStep, 4 * int64_t{size.width})) {
        return kStepTooShort;
    }
    detail::activeKernels().convertYuy2ToBgra(src, srcStep, dst, dstStep, size.width, size.height,
                                              alpha);
    return kDone;
}

int convertYuy2ToBgraAndCopy(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                             uint8_t* copy, int32_t copyStep, Size size, uint8_t alpha) {
    if (src == nullptr || dst == nullptr || copy == nullptr) return kNullPointer;
    if (size.width < 2 || size.height < 1) return kSizeTooSmall;
    if (!stepCovers(srcStep, 2 * int64_t{size.width}) ||
        !stepCovers(dstStep, 4 * int64_t{size.width}) ||
        !stepCovers(copyStep, 4 * int64_t{size.width})) {
        return kStepTooShort;
    }
    detail::activeKernels().convertYuy2ToBgraAndCopy(src, srcStep, dst, dstStep, copy, copyStep,
                                                     size.width, size.height, alpha);
    return kDone;
}

int packPlanar422ToYuy2(const uint8_t* const planes[3], const int32_t planeSteps[3], uint8_t* dst,
                        int32_t dstStep, Size size) {
    if (planes == nullptr || planeSteps == nullptr || dst == nullptr) return kNullPointer;
    if (planes[0] == nullptr || planes[1] == nullptr || planes[2] == nullptr) return kNullPointer;
    const int32_t width = size.width & ~1;
    if (width < 2 || size.height < 1) return kSizeTooSmall;
    if (!stepCovers(planeSteps[0], width) || !stepCovers(planeSteps[1], width / 2) ||
        !stepCovers(planeSteps[2], width / 2) || !stepCovers(dstStep, 2 * int64_t{width})) {
        return kStepTooShort;
    }
    detail::activeKernels().packPlanar422ToYuy2(planes[0], planeSteps[0], planes[1], planeSteps[1],
                                                planes[2], planeSteps[2], dst, dstStep, width,
                                                size.height);
    return kDone;
}

int packPlanar422ToYuy2AndConvert(const uint8_t* const planes[3], const int32_t planeSteps[3],
                                  uint8_t* yuy2, int32_t yuy2Step, uint8_t* bgra, int32_t bgraStep,
                                  uint8_t* copy, int32_t copyStep, Size size, uint8_t alpha) {
    if (planes == nullptr || planeSteps == nullptr || yuy2 == nullptr || bgra == nullptr ||
        copy == nullptr) {
        return kNullPointer;
    }
    if (planes[0] == nullptr || planes[1] == nullptr || planes[2] == nullptr) return kNullPointer;
    if (size.width < 2 || size.height < 1) return kSizeTooSmall;
    if (size.width % 2 != 0) return kUnsupported;
    const int64_t width = size.width;
    if (!stepCovers(planeSteps[0], width) || !stepCovers(planeSteps[1], width / 2) ||
        !stepCovers(planeSteps[2], width / 2) || !stepCovers(yuy2Step, 2 * width) ||
        !stepCovers(bgraStep, 4 * width) || !stepCovers(copyStep, 4 * width)) {
        return kStepTooShort;
    }
    detail::activeKernels().packPlanar422ToYuy2AndConvert(
        planes[0], planeSteps[0], planes[1], planeSteps[1], planes[2], planeSteps[2], yuy2,
        yuy2Step, bgra, bgraStep, copy, copyStep, size.width, size.height, alpha);
    return kDone;
}

int convertYuy2ToNv12(const uint8_t* src, int32_t srcStep, uint8_t* dstY, int32_t dstYStep,
                      uint8_t* dstUV, int32_t dstUVStep, Size size) {
    if (src == nullptr || dstY == nullptr || dstUV == nullptr) return kNullPointer;
    const int32_t width = size.width & ~1;
    const int32_t height = size.height & ~1;
    if (width < 2 || height < 2) return kSizeTooSmall;
    if (!stepCovers(srcStep, 2 * int64_t{width}) || !stepCovers(dstYStep, width) ||
        !stepCovers(dstUVStep, width)) {
        return kStepTooShort;
    }
    detail::activeKernels().convertYuy2ToNv12(src, srcStep, dstY, dstYStep, dstUV, dstUVStep, width,
                                              height);
    return kDone;
}

int convertNv12ToYuy2(const uint8_t* srcY, int32_t srcYStep, const uint8_t* srcUV,
                      int32_t srcUVStep, uint8_t* dst, int32_t dstStep, Size size) {
    if (srcY == nullptr || srcUV == nullptr || dst == nullptr) return kNullPointer;
    const int32_t width = size.width & ~1;
    if (width < 2 || size.height < 1) return kSizeTooSmall;
    if (!stepCovers(srcYStep, width) || !stepCovers(srcUVStep, width) ||
        !stepCovers(dstStep, 2 * int64_t{width})) {
        return kStepTooShort;
    }
    detail::activeKernels().convertNv12ToYuy2(srcY, srcYStep, srcUV, srcUVStep, dst, dstStep, width,
                                              size.height);
    return kDone;
}

int convertBgraToNv12(const uint8_t* src, int32_t srcStep, uint8_t* dstY, int32_t dstYStep,
                      uint8_t* dstUV, int32_t dstUVStep, Size size) {
    if (src == nullptr || dstY == nullptr || dstUV == nullptr) return kNullPointer;
    const int32_t width = size.width & ~1;
    const int32_t height = size.height & ~1;
    if (width < 2 || height < 2) return kSizeTooSmall;
    if (!stepCovers(srcStep, 4 * int64_t{width}) || !stepCovers(dstYStep, width) ||
        !stepCovers(dstUVStep, width)) {
        return kStepTooShort;
    }
    detail::activeKernels().convertBgraToNv12(src, srcStep, dstY, dstYStep, dstUV, dstUVStep, width,
                                              height);
    return kDone;
}

}  // namespace tovrel::imaging
