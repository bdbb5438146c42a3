// The AVX-512 path: the AVX2 table with the primitives that gain from 64-byte vectors replaced,
// those bound by arithmetic rather than by memory: BGRA-to-NV12 (whose single-precision steps
// must stay operation for operation the reference's, so only wider lanes make it faster), the
// scaler's vertical pass, YUY2-to-BGRA and the packing fused with it (the packing alone is bound
// by memory and keeps AVX2). This file alone is compiled with -mavx512f -mavx512bw -mavx512vl
// and runs only after the processor (and the system's saving of the wide registers) was checked;
// like the AVX2 file it calls nothing inline from other files.
// GCC 12's AVX-512 headers pass deliberately undefined vectors as the merge source of unmasked
// operations, which its own -Wmaybe-uninitialized then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <cstring>

#include "imaging/kernel_table.h"
#include "imaging/reference_kernels.h"
#include "imaging/scaler_description.h"

namespace tovrel::imaging::detail {
namespace {

// The 128-bit lanes of a and b interleaved, a0 b0 a1 b1 | a2 b2 a3 b3: for byte unpacks, which
// work per lane, this puts their halves back in pixel order.
struct Joined {
    __m512i first, second;
};

inline __attribute__((always_inline)) Joined joinLanes(__m512i a, __m512i b) {
    return Joined{_mm512_permutex2var_epi64(a, _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11), b),
                  _mm512_permutex2var_epi64(a, _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15), b)};
}

// 32 pixels: 64 bytes of YUY2 to 128 bytes of BGRA, with the AVX2 path's arithmetic (16-bit
// multiply-adds on the bytes where they lie; see yuy2ToBgra16 there) on twice the lanes.
struct Bgra32 {
    __m512i low, high;  // pixels 0-15, 16-31
};

inline __attribute__((always_inline)) Bgra32 yuy2ToBgra32(__m512i in, __m512i alpha16) {
    const __m512i luma = _mm512_and_si512(in, _mm512_set1_epi16(0x00ff));  // Y0 | Y1 << 16
    const __m512i chroma = _mm512_srli_epi16(in, 8);                       // U | V << 16
    const __m512i vHigh =
        _mm512_and_si512(chroma, _mm512_set1_epi32(static_cast<int>(0xffff0000u)));
    const __m512i cEven = _mm512_slli_epi32(_mm512_madd_epi16(luma, _mm512_set1_epi32(19071)), 2);
    const __m512i cOdd =
        _mm512_slli_epi32(_mm512_madd_epi16(luma, _mm512_set1_epi32(19071 << 16)), 2);
    const __m512i rTerm = _mm512_add_epi32(
        _mm512_add_epi32(_mm512_slli_epi32(vHigh, 1),
                         _mm512_madd_epi16(chroma, _mm512_set1_epi32(-26477 * 65536))),
        _mm512_set1_epi32(-14575936));
    const __m512i gTerm = _mm512_add_epi32(
        _mm512_sub_epi32(
            _mm512_madd_epi16(chroma, _mm512_set1_epi32((12255 << 16) | (-25690 & 0xffff))), vHigh),
        _mm512_set1_epi32(8920512));
    const __m512i bTerm =
        _mm512_add_epi32(_mm512_add_epi32(_mm512_slli_epi32(chroma, 17),
                                          _mm512_madd_epi16(chroma, _mm512_set1_epi32(1114))),
                         _mm512_set1_epi32(-18107584));
    const auto channel = [&](__m512i term) {
        return _mm512_mask_blend_epi16(0xaaaaaaaau,
                                       _mm512_srli_epi32(_mm512_add_epi32(cEven, term), 16),
                                       _mm512_add_epi32(cOdd, term));
    };
    const __m512i br = _mm512_packus_epi16(channel(bTerm), channel(rTerm));
    const __m512i ga = _mm512_packus_epi16(channel(gTerm), alpha16);
    const __m512i bg = _mm512_unpacklo_epi8(br, ga);
    const __m512i ra = _mm512_unpackhi_epi8(br, ga);
    // Per 128-bit lane k (pixels 8k to 8k + 7): p0 holds its first four pixels, p1 the others.
    const __m512i p0 = _mm512_unpacklo_epi16(bg, ra);
    const __m512i p1 = _mm512_unpackhi_epi16(bg, ra);
    const Joined pixels = joinLanes(p0, p1);
    return Bgra32{pixels.first, pixels.second};
}

// Around the cache when the caller found the rows aligned for it, through it otherwise.
inline __attribute__((always_inline)) void put(uint8_t* p, __m512i v, bool stream) {
    if (stream) {
        _mm512_stream_si512(reinterpret_cast<__m512i*>(p), v);
    } else {
        _mm512_storeu_si512(p, v);
    }
}

bool aligned64(const uint8_t* a, const uint8_t* b, const uint8_t* c = nullptr) {
    return ((reinterpret_cast<uintptr_t>(a) | reinterpret_cast<uintptr_t>(b) |
             reinterpret_cast<uintptr_t>(c)) &
            63) == 0;
}

void convertYuy2ToBgra(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                       int32_t width, int32_t height, uint8_t alpha) {
    const __m512i alpha16 = _mm512_set1_epi16(alpha);
    const int32_t vectorEnd = width & ~31;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* s = src + row * srcStep;
        uint8_t* d = dst + row * dstStep;
        for (int32_t x = 0; x < vectorEnd; x += 32) {
            const Bgra32 p = yuy2ToBgra32(_mm512_loadu_si512(s + 2 * x), alpha16);
            _mm512_storeu_si512(d + 4 * x, p.low);
            _mm512_storeu_si512(d + 4 * x + 64, p.high);
        }
        reference::yuy2ToBgraRow(s, d, vectorEnd, width, width, alpha);
    }
}

void convertYuy2ToBgraAndCopy(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
                              ptrdiff_t dstStep, uint8_t* copy, ptrdiff_t copyStep, int32_t width,
                              int32_t height, uint8_t alpha) {
    const __m512i alpha16 = _mm512_set1_epi16(alpha);
    const int32_t vectorEnd = width & ~31;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* s = src + row * srcStep;
        uint8_t* d = dst + row * dstStep;
        uint8_t* c = copy + row * copyStep;
        const bool aligned = aligned64(d, c);
        for (int32_t x = 0; x < vectorEnd; x += 32) {
            const Bgra32 p = yuy2ToBgra32(_mm512_loadu_si512(s + 2 * x), alpha16);
            put(d + 4 * x, p.low, aligned);
            put(d + 4 * x + 64, p.high, aligned);
            put(c + 4 * x, p.low, aligned);
            put(c + 4 * x + 64, p.high, aligned);
        }
        reference::yuy2ToBgraRow(s, d, vectorEnd, width, width, alpha);
        std::memcpy(c + 4 * vectorEnd, d + 4 * vectorEnd,
                    4 * static_cast<size_t>(width - vectorEnd));
    }
    _mm_sfence();
}

// Packs 64 pixels of the three planes into two YUY2 vectors (pixels 0-31, 32-63).
inline __attribute__((always_inline)) void pack64(const uint8_t* py, const uint8_t* pu,
                                                  const uint8_t* pv, __m512i* first,
                                                  __m512i* second) {
    const __m512i luma = _mm512_loadu_si512(py);
    const __m256i cu = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pu));
    const __m256i cv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pv));
    // U V pairs of pixels 0-15 | 32-47 and of 16-31 | 48-63, joined in pixel order.
    const __m512i chroma = joinLanes(_mm512_castsi256_si512(_mm256_unpacklo_epi8(cu, cv)),
                                     _mm512_castsi256_si512(_mm256_unpackhi_epi8(cu, cv)))
                               .first;
    // Per 128-bit lane k (pixels 16k to 16k + 15): lo holds the first eight pixels, hi the rest.
    const __m512i lo = _mm512_unpacklo_epi8(luma, chroma);
    const __m512i hi = _mm512_unpackhi_epi8(luma, chroma);
    const Joined packed = joinLanes(lo, hi);
    *first = packed.first;
    *second = packed.second;
}

// Even width. The YUY2 of each 64 pixels is converted from the registers it was packed in.
void packPlanar422ToYuy2AndConvert(const uint8_t* y, ptrdiff_t yStep, const uint8_t* u,
                                   ptrdiff_t uStep, const uint8_t* v, ptrdiff_t vStep,
                                   uint8_t* yuy2, ptrdiff_t yuy2Step, uint8_t* bgra,
                                   ptrdiff_t bgraStep, uint8_t* copy, ptrdiff_t copyStep,
                                   int32_t width, int32_t height, uint8_t alpha) {
    const __m512i alpha16 = _mm512_set1_epi16(alpha);
    const int32_t vectorEnd = width & ~63;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* py = y + row * yStep;
        const uint8_t* pu = u + row * uStep;
        const uint8_t* pv = v + row * vStep;
        uint8_t* d = yuy2 + row * yuy2Step;
        uint8_t* b = bgra + row * bgraStep;
        uint8_t* c = copy + row * copyStep;
        const bool aligned = aligned64(d, b, c);
        for (int32_t x = 0; x < vectorEnd; x += 64) {
            __m512i first, second;
            pack64(py + x, pu + x / 2, pv + x / 2, &first, &second);
            put(d + 2 * x, first, aligned);
            put(d + 2 * x + 64, second, aligned);
            const Bgra32 p = yuy2ToBgra32(first, alpha16);
            const Bgra32 q = yuy2ToBgra32(second, alpha16);
            put(b + 4 * x, p.low, aligned);
            put(b + 4 * x + 64, p.high, aligned);
            put(b + 4 * x + 128, q.low, aligned);
            put(b + 4 * x + 192, q.high, aligned);
            put(c + 4 * x, p.low, aligned);
            put(c + 4 * x + 64, p.high, aligned);
            put(c + 4 * x + 128, q.low, aligned);
            put(c + 4 * x + 192, q.high, aligned);
        }
        reference::pack422Row(py, pu, pv, d, vectorEnd, width);
        reference::yuy2ToBgraRow(d, b, vectorEnd, width, width, alpha);
        std::memcpy(c + 4 * vectorEnd, b + 4 * vectorEnd,
                    4 * static_cast<size_t>(width - vectorEnd));
    }
    _mm_sfence();
}

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

// The scaler keeps the AVX2 horizontal pass and its filtered rows: per group of 4 destination
// pixels, 32 bytes of high parts (sum >> 14) and then 32 bytes of low parts (sum & 0x3fff), 16-bit
// values in the lane order pixel 0, 2 | 1, 3. Its vertical pass is bound by the integer rounding
// arithmetic; here one 64-byte load takes a whole group, and one 128-bit-lane shuffle brings the
// high and the low sums of two groups together, so every step covers 8 pixels instead of 4.
constexpr int kLowHalves = _MM_SHUFFLE(1, 0, 1, 0);   // lanes 0, 1 of a, then of b
constexpr int kHighHalves = _MM_SHUFFLE(3, 2, 3, 2);  // lanes 2, 3 of a, then of b

// Group `index` of a filtered row, or zeros for a group past the row's last pixel (the tail's
// lanes that are computed but not stored); `live` is the number of groups that hold pixels.
inline __attribute__((always_inline)) __m512i groupAt(const uint8_t* row, int32_t index,
                                                      int32_t live) {
    return index < live ? _mm512_loadu_si512(row + 64 * index) : _mm512_setzero_si512();
}

// Rounds (high << 14) + low, divided by 2^28, to nearest with ties to even (the AVX2 rounding).
inline __attribute__((always_inline)) __m512i roundSplit(__m512i sumHigh, __m512i sumLow) {
    const __m512i lsb = _mm512_and_si512(
        _mm512_srli_epi32(_mm512_add_epi32(sumHigh, _mm512_srli_epi32(sumLow, 14)), 14),
        _mm512_set1_epi32(1));
    const __m512i carry = _mm512_srli_epi32(
        _mm512_add_epi32(_mm512_add_epi32(sumLow, _mm512_set1_epi32(0x7ffffff)), lsb), 14);
    return _mm512_srli_epi32(_mm512_add_epi32(sumHigh, carry), 14);
}

// Groups `index` and `index + 1` as the two groups' 16-bit words, each group in its word order.
inline __attribute__((always_inline)) __m512i combinePair(const uint8_t* top, const uint8_t* bottom,
                                                          int32_t index, int32_t live,
                                                          __m512i rowWeights) {
    const __m512i t0 = groupAt(top, index, live);
    const __m512i b0 = groupAt(bottom, index, live);
    const __m512i t1 = groupAt(top, index + 1, live);
    const __m512i b1 = groupAt(bottom, index + 1, live);
    // Each product holds one group's high sums in lanes 0-1 and its low sums in lanes 2-3.
    const __m512i low0 = _mm512_madd_epi16(_mm512_unpacklo_epi16(t0, b0), rowWeights);
    const __m512i low1 = _mm512_madd_epi16(_mm512_unpacklo_epi16(t1, b1), rowWeights);
    const __m512i high0 = _mm512_madd_epi16(_mm512_unpackhi_epi16(t0, b0), rowWeights);
    const __m512i high1 = _mm512_madd_epi16(_mm512_unpackhi_epi16(t1, b1), rowWeights);
    const __m512i first = roundSplit(_mm512_shuffle_i64x2(low0, low1, kLowHalves),
                                     _mm512_shuffle_i64x2(low0, low1, kHighHalves));
    const __m512i second = roundSplit(_mm512_shuffle_i64x2(high0, high1, kLowHalves),
                                      _mm512_shuffle_i64x2(high0, high1, kHighHalves));
    return _mm512_packs_epi32(first, second);
}

// The half-weight row of the AVX2 path (see combineHalfGroup there), for two groups.
inline __attribute__((always_inline)) __m512i combineHalfPair(const uint8_t* top,
                                                              const uint8_t* bottom, int32_t index,
                                                              int32_t live) {
    const __m512i one = _mm512_set1_epi16(1);
    const __m512i sum0 = _mm512_add_epi16(groupAt(top, index, live), groupAt(bottom, index, live));
    const __m512i sum1 =
        _mm512_add_epi16(groupAt(top, index + 1, live), groupAt(bottom, index + 1, live));
    const __m512i high = _mm512_shuffle_i64x2(sum0, sum1, kLowHalves);
    const __m512i low = _mm512_shuffle_i64x2(sum0, sum1, kHighHalves);
    const __m512i a1 = _mm512_srli_epi16(high, 1);
    const __m512i f = _mm512_add_epi16(_mm512_slli_epi16(_mm512_and_si512(high, one), 14), low);
    const __m512i lsb = _mm512_and_si512(_mm512_add_epi16(a1, _mm512_srli_epi16(f, 15)), one);
    const __m512i up = _mm512_srli_epi16(
        _mm512_add_epi16(_mm512_add_epi16(f, _mm512_set1_epi16(0x3fff)), lsb), 15);
    return _mm512_add_epi16(a1, up);
}

// Writes a row of width pixels, 16 at a time from sixteen(x, liveGroups), which gets the words
// of groups x / 4 .. x / 4 + 3 as two pairs; the last partial vector is stored under a mask.
template <typename Sixteen>
inline __attribute__((always_inline)) void storeRowBySixteens(uint8_t* dst, int32_t width,
                                                              Sixteen sixteen) {
    // Packing the pairs' words (groups 0 1 and 2 3) leaves the pixels in the dword order
    // 0 2 8 10 | 1 3 9 11 | 4 6 12 14 | 5 7 13 15.
    const __m512i order = _mm512_setr_epi32(0, 4, 1, 5, 8, 12, 9, 13, 2, 6, 3, 7, 10, 14, 11, 15);
    const auto pixels = [&](int32_t x, int32_t live) {
        const auto [pair01, pair23] = sixteen(x, live);
        return _mm512_permutexvar_epi32(order, _mm512_packus_epi16(pair01, pair23));
    };
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) _mm512_storeu_si512(dst + 4 * x, pixels(x, 4));
    if (x < width) {
        const int32_t rest = width - x;
        _mm512_mask_storeu_epi32(dst + 4 * x, static_cast<__mmask16>((1u << rest) - 1),
                                 pixels(x, (rest + 3) / 4));
    }
}

struct PairWords {
    __m512i groups01, groups23;
};

void combineAnyRowAvx512(const int32_t* top, const int32_t* bottom, int32_t rowWeights,
                         uint8_t* dst, int32_t width) {
    constexpr int32_t kHalfWeights = (kWeightOne / 2) | ((kWeightOne / 2) << 16);
    const auto* t = reinterpret_cast<const uint8_t*>(top);
    const auto* b = reinterpret_cast<const uint8_t*>(bottom);
    if (rowWeights == kHalfWeights) {
        storeRowBySixteens(dst, width, [&](int32_t x, int32_t live) {
            return PairWords{combineHalfPair(t + 16 * x, b + 16 * x, 0, live),
                             combineHalfPair(t + 16 * x, b + 16 * x, 2, live)};
        });
        return;
    }
    const __m512i weights = _mm512_set1_epi32(rowWeights);
    storeRowBySixteens(dst, width, [&](int32_t x, int32_t live) {
        return PairWords{combinePair(t + 16 * x, b + 16 * x, 0, live, weights),
                         combinePair(t + 16 * x, b + 16 * x, 2, live, weights)};
    });
}

void scaleBgra(const ScalerView& view, const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
               ptrdiff_t dstStep, Point dstOffset, Size dstSize, void* work) {
    scaleBgraAvx2With(view, src, srcStep, dst, dstStep, dstOffset, dstSize, work,
                      combineAnyRowAvx512);
}

}  // namespace

const KernelTable& avx512Kernels() {
    static const KernelTable table = [] {
        KernelTable t = avx2Kernels();
        t.convertBgraToNv12 = convertBgraToNv12;
        t.scaleBgra = scaleBgra;
        t.convertYuy2ToBgra = convertYuy2ToBgra;
        t.convertYuy2ToBgraAndCopy = convertYuy2ToBgraAndCopy;
        t.packPlanar422ToYuy2AndConvert = packPlanar422ToYuy2AndConvert;
        return t;
    }();
    return table;
}

}  // namespace tovrel::imaging::detail
