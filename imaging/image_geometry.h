#pragma once

#include <cstdint>

namespace tovrel::imaging {

// A region size: width in pixels for the conversions, in bytes for the byte-image operations.
// Plain value type, usable from any thread.
struct Size {
    int32_t width = 0;
    int32_t height = 0;
};

// A position inside an image, in pixels.
struct Point {
    int32_t x = 0;
    int32_t y = 0;
};

// Status of every primitive: 0 when done, negative when an argument was invalid and nothing was
// written. Callers that only need "did it run" compare with kDone.
enum Status : int {
    kDone = 0,
    kNullPointer = -1,
    kSizeTooSmall = -2,
    kStepTooShort = -3,
    kBoundsReversed = -4,
    kUnsupported = -5,
    kSizeTooLarge = -6,
    kBadDescription = -7,
    kOffsetOutside = -8,
    kSizeMismatch = -9,
    kDecodeFailed = -10,
};

}  // namespace tovrel::imaging
