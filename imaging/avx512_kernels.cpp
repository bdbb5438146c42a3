// The AVX-512 path: the AVX2 table with the primitives that gain from 64-byte vectors replaced.
// BGRA-to-NV12 is bound by its single-precision arithmetic, which must stay operation for
// operation the reference's, so only wider lanes make it faster. This file alone is compiled with
// -mavx512f -mavx512bw -mavx512vl and runs only after the processor (and the system's saving of the
// wide registers) was checked; like the AVX2 file it calls nothing inline from other files.
// GCC 12's AVX-512 headers pass deliberately undefined vectors as the merge source of unmasked
// operations, which its own -Wmaybe-uninitialized then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include "imaging/kernel_table.h"

namespace tovrel::imaging::detail {
namespace {

struct Channels {
    __m512 b, g, r;
};

// Channel bytes of 16 pixels moved to the low byte of their 32-bit lanes, as floats.
inline __attribute__((always_inline)) Channels channelsOf(__m512i pixels) {
    const __m512i toB = _mm512_broadcast_i32x4(
        _mm_setr_epi8(0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1, -1));
    const __m512i toG = _mm512_broadcast_i32x4(
        _mm_setr_epi8(1, -1, -1, -1, 5, -1, -1, -1, 9, -1, -1, -1, 13, -1, -1, -1));
    const __m512i toR = _mm512_broadcast_i32x4(
        _mm_setr_epi8(2, -1, -1, -1, 6, -1, -1, -1, 10, -1, -1, -1, 14, -1, -1, -1));
    return Channels{
        _mm512_cvtepi32_ps(_mm512_shuffle_epi8(pixels, toB)),
        _mm512_cvtepi32_ps(_mm512_shuffle_epi8(pixels, toG)),
        _mm512_cvtepi32_ps(_mm512_shuffle_epi8(pixels, toR)),
    };
}

// Same operations in the same order as the reference, so the single-precision results match.
// The results lie in 16..235, so narrowing them to bytes needs no saturation.
inline __attribute__((always_inline)) __m128i lumaOf(const Channels& c) {
    const __m512 y =
        _mm512_add_ps(_mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(_mm512_set1_ps(0.257f), c.r),
                                                  _mm512_mul_ps(_mm512_set1_ps(0.504f), c.g)),
                                    _mm512_mul_ps(_mm512_set1_ps(0.098f), c.b)),
                      _mm512_set1_ps(16.5f));
    return _mm512_cvtepi32_epi8(_mm512_cvttps_epi32(y));
}

// Sums over the 16 2 x 2 blocks of 32 columns (a: columns 0-15, b: 16-31) of two rows, in
// column order.
inline __attribute__((always_inline)) __m512 blockSums(__m512 top0, __m512 bottom0, __m512 top1,
                                                       __m512 bottom1) {
    const __m512i even =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i odd =
        _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    const __m512 a = _mm512_add_ps(top0, bottom0);
    const __m512 b = _mm512_add_ps(top1, bottom1);
    return _mm512_add_ps(_mm512_permutex2var_ps(a, even, b), _mm512_permutex2var_ps(a, odd, b));
}

// U and V of 16 blocks as byte pairs (both lie in 16..241).
inline __attribute__((always_inline)) __m256i chromaOf(__m512 sumB, __m512 sumG, __m512 sumR) {
    const __m512 quarter = _mm512_set1_ps(0.25f);
    const __m512 half = _mm512_set1_ps(0.5f);
    const __m512 base = _mm512_set1_ps(512.0f);
    const __m512 u = _mm512_add_ps(
        _mm512_mul_ps(
            _mm512_add_ps(_mm512_sub_ps(_mm512_sub_ps(_mm512_mul_ps(_mm512_set1_ps(0.439f), sumB),
                                                      _mm512_mul_ps(_mm512_set1_ps(0.148f), sumR)),
                                        _mm512_mul_ps(_mm512_set1_ps(0.291f), sumG)),
                          base),
            quarter),
        half);
    const __m512 v = _mm512_add_ps(
        _mm512_mul_ps(
            _mm512_sub_ps(
                _mm512_add_ps(_mm512_sub_ps(base, _mm512_mul_ps(_mm512_set1_ps(0.071f), sumB)),
                              _mm512_mul_ps(_mm512_set1_ps(0.439f), sumR)),
                _mm512_mul_ps(_mm512_set1_ps(0.368f), sumG)),
            quarter),
        half);
    return _mm512_cvtepi32_epi16(
        _mm512_or_si512(_mm512_cvttps_epi32(u), _mm512_slli_epi32(_mm512_cvttps_epi32(v), 8)));
}

// The first `columns` (even, 2..32) of 32 columns of two rows. Masked loads and stores touch
// only those columns' bytes, so the row tail takes the same road as the full blocks.
inline __attribute__((always_inline)) void bgraToNv12Block32(const uint8_t* s0, const uint8_t* s1,
                                                             uint8_t* y0, uint8_t* y1, uint8_t* uv,
                                                             int32_t columns) {
    const __mmask32 columnMask =
        columns == 32 ? ~__mmask32{0} : static_cast<__mmask32>((uint32_t{1} << columns) - 1);
    // 4 bytes per column: the first load holds columns 0-15, the second 16-31.
    const auto bytesOf = [](uint32_t lowColumns) {
        return lowColumns >= 16 ? ~__mmask64{0} : (__mmask64{1} << (4 * lowColumns)) - 1;
    };
    const uint32_t low = static_cast<uint32_t>(columns < 16 ? columns : 16);
    const uint32_t high = static_cast<uint32_t>(columns) - low;
    const __mmask64 lowBytes = bytesOf(low);
    const __mmask64 highBytes = bytesOf(high);
    const Channels t0 = channelsOf(_mm512_maskz_loadu_epi8(lowBytes, s0));
    const Channels t1 = channelsOf(_mm512_maskz_loadu_epi8(highBytes, s0 + 64));
    const Channels b0 = channelsOf(_mm512_maskz_loadu_epi8(lowBytes, s1));
    const Channels b1 = channelsOf(_mm512_maskz_loadu_epi8(highBytes, s1 + 64));
    const __mmask16 lowColumns = static_cast<__mmask16>(columnMask);
    const __mmask16 highColumns = static_cast<__mmask16>(columnMask >> 16);
    _mm_mask_storeu_epi8(y0, lowColumns, lumaOf(t0));
    _mm_mask_storeu_epi8(y0 + 16, highColumns, lumaOf(t1));
    _mm_mask_storeu_epi8(y1, lowColumns, lumaOf(b0));
    _mm_mask_storeu_epi8(y1 + 16, highColumns, lumaOf(b1));
    _mm256_mask_storeu_epi8(
        uv, columnMask,
        chromaOf(blockSums(t0.b, b0.b, t1.b, b1.b), blockSums(t0.g, b0.g, t1.g, b1.g),
                 blockSums(t0.r, b0.r, t1.r, b1.r)));
}

void convertBgraToNv12(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dstY, ptrdiff_t dstYStep,
                       uint8_t* dstUV, ptrdiff_t dstUVStep, int32_t width, int32_t height) {
    const int32_t vectorEnd = width & ~31;
    for (int32_t row = 0; row < height; row += 2) {
        const uint8_t* s0 = src + row * srcStep;
        const uint8_t* s1 = s0 + srcStep;
        uint8_t* y0 = dstY + row * dstYStep;
        uint8_t* y1 = y0 + dstYStep;
        uint8_t* uv = dstUV + (row / 2) * dstUVStep;
        for (int32_t x = 0; x < vectorEnd; x += 32) {
            bgraToNv12Block32(s0 + 4 * x, s1 + 4 * x, y0 + x, y1 + x, uv + x, 32);
        }
        if (vectorEnd < width) {
            bgraToNv12Block32(s0 + 4 * vectorEnd, s1 + 4 * vectorEnd, y0 + vectorEnd,
                              y1 + vectorEnd, uv + vectorEnd, width - vectorEnd);
        }
    }
}

}  // namespace

const KernelTable& avx512Kernels() {
    static const KernelTable table = [] {
        KernelTable t = avx2Kernels();
        t.convertBgraToNv12 = convertBgraToNv12;
        return t;
    }();
    return table;
}

}  // namespace tovrel::imaging::detail
