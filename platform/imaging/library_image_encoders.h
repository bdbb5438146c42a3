#pragma once

#include "platform/imaging/image_encoder_factory.h"

namespace tovrel::platform {

// The encoders of the well-kept libraries: TurboJPEG, libpng, libtiff, giflib, and BMP written
// here. Any thread.
class LibraryImageEncoders final : public ImageEncoderFactory {
  public:
    HRESULT CreateEncoder(ImageContainer container,
                          std::unique_ptr<ImageEncoder>* encoder) override;
};

}  // namespace tovrel::platform
