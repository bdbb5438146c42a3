#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/image_geometry.h"
#include "imaging/scaler_description.h"

// One implementation of every primitive over arguments the public functions have validated:
// pointers valid, sizes at or above the minimum and already rounded as each primitive rounds,
// steps long enough. Internal to the imaging library.

namespace tovrel::imaging::detail {

struct KernelTable {
    void (*absoluteDifference)(const uint8_t* src1, ptrdiff_t step1, const uint8_t* src2,
                               ptrdiff_t step2, uint8_t* dst, ptrdiff_t dstStep, int32_t width,
                               int32_t height);
    void (*copyPlane)(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                      int32_t width, int32_t height);
    int64_t (*countInRange)(const uint8_t* src, ptrdiff_t step, int32_t width, int32_t height,
                            uint8_t lower, uint8_t upper);
    // blocks >= 1 blocks of 16 bytes, 1 <= rows <= 15; counts[k] for bytes [16k, 16k + 16).
    void (*countInRangeBlocks)(const uint8_t* src, ptrdiff_t step, int32_t blocks, int32_t rows,
                               uint8_t lower, uint8_t upper, uint8_t* counts);
    // Any width >= 2.
    void (*convertYuy2ToBgra)(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
                              ptrdiff_t dstStep, int32_t width, int32_t height, uint8_t alpha);
    // The same, and the same bytes into copy; the vector paths write both around the cache where
    // the rows are aligned for it.
    void (*convertYuy2ToBgraAndCopy)(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
                                     ptrdiff_t dstStep, uint8_t* copy, ptrdiff_t copyStep,
                                     int32_t width, int32_t height, uint8_t alpha);
    // Even width.
    void (*packPlanar422ToYuy2)(const uint8_t* y, ptrdiff_t yStep, const uint8_t* u,
                                ptrdiff_t uStep, const uint8_t* v, ptrdiff_t vStep, uint8_t* dst,
                                ptrdiff_t dstStep, int32_t width, int32_t height);
    // Even width: the packed frame into yuy2 and its conversion into bgra and copy. The AVX2 path
    // converts from the registers it packed into and writes all three around the cache where the
    // rows are aligned for it; the SSE2 path packs a row through the cache and converts it.
    void (*packPlanar422ToYuy2AndConvert)(const uint8_t* y, ptrdiff_t yStep, const uint8_t* u,
                                          ptrdiff_t uStep, const uint8_t* v, ptrdiff_t vStep,
                                          uint8_t* yuy2, ptrdiff_t yuy2Step, uint8_t* bgra,
                                          ptrdiff_t bgraStep, uint8_t* copy, ptrdiff_t copyStep,
                                          int32_t width, int32_t height, uint8_t alpha);
    // Even width and height.
    void (*convertYuy2ToNv12)(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dstY,
                              ptrdiff_t dstYStep, uint8_t* dstUV, ptrdiff_t dstUVStep,
                              int32_t width, int32_t height);
    // Even width, any height: row r takes UV row r / 2.
    void (*convertNv12ToYuy2)(const uint8_t* y, ptrdiff_t yStep, const uint8_t* uv,
                              ptrdiff_t uvStep, uint8_t* dst, ptrdiff_t dstStep, int32_t width,
                              int32_t height);
    void (*convertBgraToNv12)(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dstY,
                              ptrdiff_t dstYStep, uint8_t* dstUV, ptrdiff_t dstUVStep,
                              int32_t width, int32_t height);
    // Region inside the description's destination; work as scalerWorkBytes(dstSize.width).
    void (*scaleBgra)(const ScalerView& view, const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
                      ptrdiff_t dstStep, Point dstOffset, Size dstSize, void* work);
};

const KernelTable& referenceKernels();
const KernelTable& sse2Kernels();
const KernelTable& avx2Kernels();
const KernelTable& avx512Kernels();  // avx2Kernels() with its AVX-512 replacements

// The AVX2 scaler with another vertical pass, for wider paths that keep its horizontal pass and
// its filtered-row layout (see avx2_kernels.cpp): combineRow(top, bottom, rowWeights, dst, width)
// writes one destination row of width pixels and nothing past it.
using ScalerCombineRow = void (*)(const int32_t* top, const int32_t* bottom, int32_t rowWeights,
                                  uint8_t* dst, int32_t width);
void scaleBgraAvx2With(const ScalerView& view, const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
                       ptrdiff_t dstStep, Point dstOffset, Size dstSize, void* work,
                       ScalerCombineRow combineRow);

// The table of the active path.
const KernelTable& activeKernels();

// Work buffer bytes for a destination region width (vector paths keep two rows of
// horizontally filtered values, 16 bytes per pixel each, room for a last partial vector, and
// alignment room; then the AVX2 path's source windows).
inline constexpr int64_t kScalerSlotSlack = 128;
inline int64_t scalerSlotsBytes(int32_t dstWidth) {
    return 2 * (static_cast<int64_t>(dstWidth) * 16 + kScalerSlotSlack) + 64;
}
// After the rows, the AVX2 path keeps per group of 4 destination columns a source window start
// and two 32-byte gather masks, with alignment room.
inline int64_t scalerWindowBytes(int32_t dstWidth) {
    const int64_t groups = (static_cast<int64_t>(dstWidth) + 3) / 4;
    return groups * (64 + 4) + 64;
}
inline int64_t scalerWorkBytes(int32_t dstWidth) {
    return scalerSlotsBytes(dstWidth) + scalerWindowBytes(dstWidth);
}

}  // namespace tovrel::imaging::detail
