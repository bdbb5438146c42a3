#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/image_geometry.h"

// The layout of the scaler's description block, shared by the set-up and every kernel path.
// Internal to the imaging library.

namespace tovrel::imaging::detail {

inline constexpr uint32_t kScalerMagic = 0x53434c52;  // "SCLR"
inline constexpr int32_t kWeightOne = 16384;

struct ScalerHeader {
    uint32_t magic;
    Size src;
    Size dst;
};

// Views of the arrays that follow the header. Per destination column x: the source neighbour
// floor(sx) and the right weight as computed (x0, wx); the left index of a pair of adjacent source
// columns that gives the same value with the border already folded in (xLeft, always in
// 0..srcWidth-2) and its weights expanded for 16-bit multiply-add (8 int16 per column: left,
// right repeated for 4 channels). The same per destination row, with one packed pair per row.
struct ScalerView {
    const ScalerHeader* header;
    const int32_t* x0;
    const int32_t* wx;
    const int32_t* y0;
    const int32_t* wy;
    const int32_t* xLeft;
    const int16_t* xWeights;  // 8 per column
    const int32_t* yTop;
    const int32_t* yWeights;  // per row: (top weight) | (bottom weight << 16)
};

// Byte size of a description for the sizes, or -1 when it would not fit an int32.
int64_t scalerDescriptionBytes(Size src, Size dst);

// The view of an initialised description, or a view with header == nullptr.
ScalerView scalerView(const void* description);

// Builds the description; sizes already validated, description at least scalerDescriptionBytes
// long.
void buildScalerDescription(Size src, Size dst, void* description);

// Folds the replicated border into a pair of adjacent neighbours: returns the left index in
// 0..length-2 and the two weights for that index that give the same weighted sum as the
// (clamped) neighbours first and first + 1 with weights kWeightOne - w and w.
inline int32_t foldBorder(int32_t first, int32_t w, int32_t length, int32_t* leftWeight,
                          int32_t* rightWeight) {
    if (first < 0) {
        *leftWeight = kWeightOne;
        *rightWeight = 0;
        return 0;
    }
    if (first >= length - 1) {
        *leftWeight = 0;
        *rightWeight = kWeightOne;
        return length - 2;
    }
    *leftWeight = kWeightOne - w;
    *rightWeight = w;
    return first;
}

}  // namespace tovrel::imaging::detail
