#pragma once

#include "platform/imaging/image_encoder.h"

namespace tovrel::platform {

// TIFF with libtiff: one 8-bit RGB page, contiguous samples, libtiff's default strips and no
// compression (its default). One thread at a time.
class TiffImageEncoder final : public ImageEncoder {
  public:
    HRESULT Encode(const BgrxPicture& picture, ImageFile& file) override;
};

}  // namespace tovrel::platform
