#pragma once

#include "platform/imaging/image_encoder.h"

namespace tovrel::platform {

// PNG with libpng: 8-bit RGB, not interlaced, every row filtered with "Up" and compressed at
// zlib's level 1. libpng's defaults (level 6, the best of five filters tried on every row) took
// 0.7-0.9 s for a detailed 1080p picture on our two-core machines; these settings take about an
// eighth of that, and the file is a little smaller on such a picture (3.0 MB rather than 3.2)
// and larger on a flat one (the simulated box's picture: 32 KB rather than 9). One thread at a
// time.
class PngImageEncoder final : public ImageEncoder {
  public:
    HRESULT Encode(const BgrxPicture& picture, ImageFile& file) override;
};

}  // namespace tovrel::platform
