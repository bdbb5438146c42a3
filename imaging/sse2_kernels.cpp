// The SSE2 path, the x86-64 baseline: the AVX2 path's structure on 16-byte vectors, with the
// instructions SSE2 lacks (byte shuffles, 32-bit multiplies, unsigned 32-bit packs) replaced by
// shifts, masks and 16-bit multiply-adds that give the same integers.
#include <emmintrin.h>

#include <cstring>

#include "imaging/kernel_table.h"
#include "imaging/reference_kernels.h"
#include "imaging/scaler_rows.h"

namespace tovrel::imaging::detail {
namespace {

__m128i load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
void store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
// Around the cache when the caller found the row aligned for it, through it otherwise.
inline __attribute__((always_inline)) void put(void* p, __m128i v, bool stream) {
    if (stream) {
        _mm_stream_si128(static_cast<__m128i*>(p), v);
    } else {
        store(p, v);
    }
}

void absoluteDifference(const uint8_t* src1, ptrdiff_t step1, const uint8_t* src2, ptrdiff_t step2,
                        uint8_t* dst, ptrdiff_t dstStep, int32_t width, int32_t height) {
    const int32_t vectorEnd = width & ~15;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* a = src1 + row * step1;
        const uint8_t* b = src2 + row * step2;
        uint8_t* d = dst + row * dstStep;
        for (int32_t x = 0; x < vectorEnd; x += 16) {
            const __m128i va = load(a + x);
            const __m128i vb = load(b + x);
            store(d + x, _mm_or_si128(_mm_subs_epu8(va, vb), _mm_subs_epu8(vb, va)));
        }
        reference::absoluteDifferenceRow(a, b, d, vectorEnd, width);
    }
}

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

int64_t countInRange(const uint8_t* src, ptrdiff_t step, int32_t width, int32_t height,
                     uint8_t lower, uint8_t upper) {
    const __m128i offset = _mm_set1_epi8(static_cast<char>(lower));
    const __m128i span = _mm_set1_epi8(static_cast<char>(upper - lower));
    const int32_t vectorEnd = width & ~15;
    __m128i total = _mm_setzero_si128();
    int64_t count = 0;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* p = src + row * step;
        int32_t x = 0;
        while (x < vectorEnd) {
            const int32_t blockEnd = vectorEnd - x > 255 * 16 ? x + 255 * 16 : vectorEnd;
            __m128i hits = _mm_setzero_si128();
            for (; x < blockEnd; x += 16) {
                const __m128i shifted = _mm_sub_epi8(load(p + x), offset);
                hits = _mm_sub_epi8(hits, _mm_cmpeq_epi8(_mm_min_epu8(shifted, span), shifted));
            }
            total = _mm_add_epi64(total, _mm_sad_epu8(hits, _mm_setzero_si128()));
        }
        count += reference::countInRangeRow(p, vectorEnd, width, lower, upper);
    }
    return count + _mm_cvtsi128_si64(total) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(total, total));
}

void countInRangeBlocks(const uint8_t* src, ptrdiff_t step, int32_t blocks, int32_t rows,
                        uint8_t lower, uint8_t upper, uint8_t* counts) {
    const __m128i offset = _mm_set1_epi8(static_cast<char>(lower));
    const __m128i span = _mm_set1_epi8(static_cast<char>(upper - lower));
    for (int32_t k = 0; k < blocks; ++k) {
        // At most 15 rows: a byte counter cannot overflow.
        __m128i hits = _mm_setzero_si128();
        for (int32_t row = 0; row < rows; ++row) {
            const __m128i shifted = _mm_sub_epi8(load(src + row * step + 16 * k), offset);
            hits = _mm_sub_epi8(hits, _mm_cmpeq_epi8(_mm_min_epu8(shifted, span), shifted));
        }
        const __m128i sums = _mm_sad_epu8(hits, _mm_setzero_si128());
        counts[k] =
            static_cast<uint8_t>(_mm_cvtsi128_si32(_mm_add_epi64(sums, _mm_srli_si128(sums, 8))));
    }
}

// 8 pixels. The 16.16 products are split so that every factor fits a signed 16-bit multiply:
// 76284 = 65536 + 10748, 104595 = 131072 - 26477, 53281 = 65536 - 12255, 132186 = 131072 + 1114.
struct Bgra8 {
    __m128i low, high;  // pixels 0-3, 4-7
};

inline __attribute__((always_inline)) Bgra8 yuy2ToBgra8(const uint8_t* src, __m128i alpha16) {
    const __m128i in = load(src);
    const __m128i zero = _mm_setzero_si128();
    const __m128i y16 = _mm_and_si128(in, _mm_set1_epi16(0x00ff));
    const __m128i uv = _mm_srli_epi16(in, 8);         // as 32-bit lanes: U | V << 16
    const __m128i uShifted = _mm_slli_epi32(uv, 16);  // U << 16
    const __m128i vShifted = _mm_andnot_si128(_mm_set1_epi32(0xffff), uv);  // V << 16
    const __m128i rTerm =
        _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(vShifted, 1),
                                    _mm_madd_epi16(uv, _mm_set1_epi32(-26477 * 65536))),
                      _mm_set1_epi32(-14575936));
    const __m128i gTerm = _mm_add_epi32(
        _mm_sub_epi32(_mm_madd_epi16(uv, _mm_set1_epi32((12255 << 16) | (-25690 & 0xffff))),
                      vShifted),
        _mm_set1_epi32(8920512));
    const __m128i bTerm = _mm_add_epi32(
        _mm_add_epi32(_mm_slli_epi32(uShifted, 1), _mm_madd_epi16(uv, _mm_set1_epi32(1114))),
        _mm_set1_epi32(-18107584));
    const __m128i yLo = _mm_unpacklo_epi16(y16, zero);
    const __m128i yHi = _mm_unpackhi_epi16(y16, zero);
    const __m128i k = _mm_set1_epi32(10748);
    const __m128i cLo = _mm_add_epi32(_mm_slli_epi32(yLo, 16), _mm_madd_epi16(yLo, k));
    const __m128i cHi = _mm_add_epi32(_mm_slli_epi32(yHi, 16), _mm_madd_epi16(yHi, k));
    const auto channel = [&](__m128i term) {
        const __m128i lo = _mm_srai_epi32(_mm_add_epi32(cLo, _mm_unpacklo_epi32(term, term)), 16);
        const __m128i hi = _mm_srai_epi32(_mm_add_epi32(cHi, _mm_unpackhi_epi32(term, term)), 16);
        return _mm_packs_epi32(lo, hi);
    };
    const __m128i br = _mm_packus_epi16(channel(bTerm), channel(rTerm));
    const __m128i ga = _mm_packus_epi16(channel(gTerm), alpha16);
    const __m128i bg = _mm_unpacklo_epi8(br, ga);
    const __m128i ra = _mm_unpackhi_epi8(br, ga);
    return Bgra8{_mm_unpacklo_epi16(bg, ra), _mm_unpackhi_epi16(bg, ra)};
}

void convertYuy2ToBgra(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                       int32_t width, int32_t height, uint8_t alpha) {
    const __m128i alpha16 = _mm_set1_epi16(alpha);
    const int32_t vectorEnd = width & ~7;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* s = src + row * srcStep;
        uint8_t* d = dst + row * dstStep;
        for (int32_t x = 0; x < vectorEnd; x += 8) {
            const Bgra8 p = yuy2ToBgra8(s + 2 * x, alpha16);
            store(d + 4 * x, p.low);
            store(d + 4 * x + 16, p.high);
        }
        reference::yuy2ToBgraRow(s, d, vectorEnd, width, width, alpha);
    }
}

// The rows without the closing fence, which the callers issue once.
void convertYuy2ToBgraAndCopyRows(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
                                  ptrdiff_t dstStep, uint8_t* copy, ptrdiff_t copyStep,
                                  int32_t width, int32_t height, uint8_t alpha) {
    const __m128i alpha16 = _mm_set1_epi16(alpha);
    const int32_t vectorEnd = width & ~7;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* s = src + row * srcStep;
        uint8_t* d = dst + row * dstStep;
        uint8_t* c = copy + row * copyStep;
        const bool aligned =
            ((reinterpret_cast<uintptr_t>(d) | reinterpret_cast<uintptr_t>(c)) & 15) == 0;
        for (int32_t x = 0; x < vectorEnd; x += 8) {
            const Bgra8 p = yuy2ToBgra8(s + 2 * x, alpha16);
            put(d + 4 * x, p.low, aligned);
            put(d + 4 * x + 16, p.high, aligned);
            put(c + 4 * x, p.low, aligned);
            put(c + 4 * x + 16, p.high, aligned);
        }
        reference::yuy2ToBgraRow(s, d, vectorEnd, width, width, alpha);
        std::memcpy(c + 4 * vectorEnd, d + 4 * vectorEnd,
                    4 * static_cast<size_t>(width - vectorEnd));
    }
}

void convertYuy2ToBgraAndCopy(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
                              ptrdiff_t dstStep, uint8_t* copy, ptrdiff_t copyStep, int32_t width,
                              int32_t height, uint8_t alpha) {
    convertYuy2ToBgraAndCopyRows(src, srcStep, dst, dstStep, copy, copyStep, width, height, alpha);
    _mm_sfence();
}

void packPlanar422ToYuy2(const uint8_t* y, ptrdiff_t yStep, const uint8_t* u, ptrdiff_t uStep,
                         const uint8_t* v, ptrdiff_t vStep, uint8_t* dst, ptrdiff_t dstStep,
                         int32_t width, int32_t height) {
    const int32_t vectorEnd = width & ~15;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* py = y + row * yStep;
        const uint8_t* pu = u + row * uStep;
        const uint8_t* pv = v + row * vStep;
        uint8_t* d = dst + row * dstStep;
        for (int32_t x = 0; x < vectorEnd; x += 16) {
            const __m128i luma = load(py + x);
            const __m128i cu = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pu + x / 2));
            const __m128i cv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pv + x / 2));
            const __m128i chroma = _mm_unpacklo_epi8(cu, cv);
            store(d + 2 * x, _mm_unpacklo_epi8(luma, chroma));
            store(d + 2 * x + 16, _mm_unpackhi_epi8(luma, chroma));
        }
        reference::pack422Row(py, pu, pv, d, vectorEnd, width);
    }
}

// Row by row, so that each packed row is converted while it is still in the first-level cache;
// the packed rows go through the cache, the converted ones around it where aligned.
void packPlanar422ToYuy2AndConvert(const uint8_t* y, ptrdiff_t yStep, const uint8_t* u,
                                   ptrdiff_t uStep, const uint8_t* v, ptrdiff_t vStep,
                                   uint8_t* yuy2, ptrdiff_t yuy2Step, uint8_t* bgra,
                                   ptrdiff_t bgraStep, uint8_t* copy, ptrdiff_t copyStep,
                                   int32_t width, int32_t height, uint8_t alpha) {
    for (int32_t row = 0; row < height; ++row) {
        uint8_t* d = yuy2 + row * yuy2Step;
        packPlanar422ToYuy2(y + row * yStep, yStep, u + row * uStep, uStep, v + row * vStep, vStep,
                            d, yuy2Step, width, 1);
        convertYuy2ToBgraAndCopyRows(d, yuy2Step, bgra + row * bgraStep, bgraStep,
                                     copy + row * copyStep, copyStep, width, 1, alpha);
    }
    _mm_sfence();
}

void yuy2ToNv12Row(const uint8_t* s, uint8_t* dy, uint8_t* duv, int32_t width) {
    const int32_t vectorEnd = width & ~15;
    const __m128i lowBytes = _mm_set1_epi16(0x00ff);
    for (int32_t x = 0; x < vectorEnd; x += 16) {
        const __m128i a = load(s + 2 * x);
        const __m128i b = load(s + 2 * x + 16);
        store(dy + x, _mm_packus_epi16(_mm_and_si128(a, lowBytes), _mm_and_si128(b, lowBytes)));
        if (duv != nullptr) {
            store(duv + x, _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8)));
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

// 16 pixels a step: luma bytes interleaved with the UV pairs, which are already in YUY2's order.
void convertNv12ToYuy2(const uint8_t* y, ptrdiff_t yStep, const uint8_t* uv, ptrdiff_t uvStep,
                       uint8_t* dst, ptrdiff_t dstStep, int32_t width, int32_t height) {
    const int32_t vectorEnd = width & ~15;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* py = y + row * yStep;
        const uint8_t* puv = uv + (row / 2) * uvStep;
        uint8_t* d = dst + row * dstStep;
        for (int32_t x = 0; x < vectorEnd; x += 16) {
            const __m128i luma = load(py + x);
            const __m128i chroma = load(puv + x);
            store(d + 2 * x, _mm_unpacklo_epi8(luma, chroma));
            store(d + 2 * x + 16, _mm_unpackhi_epi8(luma, chroma));
        }
        reference::nv12ToYuy2Row(py, puv, d, vectorEnd, width);
    }
}

struct Channels {
    __m128 b, g, r;
};

Channels channelsOf(__m128i pixels) {
    const __m128i byteMask = _mm_set1_epi32(0xff);
    return Channels{
        _mm_cvtepi32_ps(_mm_and_si128(pixels, byteMask)),
        _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(pixels, 8), byteMask)),
        _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(pixels, 16), byteMask)),
    };
}

__m128i lumaOf(const Channels& c) {
    const __m128 y = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(0.257f), c.r),
                                                      _mm_mul_ps(_mm_set1_ps(0.504f), c.g)),
                                           _mm_mul_ps(_mm_set1_ps(0.098f), c.b)),
                                _mm_set1_ps(16.5f));
    return _mm_cvttps_epi32(y);
}

// Block sums of 8 columns (a: columns 0-3, b: 4-7) of two rows, blocks 0-3 in order.
__m128 blockSums(__m128 top0, __m128 bottom0, __m128 top1, __m128 bottom1) {
    const __m128 a = _mm_add_ps(top0, bottom0);
    const __m128 b = _mm_add_ps(top1, bottom1);
    return _mm_add_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)),
                      _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
}

// 16 columns of two rows.
void bgraToNv12Block16(const uint8_t* s0, const uint8_t* s1, uint8_t* y0, uint8_t* y1,
                       uint8_t* uv) {
    Channels top[4];
    Channels bottom[4];
    __m128i lumaTop[4];
    __m128i lumaBottom[4];
    for (int i = 0; i < 4; ++i) {
        top[i] = channelsOf(load(s0 + 16 * i));
        bottom[i] = channelsOf(load(s1 + 16 * i));
        lumaTop[i] = lumaOf(top[i]);
        lumaBottom[i] = lumaOf(bottom[i]);
    }
    const auto pack4 = [](const __m128i* v) {
        return _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3]));
    };
    store(y0, pack4(lumaTop));
    store(y1, pack4(lumaBottom));
    const __m128 quarter = _mm_set1_ps(0.25f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 base = _mm_set1_ps(512.0f);
    __m128i u[2];
    __m128i v[2];
    for (int h = 0; h < 2; ++h) {
        const int i = 2 * h;
        const __m128 sumB = blockSums(top[i].b, bottom[i].b, top[i + 1].b, bottom[i + 1].b);
        const __m128 sumG = blockSums(top[i].g, bottom[i].g, top[i + 1].g, bottom[i + 1].g);
        const __m128 sumR = blockSums(top[i].r, bottom[i].r, top[i + 1].r, bottom[i + 1].r);
        u[h] = _mm_cvttps_epi32(_mm_add_ps(
            _mm_mul_ps(_mm_add_ps(_mm_sub_ps(_mm_sub_ps(_mm_mul_ps(_mm_set1_ps(0.439f), sumB),
                                                        _mm_mul_ps(_mm_set1_ps(0.148f), sumR)),
                                             _mm_mul_ps(_mm_set1_ps(0.291f), sumG)),
                                  base),
                       quarter),
            half));
        v[h] = _mm_cvttps_epi32(_mm_add_ps(
            _mm_mul_ps(
                _mm_sub_ps(_mm_add_ps(_mm_sub_ps(base, _mm_mul_ps(_mm_set1_ps(0.071f), sumB)),
                                      _mm_mul_ps(_mm_set1_ps(0.439f), sumR)),
                           _mm_mul_ps(_mm_set1_ps(0.368f), sumG)),
                quarter),
            half));
    }
    const __m128i u16 = _mm_packs_epi32(u[0], u[1]);
    const __m128i v16 = _mm_packs_epi32(v[0], v[1]);
    store(uv, _mm_or_si128(u16, _mm_slli_epi16(v16, 8)));
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

// Horizontal pass: one destination pixel per 8-byte load of its two neighbours.
void filterRowSse2(const uint8_t* srcRow, const ScalerView& view, int32_t begin, int32_t end,
                   int32_t* out) {
    const __m128i zero = _mm_setzero_si128();
    for (int32_t x = begin; x < end; ++x) {
        const __m128i pair = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(srcRow + 4 * int64_t{view.xLeft[x]})),
            zero);
        // left B G R A, right B G R A -> B B G G R R A A
        const __m128i grouped = _mm_unpacklo_epi16(pair, _mm_srli_si128(pair, 8));
        const __m128i weights = load(view.xWeights + 8 * int64_t{x});
        store(out + 4 * (x - begin), _mm_madd_epi16(grouped, weights));
    }
}

__m128i combine1(const int32_t* top, const int32_t* bottom, __m128i rowWeights) {
    const __m128i lowMask = _mm_set1_epi32(0x3fff);
    const __m128i t = load(top);
    const __m128i b = load(bottom);
    const __m128i high =
        _mm_or_si128(_mm_srli_epi32(t, 14), _mm_slli_epi32(_mm_srli_epi32(b, 14), 16));
    const __m128i low =
        _mm_or_si128(_mm_and_si128(t, lowMask), _mm_slli_epi32(_mm_and_si128(b, lowMask), 16));
    const __m128i sumHigh = _mm_madd_epi16(high, rowWeights);
    const __m128i sumLow = _mm_madd_epi16(low, rowWeights);
    const __m128i lsb = _mm_and_si128(
        _mm_srli_epi32(_mm_add_epi32(sumHigh, _mm_srli_epi32(sumLow, 14)), 14), _mm_set1_epi32(1));
    const __m128i carry =
        _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(sumLow, _mm_set1_epi32(0x7ffffff)), lsb), 14);
    return _mm_srli_epi32(_mm_add_epi32(sumHigh, carry), 14);
}

void combineRowSse2(const int32_t* top, const int32_t* bottom, int32_t rowWeights, uint8_t* dst,
                    int32_t width) {
    const __m128i weights = _mm_set1_epi32(rowWeights);
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        const int32_t* t = top + 4 * x;
        const int32_t* b = bottom + 4 * x;
        const __m128i p01 =
            _mm_packs_epi32(combine1(t, b, weights), combine1(t + 4, b + 4, weights));
        const __m128i p23 =
            _mm_packs_epi32(combine1(t + 8, b + 8, weights), combine1(t + 12, b + 12, weights));
        store(dst + 4 * x, _mm_packus_epi16(p01, p23));
    }
    for (; x < width; ++x) combinePixelScalar(top + 4 * x, bottom + 4 * x, rowWeights, dst + 4 * x);
}

void scaleBgra(const ScalerView& view, const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
               ptrdiff_t dstStep, Point dstOffset, Size dstSize, void* work) {
    scaleWithFilteredRows(
        view, src, srcStep, dst, dstStep, dstOffset, dstSize, work,
        [&view](const uint8_t* row, int32_t begin, int32_t end, int32_t* out) {
            filterRowSse2(row, view, begin, end, out);
        },
        combineRowSse2);
}

}  // namespace

const KernelTable& sse2Kernels() {
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
