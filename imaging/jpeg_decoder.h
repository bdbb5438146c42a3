#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/image_geometry.h"

// Decodes MJPEG frames with TurboJPEG into the planar 4:2:2 frame buffer of a capture session.
// One owner per session; one thread at a time (the TurboJPEG handle is not re-entrant).

namespace tovrel::imaging {

// Where the planes of a planar 4:2:2 frame lie in its single buffer, as the decoder writes them
// (consecutive Y, U, V planes, rows padded to 1 byte).
struct Planar422Layout {
    int32_t yStep = 0;
    int32_t chromaStep = 0;
    int64_t uOffset = 0;
    int64_t vOffset = 0;
    int64_t totalBytes = 0;
};

class JpegDecoder {
  public:
    // A frame decoded, but its data had a recoverable error (for example cut short): the planes
    // hold the picture as far as it could be read.
    static constexpr int kDecodedWithWarning = 1;

    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // False when TurboJPEG could not create its decoder; decode then returns kUnsupported.
    bool valid() const { return handle_ != nullptr; }

    // The layout of a width x height planar 4:2:2 frame (for an odd width the Y step is one byte
    // longer than the width); totalBytes 0 for a size below 1 x 1.
    static Planar422Layout layout(int32_t width, int32_t height);

    // Decodes one JPEG into planar (planarBytes long, laid out as layout(width, height)). Refuses,
    // writing nothing, a frame whose header cannot be read (kDecodeFailed), whose size is not
    // width x height (kSizeMismatch), that is not YCbCr 4:2:2 (kUnsupported), or a buffer that is
    // too small (kStepTooShort). Returns kDone, kDecodedWithWarning, or kDecodeFailed when the
    // data broke off in a way the decoder could not recover from (the planes may then be partly
    // written).
    int decodeToPlanar422(const uint8_t* jpeg, size_t jpegBytes, uint8_t* planar,
                          int64_t planarBytes, int32_t width, int32_t height);

  private:
    void* handle_ = nullptr;
};

}  // namespace tovrel::imaging
