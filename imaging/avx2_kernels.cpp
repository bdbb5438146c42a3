// The AVX2 path. This file alone is compiled with -mavx2 and runs only after the processor was
// checked, so it calls nothing inline or templated from other files that could be merged with a
// baseline copy: tails go to the out-of-line reference rows.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "imaging/kernel_table.h"
#include "imaging/reference_kernels.h"
#include "imaging/scaler_rows.h"

namespace tovrel::imaging::detail {
namespace {

__m256i load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
void store(void* p, __m256i v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
// Around the cache when the caller found the row aligned for it, through it otherwise.
inline __attribute__((always_inline)) void put(void* p, __m256i v, bool stream) {
    if (stream) {
        _mm256_stream_si256(static_cast<__m256i*>(p), v);
    } else {
        store(p, v);
    }
}

void absoluteDifference(const uint8_t* src1, ptrdiff_t step1, const uint8_t* src2, ptrdiff_t step2,
                        uint8_t* dst, ptrdiff_t dstStep, int32_t width, int32_t height) {
    const int32_t vectorEnd = width & ~31;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* a = src1 + row * step1;
        const uint8_t* b = src2 + row * step2;
        uint8_t* d = dst + row * dstStep;
        for (int32_t x = 0; x < vectorEnd; x += 32) {
            const __m256i va = load(a + x);
            const __m256i vb = load(b + x);
            store(d + x, _mm256_or_si256(_mm256_subs_epu8(va, vb), _mm256_subs_epu8(vb, va)));
        }
        reference::absoluteDifferenceRow(a, b, d, vectorEnd, width);
    }
}

// glibc's memcpy already picks the widest moves this processor has.
void copyPlane(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
               int32_t width, int32_t height) {
    if (srcStep == width && dstStep == width) {
        std::memcpy(dst, src, static_cast<size_t>(width) * static_cast<size_t>(height));
        return;
    }
    for (int32_t row = 0; row < height; ++row) {
        std::memcpy(dst + row * dstStep, src + row * srcStep, static_cast<size_t>(width));
    }
}

int64_t horizontalSum64(__m256i v) {
    const __m128i s = _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    return _mm_cvtsi128_si64(s) + _mm_extract_epi64(s, 1);
}

int64_t countInRange(const uint8_t* src, ptrdiff_t step, int32_t width, int32_t height,
                     uint8_t lower, uint8_t upper) {
    // v is in range when (v - lower) mod 256 <= upper - lower.
    const __m256i offset = _mm256_set1_epi8(static_cast<char>(lower));
    const __m256i span = _mm256_set1_epi8(static_cast<char>(upper - lower));
    const int32_t vectorEnd = width & ~31;
    __m256i total = _mm256_setzero_si256();
    int64_t count = 0;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* p = src + row * step;
        int32_t x = 0;
        while (x < vectorEnd) {
            // Byte counters take at most 255 hits each before they are folded into the total.
            const int32_t blockEnd = vectorEnd - x > 255 * 32 ? x + 255 * 32 : vectorEnd;
            __m256i hits = _mm256_setzero_si256();
            for (; x < blockEnd; x += 32) {
                const __m256i shifted = _mm256_sub_epi8(load(p + x), offset);
                const __m256i inside = _mm256_cmpeq_epi8(_mm256_min_epu8(shifted, span), shifted);
                hits = _mm256_sub_epi8(hits, inside);
            }
            total = _mm256_add_epi64(total, _mm256_sad_epu8(hits, _mm256_setzero_si256()));
        }
        count += reference::countInRangeRow(p, vectorEnd, width, lower, upper);
    }
    return count + horizontalSum64(total);
}

void countInRangeBlocks(const uint8_t* src, ptrdiff_t step, int32_t blocks, int32_t rows,
                        uint8_t lower, uint8_t upper, uint8_t* counts) {
    const __m256i offset = _mm256_set1_epi8(static_cast<char>(lower));
    const __m256i span = _mm256_set1_epi8(static_cast<char>(upper - lower));
    const auto hitsOf = [&](const uint8_t* p) {
        // At most 15 rows: a byte counter cannot overflow.
        __m256i hits = _mm256_setzero_si256();
        for (int32_t row = 0; row < rows; ++row) {
            const __m256i shifted = _mm256_sub_epi8(load(p + row * step), offset);
            hits =
                _mm256_sub_epi8(hits, _mm256_cmpeq_epi8(_mm256_min_epu8(shifted, span), shifted));
        }
        const __m256i sums = _mm256_sad_epu8(hits, _mm256_setzero_si256());
        return _mm256_add_epi64(sums, _mm256_srli_si256(sums, 8));  // blocks in dwords 0 and 4
    };
    int32_t k = 0;
    for (; k + 2 <= blocks; k += 2) {
        const __m256i sums = hitsOf(src + 16 * k);
        counts[k] = static_cast<uint8_t>(_mm256_cvtsi256_si32(sums));
        counts[k + 1] = static_cast<uint8_t>(_mm256_extract_epi32(sums, 4));
    }
    if (k < blocks) {
        // The last odd block: a 32-byte load would read past the region.
        const __m128i offset16 = _mm256_castsi256_si128(offset);
        const __m128i span16 = _mm256_castsi256_si128(span);
        __m128i hits = _mm_setzero_si128();
        for (int32_t row = 0; row < rows; ++row) {
            const __m128i shifted = _mm_sub_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + row * step + 16 * k)),
                offset16);
            hits = _mm_sub_epi8(hits, _mm_cmpeq_epi8(_mm_min_epu8(shifted, span16), shifted));
        }
        const __m128i sums = _mm_sad_epu8(hits, _mm_setzero_si128());
        counts[k] =
            static_cast<uint8_t>(_mm_cvtsi128_si32(_mm_add_epi64(sums, _mm_srli_si128(sums, 8))));
    }
}

// 16 pixels: 32 bytes of YUY2 to 64 bytes of BGRA. All products are 16-bit multiply-adds on the
// bytes where they already lie: a 32-bit lane holds one pixel pair (Y0 Y1 for luma, U V for
// chroma), so the chroma terms line up with both pixels of their pair without moving. The
// factors above 16 bits are split: 76284 = 4 * 19071, 104595 = 131072 - 26477,
// 53281 = 65536 - 12255, 132186 = 131072 + 1114.
struct Bgra16 {
    __m256i low, high;  // pixels 0-7, 8-15
};

inline __attribute__((always_inline)) Bgra16 yuy2ToBgra16(__m256i in, __m256i alpha16) {
    const __m256i luma = _mm256_and_si256(in, _mm256_set1_epi16(0x00ff));  // Y0 | Y1 << 16
    const __m256i chroma = _mm256_srli_epi16(in, 8);                       // U | V << 16
    const __m256i vHigh =
        _mm256_and_si256(chroma, _mm256_set1_epi32(static_cast<int>(0xffff0000u)));
    const __m256i cEven = _mm256_slli_epi32(_mm256_madd_epi16(luma, _mm256_set1_epi32(19071)), 2);
    const __m256i cOdd =
        _mm256_slli_epi32(_mm256_madd_epi16(luma, _mm256_set1_epi32(19071 << 16)), 2);
    const __m256i rTerm = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_slli_epi32(vHigh, 1),
                         _mm256_madd_epi16(chroma, _mm256_set1_epi32(-26477 * 65536))),
        _mm256_set1_epi32(-14575936));
    const __m256i gTerm = _mm256_add_epi32(
        _mm256_sub_epi32(
            _mm256_madd_epi16(chroma, _mm256_set1_epi32((12255 << 16) | (-25690 & 0xffff))), vHigh),
        _mm256_set1_epi32(8920512));
    const __m256i bTerm =
        _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(chroma, 17),
                                          _mm256_madd_epi16(chroma, _mm256_set1_epi32(1114))),
                         _mm256_set1_epi32(-18107584));
    // The result of a pixel is the high half of its 32-bit sum: the odd pixel's sum already has
    // it in place, the even pixel's moves down. Values stay within int16; the byte pack clamps.
    const auto channel = [&](__m256i term) {
        return _mm256_blend_epi16(_mm256_srli_epi32(_mm256_add_epi32(cEven, term), 16),
                                  _mm256_add_epi32(cOdd, term), 0xaa);
    };
    const __m256i br = _mm256_packus_epi16(channel(bTerm), channel(rTerm));
    const __m256i ga = _mm256_packus_epi16(channel(gTerm), alpha16);
    const __m256i bg = _mm256_unpacklo_epi8(br, ga);
    const __m256i ra = _mm256_unpackhi_epi8(br, ga);
    const __m256i p0 = _mm256_unpacklo_epi16(bg, ra);
    const __m256i p1 = _mm256_unpackhi_epi16(bg, ra);
    return Bgra16{_mm256_permute2x128_si256(p0, p1, 0x20), _mm256_permute2x128_si256(p0, p1, 0x31)};
}

void convertYuy2ToBgra(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                       int32_t width, int32_t height, uint8_t alpha) {
    const __m256i alpha16 = _mm256_set1_epi16(alpha);
    const int32_t vectorEnd = width & ~15;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* s = src + row * srcStep;
        uint8_t* d = dst + row * dstStep;
        for (int32_t x = 0; x < vectorEnd; x += 16) {
            const Bgra16 p = yuy2ToBgra16(load(s + 2 * x), alpha16);
            store(d + 4 * x, p.low);
            store(d + 4 * x + 32, p.high);
        }
        reference::yuy2ToBgraRow(s, d, vectorEnd, width, width, alpha);
    }
}

void convertYuy2ToBgraAndCopy(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
                              ptrdiff_t dstStep, uint8_t* copy, ptrdiff_t copyStep, int32_t width,
                              int32_t height, uint8_t alpha) {
    const __m256i alpha16 = _mm256_set1_epi16(alpha);
    const int32_t vectorEnd = width & ~15;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* s = src + row * srcStep;
        uint8_t* d = dst + row * dstStep;
        uint8_t* c = copy + row * copyStep;
        const bool aligned =
            ((reinterpret_cast<uintptr_t>(d) | reinterpret_cast<uintptr_t>(c)) & 31) == 0;
        for (int32_t x = 0; x < vectorEnd; x += 16) {
            const Bgra16 p = yuy2ToBgra16(load(s + 2 * x), alpha16);
            put(d + 4 * x, p.low, aligned);
            put(d + 4 * x + 32, p.high, aligned);
            put(c + 4 * x, p.low, aligned);
            put(c + 4 * x + 32, p.high, aligned);
        }
        reference::yuy2ToBgraRow(s, d, vectorEnd, width, width, alpha);
        std::memcpy(c + 4 * vectorEnd, d + 4 * vectorEnd,
                    4 * static_cast<size_t>(width - vectorEnd));
    }
    _mm_sfence();
}

// Packs 32 pixels of the three planes into two YUY2 vectors (pixels 0-15, 16-31).
inline __attribute__((always_inline)) void pack32(const uint8_t* py, const uint8_t* pu,
                                                  const uint8_t* pv, __m256i* first,
                                                  __m256i* second) {
    const __m256i luma = load(py);
    const __m128i cu = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pu));
    const __m128i cv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pv));
    const __m256i chroma = _mm256_set_m128i(_mm_unpackhi_epi8(cu, cv), _mm_unpacklo_epi8(cu, cv));
    const __m256i lo = _mm256_unpacklo_epi8(luma, chroma);
    const __m256i hi = _mm256_unpackhi_epi8(luma, chroma);
    *first = _mm256_permute2x128_si256(lo, hi, 0x20);
    *second = _mm256_permute2x128_si256(lo, hi, 0x31);
}

void packPlanar422ToYuy2(const uint8_t* y, ptrdiff_t yStep, const uint8_t* u, ptrdiff_t uStep,
                         const uint8_t* v, ptrdiff_t vStep, uint8_t* dst, ptrdiff_t dstStep,
                         int32_t width, int32_t height) {
    const int32_t vectorEnd = width & ~31;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* py = y + row * yStep;
        const uint8_t* pu = u + row * uStep;
        const uint8_t* pv = v + row * vStep;
        uint8_t* d = dst + row * dstStep;
        for (int32_t x = 0; x < vectorEnd; x += 32) {
            __m256i first, second;
            pack32(py + x, pu + x / 2, pv + x / 2, &first, &second);
            store(d + 2 * x, first);
            store(d + 2 * x + 32, second);
        }
        reference::pack422Row(py, pu, pv, d, vectorEnd, width);
    }
}

// Even width. The YUY2 of each 32 pixels is converted from the registers it was packed in.
void packPlanar422ToYuy2AndConvert(const uint8_t* y, ptrdiff_t yStep, const uint8_t* u,
                                   ptrdiff_t uStep, const uint8_t* v, ptrdiff_t vStep,
                                   uint8_t* yuy2, ptrdiff_t yuy2Step, uint8_t* bgra,
                                   ptrdiff_t bgraStep, uint8_t* copy, ptrdiff_t copyStep,
                                   int32_t width, int32_t height, uint8_t alpha) {
    const __m256i alpha16 = _mm256_set1_epi16(alpha);
    const int32_t vectorEnd = width & ~31;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* py = y + row * yStep;
        const uint8_t* pu = u + row * uStep;
        const uint8_t* pv = v + row * vStep;
        uint8_t* d = yuy2 + row * yuy2Step;
        uint8_t* b = bgra + row * bgraStep;
        uint8_t* c = copy + row * copyStep;
        const bool aligned = ((reinterpret_cast<uintptr_t>(d) | reinterpret_cast<uintptr_t>(b) |
                               reinterpret_cast<uintptr_t>(c)) &
                              31) == 0;
        for (int32_t x = 0; x < vectorEnd; x += 32) {
            __m256i first, second;
            pack32(py + x, pu + x / 2, pv + x / 2, &first, &second);
            put(d + 2 * x, first, aligned);
            put(d + 2 * x + 32, second, aligned);
            const Bgra16 p = yuy2ToBgra16(first, alpha16);
            const Bgra16 q = yuy2ToBgra16(second, alpha16);
            put(b + 4 * x, p.low, aligned);
            put(b + 4 * x + 32, p.high, aligned);
            put(b + 4 * x + 64, q.low, aligned);
            put(b + 4 * x + 96, q.high, aligned);
            put(c + 4 * x, p.low, aligned);
            put(c + 4 * x + 32, p.high, aligned);
            put(c + 4 * x + 64, q.low, aligned);
            put(c + 4 * x + 96, q.high, aligned);
        }
        reference::pack422Row(py, pu, pv, d, vectorEnd, width);
        reference::yuy2ToBgraRow(d, b, vectorEnd, width, width, alpha);
        std::memcpy(c + 4 * vectorEnd, b + 4 * vectorEnd,
                    4 * static_cast<size_t>(width - vectorEnd));
    }
    _mm_sfence();
}

void yuy2ToNv12Row(const uint8_t* s, uint8_t* dy, uint8_t* duv, int32_t width) {
    const int32_t vectorEnd = width & ~31;
    const __m256i lowBytes = _mm256_set1_epi16(0x00ff);
    for (int32_t x = 0; x < vectorEnd; x += 32) {
        const __m256i a = load(s + 2 * x);
        const __m256i b = load(s + 2 * x + 32);
        const __m256i luma =
            _mm256_packus_epi16(_mm256_and_si256(a, lowBytes), _mm256_and_si256(b, lowBytes));
        store(dy + x, _mm256_permute4x64_epi64(luma, 0xd8));
        if (duv != nullptr) {
            const __m256i chroma =
                _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
            store(duv + x, _mm256_permute4x64_epi64(chroma, 0xd8));
        }
    }
    reference::yuy2ToNv12Row(s, dy, duv, vectorEnd, width);
}

void convertYuy2ToNv12(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dstY, ptrdiff_t dstYStep,
                       uint8_t* dstUV, ptrdiff_t dstUVStep, int32_t width, int32_t height) {
    for (int32_t row = 0; row < height; row += 2) {
        yuy2ToNv12Row(src + row * srcStep, dstY + row * dstYStep, dstUV + (row / 2) * dstUVStep,
                      width);
        yuy2ToNv12Row(src + (row + 1) * srcStep, dstY + (row + 1) * dstYStep, nullptr, width);
    }
}

struct Channels {
    __m256 b, g, r;
};

// Channel bytes of 8 pixels moved to the low byte of their 32-bit lanes, as floats.
inline __attribute__((always_inline)) Channels channelsOf(__m256i pixels) {
    const __m256i toB =
        _mm256_setr_epi8(0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1, -1, 0, -1, -1, -1,
                         4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1, -1);
    const __m256i toG =
        _mm256_setr_epi8(1, -1, -1, -1, 5, -1, -1, -1, 9, -1, -1, -1, 13, -1, -1, -1, 1, -1, -1, -1,
                         5, -1, -1, -1, 9, -1, -1, -1, 13, -1, -1, -1);
    const __m256i toR =
        _mm256_setr_epi8(2, -1, -1, -1, 6, -1, -1, -1, 10, -1, -1, -1, 14, -1, -1, -1, 2, -1, -1,
                         -1, 6, -1, -1, -1, 10, -1, -1, -1, 14, -1, -1, -1);
    return Channels{
        _mm256_cvtepi32_ps(_mm256_shuffle_epi8(pixels, toB)),
        _mm256_cvtepi32_ps(_mm256_shuffle_epi8(pixels, toG)),
        _mm256_cvtepi32_ps(_mm256_shuffle_epi8(pixels, toR)),
    };
}

// Same operations in the same order as the reference, so the single-precision results match.
inline __attribute__((always_inline)) __m256i lumaOf(const Channels& c) {
    const __m256 y =
        _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(0.257f), c.r),
                                                  _mm256_mul_ps(_mm256_set1_ps(0.504f), c.g)),
                                    _mm256_mul_ps(_mm256_set1_ps(0.098f), c.b)),
                      _mm256_set1_ps(16.5f));
    return _mm256_cvttps_epi32(y);
}

// Sums over 2 x 2 blocks of 16 columns (a: columns 0-7, b: 8-15) of two rows; the blocks come out
// in the order 0 1 4 5 | 2 3 6 7.
inline __attribute__((always_inline)) __m256 blockSums(__m256 top0, __m256 bottom0, __m256 top1,
                                                       __m256 bottom1) {
    const __m256 a = _mm256_add_ps(top0, bottom0);
    const __m256 b = _mm256_add_ps(top1, bottom1);
    return _mm256_add_ps(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)),
                         _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
}

// U in byte 0 and V in byte 1 of each 32-bit lane, for 8 blocks.
inline __attribute__((always_inline)) __m256i chromaOf(__m256 sumB, __m256 sumG, __m256 sumR) {
    const __m256 quarter = _mm256_set1_ps(0.25f);
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256 base = _mm256_set1_ps(512.0f);
    const __m256 u = _mm256_add_ps(
        _mm256_mul_ps(
            _mm256_add_ps(_mm256_sub_ps(_mm256_sub_ps(_mm256_mul_ps(_mm256_set1_ps(0.439f), sumB),
                                                      _mm256_mul_ps(_mm256_set1_ps(0.148f), sumR)),
                                        _mm256_mul_ps(_mm256_set1_ps(0.291f), sumG)),
                          base),
            quarter),
        half);
    const __m256 v = _mm256_add_ps(
        _mm256_mul_ps(
            _mm256_sub_ps(
                _mm256_add_ps(_mm256_sub_ps(base, _mm256_mul_ps(_mm256_set1_ps(0.071f), sumB)),
                              _mm256_mul_ps(_mm256_set1_ps(0.439f), sumR)),
                _mm256_mul_ps(_mm256_set1_ps(0.368f), sumG)),
            quarter),
        half);
    return _mm256_or_si256(_mm256_cvttps_epi32(u), _mm256_slli_epi32(_mm256_cvttps_epi32(v), 8));
}

// 16 columns of two rows.
inline __attribute__((always_inline)) void bgraToNv12Block16(const uint8_t* s0, const uint8_t* s1,
                                                             uint8_t* y0, uint8_t* y1,
                                                             uint8_t* uv) {
    const Channels t0 = channelsOf(load(s0));
    const Channels t1 = channelsOf(load(s0 + 32));
    const Channels b0 = channelsOf(load(s1));
    const Channels b1 = channelsOf(load(s1 + 32));
    // Packing twice leaves the dwords as top 0-3 8-11, bottom 0-3 8-11 | top 4-7 12-15, bottom
    // 4-7 12-15.
    const __m256i lumaTop = _mm256_packs_epi32(lumaOf(t0), lumaOf(t1));
    const __m256i lumaBottom = _mm256_packs_epi32(lumaOf(b0), lumaOf(b1));
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m256i lumaRows =
        _mm256_permutevar8x32_epi32(_mm256_packus_epi16(lumaTop, lumaBottom), order);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y0), _mm256_castsi256_si128(lumaRows));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y1), _mm256_extracti128_si256(lumaRows, 1));
    const __m256i chroma =
        chromaOf(blockSums(t0.b, b0.b, t1.b, b1.b), blockSums(t0.g, b0.g, t1.g, b1.g),
                 blockSums(t0.r, b0.r, t1.r, b1.r));
    // Blocks 0 1 4 5 | 2 3 6 7 as 16-bit values: dwords (0 1) (4 5) .. | (2 3) (6 7) ..
    const __m256i packed = _mm256_packus_epi32(chroma, chroma);
    const __m256i blocks = _mm256_permutevar8x32_epi32(packed, order);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(uv), _mm256_castsi256_si128(blocks));
}

void convertBgraToNv12(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dstY, ptrdiff_t dstYStep,
                       uint8_t* dstUV, ptrdiff_t dstUVStep, int32_t width, int32_t height) {
    const int32_t vectorEnd = width & ~15;
    for (int32_t row = 0; row < height; row += 2) {
        const uint8_t* s0 = src + row * srcStep;
        const uint8_t* s1 = s0 + srcStep;
        uint8_t* y0 = dstY + row * dstYStep;
        uint8_t* y1 = y0 + dstYStep;
        uint8_t* uv = dstUV + (row / 2) * dstUVStep;
        for (int32_t x = 0; x < vectorEnd; x += 16) {
            bgraToNv12Block16(s0 + 4 * x, s1 + 4 * x, y0 + x, y1 + x, uv + x);
        }
        reference::bgraToNv12Rows(s0, s1, y0, y1, uv, vectorEnd, width);
    }
}

// The AVX2 scaler keeps each filtered row already split for the vertical pass: per group of 4
// destination pixels, 32 bytes of the high parts (sum >> 14) and then 32 bytes of the low parts
// (sum & 0x3fff), as 16-bit values in the lane order pixel 0, 2 | 1, 3. Splitting once per source
// row instead of once per use, the vertical pass is two unpacks and two multiply-adds per
// 8 sums before the rounding.
constexpr int kGroupWords[4] = {0, 8, 4, 12};  // first 16-bit value of pixel j of a group

// Source windows for the horizontal pass: when the 8 source pixels a group of 4 destination
// columns reads lie within 4 consecutive ones (upscales), one 16-byte load serves the group and
// two byte shuffles spread it into the multiply-add order, instead of four 8-byte loads, their
// merges and widenings. Per group: the window's first source column, or -1 when the group does
// not fit one, and the two masks (columns 0 | 1 and 2 | 3). Built once per call.
struct SourceWindows {
    const int32_t* first;
    const __m256i* masks;
};

SourceWindows buildSourceWindows(const ScalerView& view, int32_t begin, int32_t end, void* work) {
    const int32_t width = end - begin;
    const auto area =
        reinterpret_cast<uintptr_t>(work) + static_cast<uintptr_t>(scalerSlotsBytes(width));
    auto* masks = reinterpret_cast<__m256i*>((area + 31) & ~uintptr_t{31});
    const int32_t groups = width / 4;
    auto* first = reinterpret_cast<int32_t*>(masks + 2 * static_cast<int64_t>(groups));
    const int32_t srcWidth = view.header->src.width;
    for (int32_t g = 0; g < groups; ++g) {
        const int32_t x = begin + 4 * g;
        first[g] = -1;
        if (srcWidth < 4) continue;
        const int32_t start = std::min(view.xLeft[x], srcWidth - 4);
        bool fits = true;
        for (int j = 0; j < 4; ++j) {
            const int32_t local = view.xLeft[x + j] - start;
            fits = fits && local >= 0 && local + 1 <= 3;
        }
        if (!fits) continue;
        alignas(32) int8_t bytes[64];
        for (int j = 0; j < 4; ++j) {
            const int32_t local = view.xLeft[x + j] - start;
            int8_t* lane = bytes + 16 * j;  // masks[2g] lanes: columns 0, 1; masks[2g + 1]: 2, 3
            for (int c = 0; c < 4; ++c) {
                lane[4 * c + 0] = static_cast<int8_t>(4 * local + c);
                lane[4 * c + 1] = -1;
                lane[4 * c + 2] = static_cast<int8_t>(4 * local + 4 + c);
                lane[4 * c + 3] = -1;
            }
        }
        masks[2 * g] = _mm256_load_si256(reinterpret_cast<const __m256i*>(bytes));
        masks[2 * g + 1] = _mm256_load_si256(reinterpret_cast<const __m256i*>(bytes + 32));
        first[g] = start;
    }
    return SourceWindows{first, masks};
}

// Horizontal pass for destination columns [begin, end): two columns per 8-byte-pair load step,
// regrouped per channel and weighted with one multiply-add, or a group's window when it has one.
void filterRowAvx2(const uint8_t* srcRow, const ScalerView& view, const SourceWindows& windows,
                   int32_t begin, int32_t end, int32_t* out) {
    const __m128i regroup = _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    const __m256i lowMask = _mm256_set1_epi32(0x3fff);
    const int32_t* left = view.xLeft;
    const auto twoColumns = [&](int32_t x) {
        __m128i pair =
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(srcRow + 4 * int64_t{left[x]}));
        pair = _mm_castpd_si128(
            _mm_loadh_pd(_mm_castsi128_pd(pair),
                         reinterpret_cast<const double*>(srcRow + 4 * int64_t{left[x + 1]})));
        const __m256i wide = _mm256_cvtepu8_epi16(_mm_shuffle_epi8(pair, regroup));
        return _mm256_madd_epi16(wide, load(view.xWeights + 8 * int64_t{x}));
    };
    auto* groups = reinterpret_cast<uint8_t*>(out);
    int32_t x = begin;
    for (int32_t g = 0; x + 4 <= end; x += 4, ++g) {
        __m256i a, b;  // pixels 0 | 1, 2 | 3
        const int32_t start = windows.first[g];
        if (start >= 0) {
            const __m256i window = _mm256_broadcastsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(srcRow + 4 * int64_t{start})));
            a = _mm256_madd_epi16(_mm256_shuffle_epi8(window, windows.masks[2 * g]),
                                  load(view.xWeights + 8 * int64_t{x}));
            b = _mm256_madd_epi16(_mm256_shuffle_epi8(window, windows.masks[2 * g + 1]),
                                  load(view.xWeights + 8 * int64_t{x + 2}));
        } else {
            a = twoColumns(x);
            b = twoColumns(x + 2);
        }
        uint8_t* group = groups + 16 * (x - begin);
        store(group, _mm256_packus_epi32(_mm256_srli_epi32(a, 14), _mm256_srli_epi32(b, 14)));
        store(group + 32,
              _mm256_packus_epi32(_mm256_and_si256(a, lowMask), _mm256_and_si256(b, lowMask)));
    }
    if (x < end) {
        // The last partial group, and the rest of the last 8-pixel vector, which the vertical
        // pass reads but does not store: zeros.
        uint8_t* group = groups + 16 * (x - begin);
        std::memset(group, 0, 128);
        auto* words = reinterpret_cast<uint16_t*>(group);
        for (int j = 0; x + j < end; ++j) {
            int32_t sums[4];
            filterColumnScalar(srcRow, view, x + j, sums);
            for (int channel = 0; channel < 4; ++channel) {
                words[kGroupWords[j] + channel] = static_cast<uint16_t>(sums[channel] >> 14);
                words[16 + kGroupWords[j] + channel] =
                    static_cast<uint16_t>(sums[channel] & 0x3fff);
            }
        }
    }
}

// Vertical pass of one group of 4 pixels: two vectors of 8 rounded channel values, pixels 0 | 1
// and 2 | 3. Exact, see scaler_rows.h.
inline __attribute__((always_inline)) void combineGroup(const uint8_t* top, const uint8_t* bottom,
                                                        __m256i rowWeights, __m256i* first,
                                                        __m256i* second) {
    const __m256i highTop = load(top);
    const __m256i highBottom = load(bottom);
    const __m256i lowTop = load(top + 32);
    const __m256i lowBottom = load(bottom + 32);
    const auto round = [&](__m256i sumHigh, __m256i sumLow) {
        const __m256i lsb = _mm256_and_si256(
            _mm256_srli_epi32(_mm256_add_epi32(sumHigh, _mm256_srli_epi32(sumLow, 14)), 14),
            _mm256_set1_epi32(1));
        const __m256i carry = _mm256_srli_epi32(
            _mm256_add_epi32(_mm256_add_epi32(sumLow, _mm256_set1_epi32(0x7ffffff)), lsb), 14);
        return _mm256_srli_epi32(_mm256_add_epi32(sumHigh, carry), 14);
    };
    *first = round(_mm256_madd_epi16(_mm256_unpacklo_epi16(highTop, highBottom), rowWeights),
                   _mm256_madd_epi16(_mm256_unpacklo_epi16(lowTop, lowBottom), rowWeights));
    *second = round(_mm256_madd_epi16(_mm256_unpackhi_epi16(highTop, highBottom), rowWeights),
                    _mm256_madd_epi16(_mm256_unpackhi_epi16(lowTop, lowBottom), rowWeights));
}

// Writes a row of width pixels from eight(x), which gives the 8 pixels from x on; the last,
// partial vector goes through a stack copy so that nothing past the row is written.
template <typename Eight>
inline __attribute__((always_inline)) void storeRowByEights(uint8_t* dst, int32_t width,
                                                            Eight eight) {
    int32_t x = 0;
    for (; x + 8 <= width; x += 8) store(dst + 4 * x, eight(x));
    if (x < width) {
        alignas(32) uint8_t last[32];
        store(last, eight(x));
        std::memcpy(dst + 4 * x, last, 4 * static_cast<size_t>(width - x));
    }
}

void combineRowAvx2(const int32_t* top, const int32_t* bottom, int32_t rowWeights, uint8_t* dst,
                    int32_t width) {
    const __m256i weights = _mm256_set1_epi32(rowWeights);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const auto* t = reinterpret_cast<const uint8_t*>(top);
    const auto* b = reinterpret_cast<const uint8_t*>(bottom);
    const auto eight = [&](int32_t x) {
        __m256i p01, p23, p45, p67;
        combineGroup(t + 16 * x, b + 16 * x, weights, &p01, &p23);
        combineGroup(t + 16 * x + 64, b + 16 * x + 64, weights, &p45, &p67);
        // Packing twice leaves the pixels as dwords 0 2 4 6 | 1 3 5 7.
        const __m256i packed =
            _mm256_packus_epi16(_mm256_packs_epi32(p01, p23), _mm256_packs_epi32(p45, p67));
        return _mm256_permutevar8x32_epi32(packed, order);
    };
    storeRowByEights(dst, width, eight);
}

// A destination row halfway between its two source rows (one row in three at 1.5x and 0.75x):
// V = 8192 (T + B), so the result is T + B rounded by 2^15, and with T + B = H 2^14 + L (H, L the
// sums of the stored high and low parts) every step fits 16 bits: the row takes half the work.
// With H = 2 a1 + a0 and f = a0 2^14 + L < 3 2^14, V / 2^28 = a1 + f / 2^15, which rounds to
// a1 + ((f + 2^14 - 1 + lsb) >> 15), lsb the parity of the kept quotient a1 + (f >> 15).
inline __attribute__((always_inline)) __m256i combineHalfGroup(const uint8_t* top,
                                                               const uint8_t* bottom) {
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i high = _mm256_add_epi16(load(top), load(bottom));
    const __m256i low = _mm256_add_epi16(load(top + 32), load(bottom + 32));
    const __m256i a1 = _mm256_srli_epi16(high, 1);
    const __m256i f = _mm256_add_epi16(_mm256_slli_epi16(_mm256_and_si256(high, one), 14), low);
    const __m256i lsb = _mm256_and_si256(_mm256_add_epi16(a1, _mm256_srli_epi16(f, 15)), one);
    const __m256i up = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(f, _mm256_set1_epi16(0x3fff)), lsb), 15);
    return _mm256_add_epi16(a1, up);  // the group's 16 values, in its word order
}

void combineHalfRowAvx2(const int32_t* top, const int32_t* bottom, uint8_t* dst, int32_t width) {
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const auto* t = reinterpret_cast<const uint8_t*>(top);
    const auto* b = reinterpret_cast<const uint8_t*>(bottom);
    const auto eight = [&](int32_t x) {
        const __m256i packed =
            _mm256_packus_epi16(combineHalfGroup(t + 16 * x, b + 16 * x),
                                combineHalfGroup(t + 16 * x + 64, b + 16 * x + 64));
        return _mm256_permutevar8x32_epi32(packed, order);
    };
    storeRowByEights(dst, width, eight);
}

void combineAnyRowAvx2(const int32_t* top, const int32_t* bottom, int32_t rowWeights, uint8_t* dst,
                       int32_t width) {
    constexpr int32_t kHalfWeights = (kWeightOne / 2) | ((kWeightOne / 2) << 16);
    if (rowWeights == kHalfWeights) {
        combineHalfRowAvx2(top, bottom, dst, width);
    } else {
        combineRowAvx2(top, bottom, rowWeights, dst, width);
    }
}

void scaleBgra(const ScalerView& view, const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
               ptrdiff_t dstStep, Point dstOffset, Size dstSize, void* work) {
    scaleBgraAvx2With(view, src, srcStep, dst, dstStep, dstOffset, dstSize, work,
                      combineAnyRowAvx2);
}

}  // namespace

void scaleBgraAvx2With(const ScalerView& view, const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
                       ptrdiff_t dstStep, Point dstOffset, Size dstSize, void* work,
                       ScalerCombineRow combineRow) {
    const SourceWindows windows =
        buildSourceWindows(view, dstOffset.x, dstOffset.x + dstSize.width, work);
    scaleWithFilteredRows(
        view, src, srcStep, dst, dstStep, dstOffset, dstSize, work,
        [&](const uint8_t* row, int32_t begin, int32_t end, int32_t* out) {
            filterRowAvx2(row, view, windows, begin, end, out);
        },
        combineRow);
}

// 32 pixels a step. The lanes are interleaved within themselves, so the quarters are put in
// the order 0, 2, 1, 3 first: the low unpack then gives pixels 0-15 and the high one 16-31.
void convertNv12ToYuy2(const uint8_t* y, ptrdiff_t yStep, const uint8_t* uv, ptrdiff_t uvStep,
                       uint8_t* dst, ptrdiff_t dstStep, int32_t width, int32_t height) {
    const int32_t vectorEnd = width & ~31;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* py = y + row * yStep;
        const uint8_t* puv = uv + (row / 2) * uvStep;
        uint8_t* d = dst + row * dstStep;
        for (int32_t x = 0; x < vectorEnd; x += 32) {
            const __m256i luma = _mm256_permute4x64_epi64(load(py + x), 0xD8);
            const __m256i chroma = _mm256_permute4x64_epi64(load(puv + x), 0xD8);
            store(d + 2 * x, _mm256_unpacklo_epi8(luma, chroma));
            store(d + 2 * x + 32, _mm256_unpackhi_epi8(luma, chroma));
        }
        reference::nv12ToYuy2Row(py, puv, d, vectorEnd, width);
    }
}

const KernelTable& avx2Kernels() {
    static const KernelTable table{
        .absoluteDifference = absoluteDifference,
        .copyPlane = copyPlane,
        .countInRange = countInRange,
        .countInRangeBlocks = countInRangeBlocks,
        .convertYuy2ToBgra = convertYuy2ToBgra,
        .convertYuy2ToBgraAndCopy = convertYuy2ToBgraAndCopy,
        .packPlanar422ToYuy2 = packPlanar422ToYuy2,
        .packPlanar422ToYuy2AndConvert = packPlanar422ToYuy2AndConvert,
        .convertYuy2ToNv12 = convertYuy2ToNv12,
        .convertNv12ToYuy2 = convertNv12ToYuy2,
        .convertBgraToNv12 = convertBgraToNv12,
        .scaleBgra = scaleBgra,
    };
    return table;
}

}  // namespace tovrel::imaging::detail
