#pragma once

#include <memory>

#include "platform/imaging/image_encoder.h"
#include "platform/system/hresult.h"

namespace tovrel::platform {

// Makes the encoder of a container (CreateEncoder's place). The programs use the libraries'
// encoders; tests put in encoders that fail on purpose. Any thread.
class ImageEncoderFactory {
  public:
    virtual ~ImageEncoderFactory() = default;
    // S_OK with an encoder; E_NOTIMPL for a container this factory cannot write.
    virtual HRESULT CreateEncoder(ImageContainer container,
                                  std::unique_ptr<ImageEncoder>* encoder) = 0;
};

}  // namespace tovrel::platform
