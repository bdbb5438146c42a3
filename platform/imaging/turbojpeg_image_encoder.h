#pragma once

#include "platform/imaging/image_encoder.h"

namespace tovrel::platform {

// JPEG with TurboJPEG. libjpeg's own defaults, which TurboJPEG's interface asks for explicitly:
// quality 75, 4:2:0 chroma, the accurate integer DCT, baseline Huffman tables. One thread at a
// time.
class TurboJpegImageEncoder final : public ImageEncoder {
  public:
    // jpeg_set_defaults' quality.
    static constexpr int kQuality = 75;

    HRESULT Encode(const BgrxPicture& picture, ImageFile& file) override;
};

}  // namespace tovrel::platform
