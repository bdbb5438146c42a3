#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/kernel_table.h"
#include "imaging/scaler_description.h"

// Scalar pieces of the two-pass scaler that the vector paths use for the columns their vectors do
// not cover. The first pass filters one source row horizontally into 22-bit sums (16 bytes per
// destination pixel, one int32 per channel); the second pass combines two such rows with the row
// weights and rounds. Both are exact: the second pass splits each sum into its high 8 and low 14
// bits so every product fits 32 bits, and rounds the 36-bit total to nearest, ties to even.
// Everything here has internal linkage on purpose: the file is compiled once per instruction set
// and the copies must not be merged. Internal to the imaging library.

namespace tovrel::imaging::detail {
namespace {

inline void filterColumnScalar(const uint8_t* srcRow, const ScalerView& view, int32_t column,
                               int32_t* out) {
    const uint8_t* p = srcRow + 4 * static_cast<int64_t>(view.xLeft[column]);
    const int16_t* w = view.xWeights + 8 * static_cast<int64_t>(column);
    for (int channel = 0; channel < 4; ++channel) {
        out[channel] = w[0] * p[channel] + w[1] * p[channel + 4];
    }
}

// Rounds (a << 14) + b, divided by 2^28, to nearest with ties to even, for a < 2^23, b < 2^28.
inline int32_t roundSplit(int32_t a, int32_t b) {
    const int32_t lsb = ((a + (b >> 14)) >> 14) & 1;
    return (a + ((b + 0x7ffffff + lsb) >> 14)) >> 14;
}

inline void combinePixelScalar(const int32_t* top, const int32_t* bottom, int32_t rowWeights,
                               uint8_t* out) {
    const int32_t wTop = rowWeights & 0xffff;
    const int32_t wBottom = static_cast<int32_t>(static_cast<uint32_t>(rowWeights) >> 16);
    for (int channel = 0; channel < 4; ++channel) {
        const int32_t a = wTop * (top[channel] >> 14) + wBottom * (bottom[channel] >> 14);
        const int32_t b = wTop * (top[channel] & 0x3fff) + wBottom * (bottom[channel] & 0x3fff);
        out[channel] = static_cast<uint8_t>(roundSplit(a, b));
    }
}

// Two rows of horizontally filtered sums, reused while consecutive destination rows share source
// rows.
struct FilteredRows {
    int32_t* slot[2];
    int32_t row[2];
};

inline FilteredRows filteredRowsIn(void* work, int32_t width) {
    const auto address = reinterpret_cast<uintptr_t>(work);
    auto* base = reinterpret_cast<int32_t*>((address + 63) & ~uintptr_t{63});
    const int64_t slotInts = (static_cast<int64_t>(width) * 16 + kScalerSlotSlack) / 4;
    return FilteredRows{{base, base + slotInts}, {-1, -1}};
}

}  // namespace
}  // namespace tovrel::imaging::detail

namespace tovrel::imaging::detail {
namespace {

// Drives the two passes over a destination region. filterRow(srcRow, begin, end, out) fills one
// slot for destination columns [begin, end); combineRow(top, bottom, rowWeights, dst, width)
// writes one destination row.
template <typename FilterRow, typename CombineRow>
void scaleWithFilteredRows(const ScalerView& view, const uint8_t* src, ptrdiff_t srcStep,
                           uint8_t* dst, ptrdiff_t dstStep, Point dstOffset, Size dstSize,
                           void* work, FilterRow filterRow, CombineRow combineRow) {
    FilteredRows rows = filteredRowsIn(work, dstSize.width);
    const int32_t begin = dstOffset.x;
    const int32_t end = dstOffset.x + dstSize.width;
    for (int32_t y = 0; y < dstSize.height; ++y) {
        const int32_t dstRow = dstOffset.y + y;
        const int32_t top = view.yTop[dstRow];
        for (int32_t needed = top; needed <= top + 1; ++needed) {
            if (rows.row[0] == needed || rows.row[1] == needed) continue;
            const int victim = (rows.row[0] == top || rows.row[0] == top + 1) ? 1 : 0;
            filterRow(src + needed * srcStep, begin, end, rows.slot[victim]);
            rows.row[victim] = needed;
        }
        const int topSlot = rows.row[0] == top ? 0 : 1;
        combineRow(rows.slot[topSlot], rows.slot[1 - topSlot], view.yWeights[dstRow],
                   dst + y * dstStep, dstSize.width);
    }
}

}  // namespace
}  // namespace tovrel::imaging::detail
