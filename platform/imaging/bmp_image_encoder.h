#pragma once

#include "platform/imaging/image_encoder.h"

namespace tovrel::platform {

// BMP, written here (no library needed for it): a 24-bit BITMAPINFOHEADER bitmap, bottom row
// first, rows padded to 4 bytes, no resolution stated. One thread at a time.
class BmpImageEncoder final : public ImageEncoder {
  public:
    HRESULT Encode(const BgrxPicture& picture, ImageFile& file) override;
};

}  // namespace tovrel::platform
