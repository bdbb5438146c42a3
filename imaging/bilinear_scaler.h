#pragma once

#include <cstdint>

#include "imaging/image_geometry.h"

// Bilinear scaling of 4-channel 8-bit images (BGRA), in the set-up / work-buffer style of the
// screen recorder: query the description size, let the caller allocate it, initialise it once per
// pair of sizes, then scale any number of frames. Weights are in 1/16384 units, borders are
// replicated and every channel is rounded to nearest, ties to even. The description and the work
// buffer belong to one caller at a time; the functions keep no other state. Description and work
// buffer need no particular alignment.

namespace tovrel::imaging {

enum class Interpolation : int32_t {
    kLinear = 1,
};

enum class BorderKind : int32_t {
    kReplicate = 1,
};

// Byte sizes of the description block and of the initialisation block (0 for linear: nothing to
// allocate). Source at least 2 x 2; destination at least 0 x 0. Antialiasing is not available.
int scalerQuerySizes(Size srcSize, Size dstSize, Interpolation interpolation, bool antialias,
                     int32_t* descriptionBytes, int32_t* initBytes);

// Prepares the description block (descriptionBytes from scalerQuerySizes for the same sizes).
int scalerInit(Size srcSize, Size dstSize, void* description);

// Byte size of the work buffer for scaling a destination region of dstSize; channels must be 4.
int scalerQueryWorkSize(const void* description, Size dstSize, int32_t channels,
                        int32_t* workBytes);

// Scales the source (the description's source size, srcStep bytes per row) into the destination
// region of dstSize at dstOffset within the description's destination image; dst points to the
// region's top-left pixel. Only BorderKind::kReplicate is available; borderValue is unused and may
// be null. A destination with a zero width or height is accepted and nothing is written.
int scaleBgra(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, Point dstOffset,
              Size dstSize, BorderKind border, const uint8_t* borderValue, const void* description,
              void* work);

}  // namespace tovrel::imaging
