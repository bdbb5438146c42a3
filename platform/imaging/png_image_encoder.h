#pragma once

#include "platform/imaging/image_encoder.h"

namespace tovrel::platform {

// PNG with libpng: 8-bit RGB, not interlaced, zlib's default level and libpng's default filter
// choice. One thread at a time.
class PngImageEncoder final : public ImageEncoder {
  public:
    HRESULT Encode(const BgrxPicture& picture, ImageFile& file) override;
};

}  // namespace tovrel::platform
