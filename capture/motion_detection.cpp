#include "capture/motion_detection.h"

#include <algorithm>
#include <cstring>

#include "imaging/byte_image_ops.h"

namespace tovrel::capture {

namespace {

using C = MotionConstants;

void drawOutline(uint8_t* out, int32_t stride) {
    std::memset(out, 0, C::kBlockBytes);
    std::memset(out + static_cast<int64_t>(C::kBlockRows - 1) * stride, 0, C::kBlockBytes);
    for (int32_t row = 1; row < C::kBlockRows - 1; ++row) {
        uint8_t* line = out + static_cast<int64_t>(row) * stride;
        std::memset(line, 0, C::kOutlineSideBytes);
        std::memset(line + C::kBlockBytes - C::kOutlineSideBytes, 0, C::kOutlineSideBytes);
    }
}

// Any stride: whole-frame difference and copy, then one count per block.
void detectMotionAnyStride(uint8_t* frame, uint8_t* previousFrame, uint8_t* diffFrame,
                           int32_t stride, uint32_t height) {
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
            if (count > C::kBlockThreshold) drawOutline(frame + offset, stride);
        }
    }
}

// A stride of whole blocks: the blocks j >= stride/16 of band i are the blocks of rows 8i+1 ..
// 8i+8, so a band is two rows of block counts. The frame is differenced and copied band by band
// just ahead of the counts, while the rows are still in the cache; an outline only ever touches
// rows that were already differenced and copied, so the result is the whole-frame order's.
void detectMotionBlockStride(uint8_t* frame, uint8_t* previousFrame, uint8_t* diffFrame,
                             int32_t stride, uint32_t height) {
    const int32_t rows = static_cast<int32_t>(height);
    int32_t ready = 0;
    const auto prepareRows = [&](int32_t end) {
        if (end <= ready) return;
        const int64_t offset = static_cast<int64_t>(ready) * stride;
        const imaging::Size part{stride, end - ready};
        imaging::absoluteDifference(previousFrame + offset, stride, frame + offset, stride,
                                    diffFrame + offset, stride, part);
        imaging::copyPlane(frame + offset, stride, previousFrame + offset, stride, part);
        ready = end;
    };

    constexpr int32_t kChunkBlocks = 256;
    uint8_t counts[kChunkBlocks];
    const int32_t blocksPerRow = stride / C::kBlockBytes;
    const int32_t bands = rows / C::kBlockRows - 1;
    for (int32_t i = 0; i < bands; ++i) {
        prepareRows(C::kBlockRows * i + C::kBlockRows + 1);
        for (int32_t shift = 0; shift < 2; ++shift) {
            const int64_t rowOffset = static_cast<int64_t>(C::kBlockRows * i + shift) * stride;
            for (int32_t first = 0; first < blocksPerRow; first += kChunkBlocks) {
                const int32_t n = std::min(kChunkBlocks, blocksPerRow - first);
                const int64_t offset = rowOffset + static_cast<int64_t>(C::kBlockBytes) * first;
                imaging::countInRangeBlocks(diffFrame + offset, stride,
                                            imaging::Size{C::kBlockBytes * n, C::kBlockRows},
                                            counts, C::kLowerBound, C::kUpperBound);
                for (int32_t k = 0; k < n; ++k) {
                    if (counts[k] > C::kBlockThreshold)
                        drawOutline(frame + offset + static_cast<int64_t>(C::kBlockBytes) * k,
                                    stride);
                }
            }
        }
    }
    prepareRows(rows);
}

}  // namespace

void detectMotion(uint8_t* frame, uint8_t* previousFrame, uint8_t* diffFrame, int32_t stride,
                  uint32_t height) {
    if (frame == nullptr || previousFrame == nullptr || diffFrame == nullptr ||
        stride < C::kBlockBytes || height == 0)
        return;
    if (stride % C::kBlockBytes == 0) {
        detectMotionBlockStride(frame, previousFrame, diffFrame, stride, height);
    } else {
        detectMotionAnyStride(frame, previousFrame, diffFrame, stride, height);
    }
}

}  // namespace tovrel::capture
