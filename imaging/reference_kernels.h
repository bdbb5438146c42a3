#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/scaler_description.h"

// The plain scalar rows that define every primitive's result. The vector paths call them for the
// columns their vectors do not cover, so each takes the column range [begin, end) of one row.
// Internal to the imaging library.

namespace tovrel::imaging::reference {

void absoluteDifferenceRow(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, int32_t begin,
                           int32_t end);
int64_t countInRangeRow(const uint8_t* src, int32_t begin, int32_t end, uint8_t lower,
                        uint8_t upper);
// begin even; pixels of the row of width pixels (the odd last pixel borrows the chroma before it).
void yuy2ToBgraRow(const uint8_t* src, uint8_t* dst, int32_t begin, int32_t end, int32_t width,
                   uint8_t alpha);
// begin and end even.
void pack422Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int32_t begin,
                int32_t end);
// Copies the Y bytes of a YUY2 row (pixels begin..end, both even); when uv is not null also the
// U,V bytes.
void yuy2ToNv12Row(const uint8_t* src, uint8_t* dstY, uint8_t* dstUV, int32_t begin, int32_t end);
// One NV12 luma row and the UV row sampled with it into YUY2, pixels begin..end (both even).
void nv12ToYuy2Row(const uint8_t* y, const uint8_t* uv, uint8_t* dst, int32_t begin, int32_t end);
// Two BGRA rows into two Y rows and one UV row, pixels begin..end (both even).
void bgraToNv12Rows(const uint8_t* src0, const uint8_t* src1, uint8_t* dstY0, uint8_t* dstY1,
                    uint8_t* dstUV, int32_t begin, int32_t end);
// Destination pixels [begin, end) of destination row dstY (full-image coordinates) into dstRow,
// which holds destination column `begin` at its first pixel.
void scaleRow(const detail::ScalerView& view, const uint8_t* src, ptrdiff_t srcStep,
              uint8_t* dstRow, int32_t dstY, int32_t begin, int32_t end);

}  // namespace tovrel::imaging::reference
