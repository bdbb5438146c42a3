#pragma once

#include <cstdint>

#include "imaging/image_geometry.h"

// Plain byte-image operations of motion detection and the renderers. Region widths count bytes;
// steps are the distance between row starts and must cover the row. Pure functions over
// caller-owned memory: safe from any thread on separate memory.

namespace tovrel::imaging {

// dst = |src1 - src2| for every byte of the region.
int absoluteDifference(const uint8_t* src1, int32_t step1, const uint8_t* src2, int32_t step2,
                       uint8_t* dst, int32_t dstStep, Size size);

// Copies the region row by row; bytes between the rows of dst are left untouched.
int copyPlane(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, Size size);

// Counts the bytes v with lower <= v <= upper over the region and stores the total in *count.
// lower > upper is an invalid argument: nothing is counted or stored.
int countInRange(const uint8_t* src, int32_t step, Size size, int64_t* count, uint8_t lower,
                 uint8_t upper);

// Counts the same bytes per block of 16 bytes by size.height rows: counts[k] for bytes
// [16k, 16k + 16) of every row. size.width is a multiple of 16 and size.height at most 15, so
// every count fits a byte; other sizes are unsupported and nothing is stored.
int countInRangeBlocks(const uint8_t* src, int32_t step, Size size, uint8_t* counts, uint8_t lower,
                       uint8_t upper);

}  // namespace tovrel::imaging
