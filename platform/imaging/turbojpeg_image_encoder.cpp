#include "platform/imaging/turbojpeg_image_encoder.h"

#include <turbojpeg.h>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

namespace {

constexpr uint32_t kLargestSide = 65535;  // JPEG's 16-bit frame size

}  // namespace

HRESULT TurboJpegImageEncoder::Encode(const BgrxPicture& picture, ImageFile& file) {
    if (picture.pixels == nullptr || picture.width == 0 || picture.height == 0 ||
        picture.width > kLargestSide || picture.height > kLargestSide ||
        picture.stride < picture.width * 4) {
        return E_INVALIDARG;
    }
    tjhandle handle = tjInitCompress();
    if (handle == nullptr) {
        logCallFailure("jpeg encoder", "tjInitCompress", tjGetErrorStr2(nullptr));
        return E_OUTOFMEMORY;
    }
    unsigned char* jpeg = nullptr;
    unsigned long jpegBytes = 0;
    HRESULT hr = S_OK;
    if (tjCompress2(handle, picture.pixels, static_cast<int>(picture.width),
                    static_cast<int>(picture.stride), static_cast<int>(picture.height), TJPF_BGRX,
                    &jpeg, &jpegBytes, TJSAMP_420, kQuality, 0) != 0) {
        logCallFailure(file.temporaryPath(), "tjCompress2", tjGetErrorStr2(handle));
        hr = E_FAIL;
    } else {
        hr = file.Write(jpeg, jpegBytes);
    }
    tjFree(jpeg);
    tjDestroy(handle);
    return hr;
}

}  // namespace tovrel::platform
