#pragma once

#include <cstdint>

#include "imaging/image_geometry.h"

// Conversions between the four picture layouts of the pipeline: packed YUY2 (Y0 U Y1 V per pixel
// pair), planar 4:2:2 (separate Y, U, V planes, every row present), BGRA, and NV12 (Y plane plus
// one interleaved U,V row per two image rows). Sizes count pixels, steps count bytes. Results are
// exact: every code path gives the same bytes. Pure functions: safe from any thread.

namespace tovrel::imaging {

// BT.601 limited range to BGRA, 16.16 fixed point. Width at least 2. For an odd width the last
// pixel, which has no V byte of its own, takes the chroma of the pair before it.
int convertYuy2ToBgra(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, Size size,
                      uint8_t alpha);

// convertYuy2ToBgra into dst, and the same bytes into copy (which must not overlap dst), in one
// pass; with rows aligned for it, both are written around the cache, for frames that this thread
// does not read again.
int convertYuy2ToBgraAndCopy(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                             uint8_t* copy, int32_t copyStep, Size size, uint8_t alpha);

// planes/planeSteps: Y, U, V. The width is rounded down to even (at least 2 remain).
int packPlanar422ToYuy2(const uint8_t* const planes[3], const int32_t planeSteps[3], uint8_t* dst,
                        int32_t dstStep, Size size);

// packPlanar422ToYuy2 into yuy2 and convertYuy2ToBgraAndCopy of the packed frame into bgra and
// copy, in one pass over the rows, so that the packed frame does not make a round trip through
// memory before its conversion; with rows aligned for it, the outputs are written around the
// cache. The width must be even (an odd one is unsupported: nothing is written).
int packPlanar422ToYuy2AndConvert(const uint8_t* const planes[3], const int32_t planeSteps[3],
                                  uint8_t* yuy2, int32_t yuy2Step, uint8_t* bgra, int32_t bgraStep,
                                  uint8_t* copy, int32_t copyStep, Size size, uint8_t alpha);

// Width and height are rounded down to even (at least 2 x 2 remain). The chroma of each UV row
// comes from the even source row only.
int convertYuy2ToNv12(const uint8_t* src, int32_t srcStep, uint8_t* dstY, int32_t dstYStep,
                      uint8_t* dstUV, int32_t dstUVStep, Size size);

// NV12 to packed YUY2, each UV row serving the two luma rows it was sampled from (row r takes
// UV row r / 2, so an odd height needs (height + 1) / 2 UV rows). The width is rounded down to
// even (at least 2 remain); any height of at least 1.
int convertNv12ToYuy2(const uint8_t* srcY, int32_t srcYStep, const uint8_t* srcUV,
                      int32_t srcUVStep, uint8_t* dst, int32_t dstStep, Size size);

// BT.601 limited range, single precision with truncation; only complete 2 x 2 blocks are
// converted (width and height rounded down to even, at least 2 x 2 remain).
int convertBgraToNv12(const uint8_t* src, int32_t srcStep, uint8_t* dstY, int32_t dstYStep,
                      uint8_t* dstUV, int32_t dstUVStep, Size size);

}  // namespace tovrel::imaging
