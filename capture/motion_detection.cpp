#include "capture/motion_detection.h"

#include <cstring>

#include "imaging/byte_image_ops.h"

namespace tovrel::capture {

void detectMotion(uint8_t* frame, uint8_t* previousFrame, uint8_t* diffFrame, int32_t stride,
                  uint32_t height) {
    using C = MotionConstants;
    if (frame == nullptr || previousFrame == nullptr || diffFrame == nullptr ||
        stride < C::kBlockBytes)
        return;
    const imaging::Size whole{stride, static_cast<int32_t>(height)};
    imaging::absoluteDifference(previousFrame, stride, frame, stride, diffFrame, stride, whole);
    imaging::copyPlane(frame, stride, previousFrame, stride, whole);

    const int64_t frameBytes = static_cast<int64_t>(stride) * height;
    const int32_t bands = static_cast<int32_t>(height / C::kBlockRows) - 1;
    const int32_t positions = stride / 8;
    const imaging::Size block{C::kBlockBytes, C::kBlockRows};
    for (int32_t i = 0; i < bands; ++i) {
        for (int32_t j = 0; j < positions; ++j) {
            const int64_t offset = static_cast<int64_t>(C::kBlockRows) * i * stride + 16LL * j;
            // The addressing walks into the next row for j >= stride/16 and stays inside the
            // frame because the last band is never scanned; the test only guards that.
            if (offset + static_cast<int64_t>(C::kBlockRows - 1) * stride + C::kBlockBytes >
                frameBytes)
                continue;
            int64_t count = 0;
            imaging::countInRange(diffFrame + offset, stride, block, &count, C::kLowerBound,
                                  C::kUpperBound);
            if (count <= C::kBlockThreshold) continue;
            uint8_t* out = frame + offset;
            std::memset(out, 0, C::kBlockBytes);
            std::memset(out + static_cast<int64_t>(C::kBlockRows - 1) * stride, 0, C::kBlockBytes);
            for (int32_t row = 1; row < C::kBlockRows - 1; ++row) {
                uint8_t* line = out + static_cast<int64_t>(row) * stride;
                std::memset(line, 0, C::kOutlineSideBytes);
                std::memset(line + C::kBlockBytes - C::kOutlineSideBytes, 0, C::kOutlineSideBytes);
            }
        }
    }
}

}  // namespace tovrel::capture
