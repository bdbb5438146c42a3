#pragma once

#include <cstdint>

#include "platform/imaging/image_file.h"
#include "platform/system/hresult.h"

namespace tovrel::platform {

// The image containers a picture can be saved in.
enum class ImageContainer { kBmp, kJpeg, kPng, kTiff, kGif };

// A picture of 4-byte pixels (blue, green, red, and a fourth byte that is ignored), rows of
// `stride` bytes, top row first. The caller owns the pixels.
struct BgrxPicture {
    const uint8_t* pixels = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t stride = 0;
};

// Encodes one picture into one container (the imaging component's encoder and frame in one).
// Every option stays at its library's default. An encoder is used by one thread at a time; a
// new one is made for every picture.
class ImageEncoder {
  public:
    virtual ~ImageEncoder() = default;

    // Writes the whole encoded picture into `file` from its start. S_OK; E_INVALIDARG for a
    // picture without pixels or larger than the container holds; E_OUTOFMEMORY; E_FAIL when the
    // library refuses; the file's own result when a write fails. After a failure the file's
    // content is undefined (the caller does not commit it).
    virtual HRESULT Encode(const BgrxPicture& picture, ImageFile& file) = 0;
};

}  // namespace tovrel::platform
