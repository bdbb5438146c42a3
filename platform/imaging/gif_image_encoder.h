#pragma once

#include "platform/imaging/image_encoder.h"

namespace tovrel::platform {

// GIF with giflib: one image of 256 colours at most, chosen by giflib's own median-cut quantiser
// (GifQuantizeBuffer) from the picture itself, without dithering. One thread at a time.
class GifImageEncoder final : public ImageEncoder {
  public:
    HRESULT Encode(const BgrxPicture& picture, ImageFile& file) override;
};

}  // namespace tovrel::platform
