#include "platform/imaging/gif_image_encoder.h"

#include <gif_lib.h>

#include <new>
#include <vector>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

namespace {

constexpr int kColours = 256;
constexpr int kColourResolution = 8;
constexpr uint32_t kLargestSide = 65535;  // GIF's 16-bit screen size

struct GifOutput {
    ImageFile* file;
    HRESULT writeResult;
};

int writeData(GifFileType* gif, const GifByteType* data, int bytes) {
    auto* output = static_cast<GifOutput*>(gif->UserData);
    if (bytes < 0) return 0;
    output->writeResult = output->file->Write(data, static_cast<size_t>(bytes));
    return SUCCEEDED(output->writeResult) ? bytes : 0;
}

}  // namespace

HRESULT GifImageEncoder::Encode(const BgrxPicture& picture, ImageFile& file) {
    if (picture.pixels == nullptr || picture.width == 0 || picture.height == 0 ||
        picture.width > kLargestSide || picture.height > kLargestSide ||
        picture.stride < picture.width * 4) {
        return E_INVALIDARG;
    }
    const size_t pixels = static_cast<size_t>(picture.width) * picture.height;
    std::vector<GifByteType> red, green, blue, indices;
    try {
        red.resize(pixels);
        green.resize(pixels);
        blue.resize(pixels);
        indices.resize(pixels);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    for (uint32_t y = 0; y < picture.height; ++y) {
        const uint8_t* from = picture.pixels + static_cast<size_t>(y) * picture.stride;
        const size_t at = static_cast<size_t>(y) * picture.width;
        for (uint32_t x = 0; x < picture.width; ++x, from += 4) {
            blue[at + x] = from[0];
            green[at + x] = from[1];
            red[at + x] = from[2];
        }
    }
    GifColorType palette[kColours] = {};
    int colours = kColours;
    if (GifQuantizeBuffer(picture.width, picture.height, &colours, red.data(), green.data(),
                          blue.data(), indices.data(), palette) != GIF_OK) {
        logCallFailure(file.temporaryPath(), "GifQuantizeBuffer", "failed");
        return E_OUTOFMEMORY;  // its only failure is an allocation
    }
    // The map keeps all 256 entries: a colour table's size is a power of two anyway.
    ColorMapObject* map = GifMakeMapObject(kColours, palette);
    if (map == nullptr) return E_OUTOFMEMORY;

    GifOutput output{&file, S_OK};
    int error = 0;
    GifFileType* gif = EGifOpen(&output, writeData, &error);
    if (gif == nullptr) {
        GifFreeMapObject(map);
        logCallFailure(file.temporaryPath(), "EGifOpen", GifErrorString(error));
        return FAILED(output.writeResult) ? output.writeResult : E_FAIL;
    }
    const char* failedCall = nullptr;
    if (EGifPutScreenDesc(gif, static_cast<int>(picture.width), static_cast<int>(picture.height),
                          kColourResolution, 0, map) != GIF_OK) {
        failedCall = "EGifPutScreenDesc";
    } else if (EGifPutImageDesc(gif, 0, 0, static_cast<int>(picture.width),
                                static_cast<int>(picture.height), false, nullptr) != GIF_OK) {
        failedCall = "EGifPutImageDesc";
    } else {
        for (uint32_t y = 0; y < picture.height; ++y) {
            if (EGifPutLine(gif, indices.data() + static_cast<size_t>(y) * picture.width,
                            static_cast<int>(picture.width)) != GIF_OK) {
                failedCall = "EGifPutLine";
                break;
            }
        }
    }
    if (failedCall != nullptr) error = gif->Error;
    // Closing writes the trailer; it frees the file structure whatever it answers.
    int closeError = 0;
    if (EGifCloseFile(gif, &closeError) != GIF_OK && failedCall == nullptr) {
        failedCall = "EGifCloseFile";
        error = closeError;
    }
    GifFreeMapObject(map);
    if (failedCall == nullptr) return S_OK;
    logCallFailure(file.temporaryPath(), failedCall, GifErrorString(error));
    return FAILED(output.writeResult) ? output.writeResult : E_FAIL;
}

}  // namespace tovrel::platform
