#include "recording/pointer_drawing.h"

#include <algorithm>
#include <cstring>

namespace tovrel::recording {
namespace {

uint32_t load(const uint8_t* p) {
    uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

void store(uint8_t* p, uint32_t value) { std::memcpy(p, &value, 4); }

// dst·(255 − a)/255 rounded, plus the premultiplied source, saturated.
uint32_t blendChannel(uint32_t src, uint32_t dst, uint32_t alpha) {
    const uint32_t kept = (dst * (255 - alpha) + 127) / 255;
    return std::min<uint32_t>(255, src + kept);
}

}  // namespace

void drawPointerShape(uint8_t* frame, uint32_t width, uint32_t height,
                      const platform::OutduplPointerShapeInfo& shape, const uint8_t* shapeBytes,
                      int32_t x, int32_t y) {
    if (frame == nullptr || shapeBytes == nullptr || width == 0 || height == 0) return;
    const bool monochrome = shape.Type == platform::DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MONOCHROME;
    const bool masked = shape.Type == platform::DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MASKED_COLOR;
    const bool colour = shape.Type == platform::DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR;
    if (!monochrome && !masked && !colour) return;
    const int64_t rows = monochrome ? shape.Height / 2 : shape.Height;
    const int64_t cols = shape.Width;
    const int64_t firstRow = std::max<int64_t>(0, -static_cast<int64_t>(y));
    const int64_t firstCol = std::max<int64_t>(0, -static_cast<int64_t>(x));
    const int64_t lastRow = std::min<int64_t>(rows, static_cast<int64_t>(height) - y);
    const int64_t lastCol = std::min<int64_t>(cols, static_cast<int64_t>(width) - x);
    for (int64_t row = firstRow; row < lastRow; ++row) {
        uint8_t* line = frame + ((y + row) * static_cast<int64_t>(width) + x) * 4;
        for (int64_t col = firstCol; col < lastCol; ++col) {
            uint8_t* pixel = line + col * 4;
            const uint32_t old = load(pixel);
            if (monochrome) {
                const uint8_t bit = static_cast<uint8_t>(0x80 >> (col % 8));
                const bool andBit = (shapeBytes[row * shape.Pitch + col / 8] & bit) != 0;
                const bool xorBit = (shapeBytes[(row + rows) * shape.Pitch + col / 8] & bit) != 0;
                store(pixel, (andBit ? old : old & 0xFF000000u) ^ (xorBit ? 0x00FFFFFFu : 0u));
            } else if (masked) {
                // The masked colour's pixels lie one shape row of Width pixels after another.
                const uint32_t value = load(shapeBytes + (row * cols + col) * 4);
                if ((value & 0x00FFFFFFu) != 0) store(pixel, value | 0xFF000000u);
            } else {
                const uint32_t value = load(shapeBytes + row * shape.Pitch + col * 4);
                const uint32_t alpha = value >> 24;
                if (alpha == 0) continue;
                uint32_t out = old & 0xFF000000u;
                for (int shift = 0; shift < 24; shift += 8) {
                    out |= blendChannel((value >> shift) & 0xFF, (old >> shift) & 0xFF, alpha)
                           << shift;
                }
                store(pixel, out);
            }
        }
    }
}

}  // namespace tovrel::recording
