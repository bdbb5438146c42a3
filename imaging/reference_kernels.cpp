#include "imaging/reference_kernels.h"

#include <algorithm>
#include <cstring>

#include "imaging/kernel_table.h"

namespace tovrel::imaging::reference {
namespace {

uint8_t clampByte(int32_t value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

void yuvPixel(int32_t y, int32_t u, int32_t v, uint8_t alpha, uint8_t* out) {
    const int32_t c = 76284 * y;
    out[0] = clampByte((c + 132186 * u - 18107584) >> 16);
    out[1] = clampByte((c - 25690 * u - 53281 * v + 8920512) >> 16);
    out[2] = clampByte((c + 104595 * v - 14575936) >> 16);
    out[3] = alpha;
}

// Round to nearest, ties to even, of value / 2^28 for a non-negative value.
uint8_t roundWeighted(int64_t value) {
    const int64_t quotient = value >> 28;
    const int64_t remainder = value & ((int64_t{1} << 28) - 1);
    const int64_t half = int64_t{1} << 27;
    const bool up = remainder > half || (remainder == half && (quotient & 1) != 0);
    return static_cast<uint8_t>(quotient + (up ? 1 : 0));
}

void absoluteDifferenceImage(const uint8_t* src1, ptrdiff_t step1, const uint8_t* src2,
                             ptrdiff_t step2, uint8_t* dst, ptrdiff_t dstStep, int32_t width,
                             int32_t height) {
    for (int32_t row = 0; row < height; ++row) {
        absoluteDifferenceRow(src1 + row * step1, src2 + row * step2, dst + row * dstStep, 0,
                              width);
    }
}

void copyPlaneImage(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                    int32_t width, int32_t height) {
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* s = src + row * srcStep;
        uint8_t* d = dst + row * dstStep;
        for (int32_t i = 0; i < width; ++i) d[i] = s[i];
    }
}

int64_t countInRangeImage(const uint8_t* src, ptrdiff_t step, int32_t width, int32_t height,
                          uint8_t lower, uint8_t upper) {
    int64_t total = 0;
    for (int32_t row = 0; row < height; ++row) {
        total += countInRangeRow(src + row * step, 0, width, lower, upper);
    }
    return total;
}

void countInRangeBlocksImage(const uint8_t* src, ptrdiff_t step, int32_t blocks, int32_t rows,
                             uint8_t lower, uint8_t upper, uint8_t* counts) {
    for (int32_t k = 0; k < blocks; ++k) {
        int64_t count = 0;
        for (int32_t row = 0; row < rows; ++row) {
            count += countInRangeRow(src + row * step, 16 * k, 16 * k + 16, lower, upper);
        }
        counts[k] = static_cast<uint8_t>(count);
    }
}

void yuy2ToBgraImage(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                     int32_t width, int32_t height, uint8_t alpha) {
    for (int32_t row = 0; row < height; ++row) {
        yuy2ToBgraRow(src + row * srcStep, dst + row * dstStep, 0, width, width, alpha);
    }
}

void yuy2ToBgraAndCopyImage(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                            uint8_t* copy, ptrdiff_t copyStep, int32_t width, int32_t height,
                            uint8_t alpha) {
    yuy2ToBgraImage(src, srcStep, dst, dstStep, width, height, alpha);
    copyPlaneImage(dst, dstStep, copy, copyStep, 4 * width, height);
}

void pack422Image(const uint8_t* y, ptrdiff_t yStep, const uint8_t* u, ptrdiff_t uStep,
                  const uint8_t* v, ptrdiff_t vStep, uint8_t* dst, ptrdiff_t dstStep, int32_t width,
                  int32_t height) {
    for (int32_t row = 0; row < height; ++row) {
        pack422Row(y + row * yStep, u + row * uStep, v + row * vStep, dst + row * dstStep, 0,
                   width);
    }
}

void pack422AndConvertImage(const uint8_t* y, ptrdiff_t yStep, const uint8_t* u, ptrdiff_t uStep,
                            const uint8_t* v, ptrdiff_t vStep, uint8_t* yuy2, ptrdiff_t yuy2Step,
                            uint8_t* bgra, ptrdiff_t bgraStep, uint8_t* copy, ptrdiff_t copyStep,
                            int32_t width, int32_t height, uint8_t alpha) {
    pack422Image(y, yStep, u, uStep, v, vStep, yuy2, yuy2Step, width, height);
    yuy2ToBgraAndCopyImage(yuy2, yuy2Step, bgra, bgraStep, copy, copyStep, width, height, alpha);
}

void yuy2ToNv12Image(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dstY, ptrdiff_t dstYStep,
                     uint8_t* dstUV, ptrdiff_t dstUVStep, int32_t width, int32_t height) {
    for (int32_t row = 0; row < height; row += 2) {
        yuy2ToNv12Row(src + row * srcStep, dstY + row * dstYStep, dstUV + (row / 2) * dstUVStep, 0,
                      width);
        yuy2ToNv12Row(src + (row + 1) * srcStep, dstY + (row + 1) * dstYStep, nullptr, 0, width);
    }
}

void nv12ToYuy2Image(const uint8_t* y, ptrdiff_t yStep, const uint8_t* uv, ptrdiff_t uvStep,
                     uint8_t* dst, ptrdiff_t dstStep, int32_t width, int32_t height) {
    for (int32_t row = 0; row < height; ++row) {
        nv12ToYuy2Row(y + row * yStep, uv + (row / 2) * uvStep, dst + row * dstStep, 0, width);
    }
}

void bgraToNv12Image(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dstY, ptrdiff_t dstYStep,
                     uint8_t* dstUV, ptrdiff_t dstUVStep, int32_t width, int32_t height) {
    for (int32_t row = 0; row < height; row += 2) {
        bgraToNv12Rows(src + row * srcStep, src + (row + 1) * srcStep, dstY + row * dstYStep,
                       dstY + (row + 1) * dstYStep, dstUV + (row / 2) * dstUVStep, 0, width);
    }
}

void scaleImage(const detail::ScalerView& view, const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst,
                ptrdiff_t dstStep, Point dstOffset, Size dstSize, void*) {
    for (int32_t row = 0; row < dstSize.height; ++row) {
        scaleRow(view, src, srcStep, dst + row * dstStep, dstOffset.y + row, dstOffset.x,
                 dstOffset.x + dstSize.width);
    }
}

}  // namespace

void absoluteDifferenceRow(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, int32_t begin,
                           int32_t end) {
    for (int32_t i = begin; i < end; ++i) {
        dst[i] = src1[i] > src2[i] ? src1[i] - src2[i] : src2[i] - src1[i];
    }
}

int64_t countInRangeRow(const uint8_t* src, int32_t begin, int32_t end, uint8_t lower,
                        uint8_t upper) {
    int64_t count = 0;
    for (int32_t i = begin; i < end; ++i) count += (src[i] >= lower && src[i] <= upper) ? 1 : 0;
    return count;
}

void yuy2ToBgraRow(const uint8_t* src, uint8_t* dst, int32_t begin, int32_t end, int32_t width,
                   uint8_t alpha) {
    const int32_t pairedEnd = std::min(end, width & ~1);
    int32_t x = begin;
    for (; x < pairedEnd; x += 2) {
        const uint8_t* p = src + 2 * x;
        yuvPixel(p[0], p[1], p[3], alpha, dst + 4 * x);
        yuvPixel(p[2], p[1], p[3], alpha, dst + 4 * x + 4);
    }
    if (x < end) {  // the odd last pixel
        const uint8_t* previous = src + 2 * (x - 2);
        yuvPixel(src[2 * x], previous[1], previous[3], alpha, dst + 4 * x);
    }
}

void pack422Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int32_t begin,
                int32_t end) {
    for (int32_t x = begin; x < end; x += 2) {
        uint8_t* d = dst + 2 * x;
        d[0] = y[x];
        d[1] = u[x / 2];
        d[2] = y[x + 1];
        d[3] = v[x / 2];
    }
}

void nv12ToYuy2Row(const uint8_t* y, const uint8_t* uv, uint8_t* dst, int32_t begin, int32_t end) {
    for (int32_t x = begin; x < end; x += 2) {
        uint8_t* d = dst + 2 * x;
        d[0] = y[x];
        d[1] = uv[x];
        d[2] = y[x + 1];
        d[3] = uv[x + 1];
    }
}

void yuy2ToNv12Row(const uint8_t* src, uint8_t* dstY, uint8_t* dstUV, int32_t begin, int32_t end) {
    for (int32_t x = begin; x < end; x += 2) {
        dstY[x] = src[2 * x];
        dstY[x + 1] = src[2 * x + 2];
        if (dstUV != nullptr) {
            dstUV[x] = src[2 * x + 1];
            dstUV[x + 1] = src[2 * x + 3];
        }
    }
}

void bgraToNv12Rows(const uint8_t* src0, const uint8_t* src1, uint8_t* dstY0, uint8_t* dstY1,
                    uint8_t* dstUV, int32_t begin, int32_t end) {
    const auto luma = [](const uint8_t* p) {
        const float y = 0.257f * p[2] + 0.504f * p[1] + 0.098f * p[0] + 16.5f;
        return static_cast<uint8_t>(static_cast<int32_t>(y));
    };
    for (int32_t x = begin; x < end; x += 2) {
        const uint8_t* a = src0 + 4 * x;
        const uint8_t* b = src1 + 4 * x;
        dstY0[x] = luma(a);
        dstY0[x + 1] = luma(a + 4);
        dstY1[x] = luma(b);
        dstY1[x + 1] = luma(b + 4);
        const float sumB = static_cast<float>(a[0] + a[4] + b[0] + b[4]);
        const float sumG = static_cast<float>(a[1] + a[5] + b[1] + b[5]);
        const float sumR = static_cast<float>(a[2] + a[6] + b[2] + b[6]);
        const float u = (0.439f * sumB - 0.148f * sumR - 0.291f * sumG + 512.0f) * 0.25f + 0.5f;
        const float v = (512.0f - 0.071f * sumB + 0.439f * sumR - 0.368f * sumG) * 0.25f + 0.5f;
        dstUV[x] = static_cast<uint8_t>(static_cast<int32_t>(u));
        dstUV[x + 1] = static_cast<uint8_t>(static_cast<int32_t>(v));
    }
}

void scaleRow(const detail::ScalerView& view, const uint8_t* src, ptrdiff_t srcStep,
              uint8_t* dstRow, int32_t dstY, int32_t begin, int32_t end) {
    const int32_t srcWidth = view.header->src.width;
    const int32_t srcHeight = view.header->src.height;
    const int32_t top = std::clamp(view.y0[dstY], 0, srcHeight - 1);
    const int32_t bottom = std::clamp(view.y0[dstY] + 1, 0, srcHeight - 1);
    const int64_t wy = view.wy[dstY];
    const uint8_t* rowTop = src + top * srcStep;
    const uint8_t* rowBottom = src + bottom * srcStep;
    for (int32_t x = begin; x < end; ++x) {
        const int32_t left = std::clamp(view.x0[x], 0, srcWidth - 1);
        const int32_t right = std::clamp(view.x0[x] + 1, 0, srcWidth - 1);
        const int64_t wx = view.wx[x];
        uint8_t* out = dstRow + 4 * (x - begin);
        for (int channel = 0; channel < 4; ++channel) {
            const int64_t upper = (detail::kWeightOne - wx) * rowTop[4 * left + channel] +
                                  wx * rowTop[4 * right + channel];
            const int64_t lower = (detail::kWeightOne - wx) * rowBottom[4 * left + channel] +
                                  wx * rowBottom[4 * right + channel];
            out[channel] = roundWeighted((detail::kWeightOne - wy) * upper + wy * lower);
        }
    }
}

}  // namespace tovrel::imaging::reference

namespace tovrel::imaging::detail {

const KernelTable& referenceKernels() {
    static const KernelTable table{
        .absoluteDifference = reference::absoluteDifferenceImage,
        .copyPlane = reference::copyPlaneImage,
        .countInRange = reference::countInRangeImage,
        .countInRangeBlocks = reference::countInRangeBlocksImage,
        .convertYuy2ToBgra = reference::yuy2ToBgraImage,
        .convertYuy2ToBgraAndCopy = reference::yuy2ToBgraAndCopyImage,
        .packPlanar422ToYuy2 = reference::pack422Image,
        .packPlanar422ToYuy2AndConvert = reference::pack422AndConvertImage,
        .convertYuy2ToNv12 = reference::yuy2ToNv12Image,
        .convertNv12ToYuy2 = reference::nv12ToYuy2Image,
        .convertBgraToNv12 = reference::bgraToNv12Image,
        .scaleBgra = reference::scaleImage,
    };
    return table;
}

}  // namespace tovrel::imaging::detail
