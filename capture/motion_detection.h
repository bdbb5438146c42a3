#pragma once

#include <cstdint>

namespace tovrel::capture {

// Changed-block outlines for the live picture. All frames are packed YUY2 of `stride` bytes
// per row and `height` rows.
struct MotionConstants {
    static constexpr int32_t kBlockBytes = 16;  // 8 pixels of YUY2
    static constexpr int32_t kBlockRows = 8;
    static constexpr uint8_t kLowerBound = 9;  // a byte differs when |P - F| >= 9
    static constexpr uint8_t kUpperBound = 255;
    static constexpr int64_t kBlockThreshold = 12;  // motion: more than 12 differing bytes
    static constexpr int32_t kOutlineSideBytes = 4;
};

// Compares `frame` with `previousFrame` byte by byte into `diffFrame`, makes `frame` the new
// previous frame and draws a zero-byte outline into `frame` around every block with motion.
// Bands i = 0 .. height/8 - 2 (the last band of 8 rows is never scanned); within a band, block
// j = 0 .. stride/8 - 1 starts at byte 8*i*stride + 16*j, which for j >= stride/16 is the same
// band one row lower (every such block still lies inside the frame).
// The caller's thread (the video callback, inside frameLock); allocates nothing.
void detectMotion(uint8_t* frame, uint8_t* previousFrame, uint8_t* diffFrame, int32_t stride,
                  uint32_t height);

}  // namespace tovrel::capture
