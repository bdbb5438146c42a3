#include "platform/imaging/tiff_image_encoder.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <new>
#include <vector>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

namespace {

// libtiff reaches the file through these (a TIFF writer seeks back to place its directory).
struct TiffOutput {
    ImageFile* file;
    HRESULT writeResult;
};

TiffOutput* outputOf(thandle_t handle) { return static_cast<TiffOutput*>(handle); }

tmsize_t readProc(thandle_t handle, void* data, tmsize_t bytes) {
    size_t read = 0;
    if (bytes < 0 || FAILED(outputOf(handle)->file->Read(data, static_cast<size_t>(bytes), &read)))
        return -1;
    return static_cast<tmsize_t>(read);
}

tmsize_t writeProc(thandle_t handle, void* data, tmsize_t bytes) {
    TiffOutput* output = outputOf(handle);
    if (bytes < 0) return -1;
    const HRESULT hr = output->file->Write(data, static_cast<size_t>(bytes));
    if (FAILED(hr)) {
        output->writeResult = hr;
        return -1;
    }
    return bytes;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    int64_t position = 0;
    if (FAILED(outputOf(handle)->file->Seek(static_cast<int64_t>(offset), whence, &position)))
        return static_cast<toff_t>(-1);
    return static_cast<toff_t>(position);
}

int closeProc(thandle_t) { return 0; }  // the file is the caller's

toff_t sizeProc(thandle_t handle) {
    int64_t bytes = 0;
    if (FAILED(outputOf(handle)->file->Size(&bytes))) return 0;
    return static_cast<toff_t>(bytes);
}

int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

int reportError(TIFF*, void* user, const char* module, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    logCallFailure(outputOf(user)->file->temporaryPath(), module ? module : "libtiff", text);
    return 1;  // handled: not printed on standard error as well
}

}  // namespace

HRESULT TiffImageEncoder::Encode(const BgrxPicture& picture, ImageFile& file) {
    if (picture.pixels == nullptr || picture.width == 0 || picture.height == 0 ||
        picture.stride < static_cast<uint64_t>(picture.width) * 4) {
        return E_INVALIDARG;
    }
    // A classic TIFF addresses 4 GiB.
    if (static_cast<uint64_t>(picture.width) * picture.height * 3 > (uint64_t{1} << 32) - 4096) {
        return E_INVALIDARG;
    }
    std::vector<uint8_t> row;
    try {
        row.resize(static_cast<size_t>(picture.width) * 3);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    TiffOutput output{&file, S_OK};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return E_OUTOFMEMORY;
    TIFFOpenOptionsSetErrorHandlerExtR(options, reportError, &output);
    TIFFOpenOptionsSetWarningHandlerExtR(options, reportError, &output);
    TIFF* tiff = TIFFClientOpenExt(file.temporaryPath().c_str(), "w", &output, readProc, writeProc,
                                   seekProc, closeProc, sizeProc, mapProc, unmapProc, options);
    TIFFOpenOptionsFree(options);
    if (tiff == nullptr) return FAILED(output.writeResult) ? output.writeResult : E_FAIL;

    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, picture.width) &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, picture.height) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    for (uint32_t y = 0; ok && y < picture.height; ++y) {
        const uint8_t* from = picture.pixels + static_cast<size_t>(y) * picture.stride;
        uint8_t* to = row.data();
        for (uint32_t x = 0; x < picture.width; ++x, from += 4, to += 3) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
        ok = TIFFWriteScanline(tiff, row.data(), y, 0) == 1;
    }
    // TIFFClose cannot report a failure: the last strip and the directory are flushed first.
    ok = ok && TIFFFlush(tiff) == 1;
    TIFFClose(tiff);
    if (ok) return S_OK;
    return FAILED(output.writeResult) ? output.writeResult : E_FAIL;
}

}  // namespace tovrel::platform
