#include "platform/imaging/library_image_encoders.h"

#include "platform/imaging/bmp_image_encoder.h"
#include "platform/imaging/gif_image_encoder.h"
#include "platform/imaging/png_image_encoder.h"
#include "platform/imaging/tiff_image_encoder.h"
#include "platform/imaging/turbojpeg_image_encoder.h"

namespace tovrel::platform {

HRESULT LibraryImageEncoders::CreateEncoder(ImageContainer container,
                                            std::unique_ptr<ImageEncoder>* encoder) {
    if (encoder == nullptr) return E_POINTER;
    switch (container) {
        case ImageContainer::kBmp:
            *encoder = std::make_unique<BmpImageEncoder>();
            return S_OK;
        case ImageContainer::kJpeg:
            *encoder = std::make_unique<TurboJpegImageEncoder>();
            return S_OK;
        case ImageContainer::kPng:
            *encoder = std::make_unique<PngImageEncoder>();
            return S_OK;
        case ImageContainer::kTiff:
            *encoder = std::make_unique<TiffImageEncoder>();
            return S_OK;
        case ImageContainer::kGif:
            *encoder = std::make_unique<GifImageEncoder>();
            return S_OK;
    }
    encoder->reset();
    return E_NOTIMPL;
}

}  // namespace tovrel::platform
