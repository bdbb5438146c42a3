#include "imaging/scaler_description.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace tovrel::imaging::detail {
namespace {

constexpr int64_t kBlockAlign = 64;

int64_t roundUp(int64_t value) { return (value + kBlockAlign - 1) / kBlockAlign * kBlockAlign; }

struct Offsets {
    int64_t x0, wx, y0, wy, xLeft, xWeights, yTop, yWeights, end;
};

Offsets offsetsFor(Size dst) {
    const int64_t columns = dst.width;
    const int64_t rows = dst.height;
    Offsets o{};
    o.x0 = roundUp(sizeof(ScalerHeader));
    o.wx = roundUp(o.x0 + 4 * columns);
    o.y0 = roundUp(o.wx + 4 * columns);
    o.wy = roundUp(o.y0 + 4 * rows);
    o.xLeft = roundUp(o.wy + 4 * rows);
    o.xWeights = roundUp(o.xLeft + 4 * columns);
    o.yTop = roundUp(o.xWeights + 16 * columns);
    o.yWeights = roundUp(o.yTop + 4 * rows);
    o.end = roundUp(o.yWeights + 4 * rows);
    return o;
}

// The caller's block may have any alignment; the description starts at the next 64-byte
// boundary inside it.
uint8_t* alignedBase(void* description) {
    const auto address = reinterpret_cast<uintptr_t>(description);
    return static_cast<uint8_t*>(description) +
           ((kBlockAlign - address % kBlockAlign) % kBlockAlign);
}

// Source coordinate of a destination index, its left neighbour and the right weight in units of
// 1/16384, with a small bias so exact fractions are not lost to representation error.
void mapAxis(int32_t srcLength, int32_t dstLength, int32_t* first, int32_t* weight) {
    for (int32_t i = 0; i < dstLength; ++i) {
        const double s = (i + 0.5) * srcLength / dstLength - 0.5;
        const double floored = std::floor(s);
        first[i] = static_cast<int32_t>(floored);
        weight[i] = static_cast<int32_t>(std::floor((s - floored) * kWeightOne + 1e-7));
    }
}

}  // namespace

int64_t scalerDescriptionBytes(Size, Size dst) {
    const int64_t bytes = offsetsFor(dst).end + kBlockAlign;
    return bytes > std::numeric_limits<int32_t>::max() ? -1 : bytes;
}

ScalerView scalerView(const void* description) {
    ScalerView view{};
    if (description == nullptr) return view;
    const uint8_t* base = alignedBase(const_cast<void*>(description));
    const auto* header = reinterpret_cast<const ScalerHeader*>(base);
    if (header->magic != kScalerMagic) return view;
    const Offsets o = offsetsFor(header->dst);
    view.header = header;
    view.x0 = reinterpret_cast<const int32_t*>(base + o.x0);
    view.wx = reinterpret_cast<const int32_t*>(base + o.wx);
    view.y0 = reinterpret_cast<const int32_t*>(base + o.y0);
    view.wy = reinterpret_cast<const int32_t*>(base + o.wy);
    view.xLeft = reinterpret_cast<const int32_t*>(base + o.xLeft);
    view.xWeights = reinterpret_cast<const int16_t*>(base + o.xWeights);
    view.yTop = reinterpret_cast<const int32_t*>(base + o.yTop);
    view.yWeights = reinterpret_cast<const int32_t*>(base + o.yWeights);
    return view;
}

void buildScalerDescription(Size src, Size dst, void* description) {
    uint8_t* base = alignedBase(description);
    const Offsets o = offsetsFor(dst);
    auto* x0 = reinterpret_cast<int32_t*>(base + o.x0);
    auto* wx = reinterpret_cast<int32_t*>(base + o.wx);
    auto* y0 = reinterpret_cast<int32_t*>(base + o.y0);
    auto* wy = reinterpret_cast<int32_t*>(base + o.wy);
    auto* xLeft = reinterpret_cast<int32_t*>(base + o.xLeft);
    auto* xWeights = reinterpret_cast<int16_t*>(base + o.xWeights);
    auto* yTop = reinterpret_cast<int32_t*>(base + o.yTop);
    auto* yWeights = reinterpret_cast<int32_t*>(base + o.yWeights);

    mapAxis(src.width, dst.width, x0, wx);
    mapAxis(src.height, dst.height, y0, wy);
    for (int32_t x = 0; x < dst.width; ++x) {
        int32_t left = 0;
        int32_t right = 0;
        xLeft[x] = foldBorder(x0[x], wx[x], src.width, &left, &right);
        for (int channel = 0; channel < 4; ++channel) {
            xWeights[8 * x + 2 * channel] = static_cast<int16_t>(left);
            xWeights[8 * x + 2 * channel + 1] = static_cast<int16_t>(right);
        }
    }
    for (int32_t y = 0; y < dst.height; ++y) {
        int32_t top = 0;
        int32_t bottom = 0;
        yTop[y] = foldBorder(y0[y], wy[y], src.height, &top, &bottom);
        yWeights[y] = static_cast<int32_t>(static_cast<uint32_t>(top) |
                                           (static_cast<uint32_t>(bottom) << 16));
    }
    ScalerHeader header{kScalerMagic, src, dst};
    std::memcpy(base, &header, sizeof header);
}

}  // namespace tovrel::imaging::detail
