#pragma once

#include "platform/imaging/image_encoder.h"

namespace tovrel::platform {

// JPEG with TurboJPEG: the quality and chroma subsampling that the imaging component's JPEG
// encoder uses when it is given no options (quality 0.9, that is libjpeg's quality scale at 90,
// and 4:2:0 chroma), so a snapshot looks as it does on the other platform; otherwise libjpeg's
// defaults: the accurate integer DCT, baseline Huffman tables. One thread at a time.
class TurboJpegImageEncoder final : public ImageEncoder {
  public:
    // Not jpeg_set_defaults' 75, which visibly blurs text and fine edges of a captured screen.
    static constexpr int kQuality = 90;

    HRESULT Encode(const BgrxPicture& picture, ImageFile& file) override;
};

}  // namespace tovrel::platform
