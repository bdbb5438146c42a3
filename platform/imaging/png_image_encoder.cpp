#include "platform/imaging/png_image_encoder.h"

#include <png.h>

#include <csetjmp>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

namespace {

constexpr int kZlibLevel = 1;

// libpng reports through these callbacks and leaves by longjmp: nothing with a destructor may
// live between the setjmp and a libpng call.
struct PngOutput {
    ImageFile* file;
    HRESULT writeResult;
};

void writeData(png_structp png, png_bytep data, size_t bytes) {
    auto* output = static_cast<PngOutput*>(png_get_io_ptr(png));
    output->writeResult = output->file->Write(data, bytes);
    if (FAILED(output->writeResult)) png_error(png, "write failed");
}

void flushData(png_structp) {}

void reportError(png_structp png, png_const_charp message) {
    auto* output = static_cast<PngOutput*>(png_get_error_ptr(png));
    logCallFailure(output->file->temporaryPath(), "libpng", message);
    png_longjmp(png, 1);
}

void reportWarning(png_structp png, png_const_charp message) {
    auto* output = static_cast<PngOutput*>(png_get_error_ptr(png));
    logCallFailure(output->file->temporaryPath(), "libpng (warning)", message);
}

// False when libpng gave up; the structures are destroyed either way by the caller.
bool writePng(png_structp png, png_infop info, const BgrxPicture& picture) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Trying every filter on every row and zlib's lazy matching cost most of the time; a single
    // filter that follows the picture's vertical coherence compresses about as well.
    png_set_compression_level(png, kZlibLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_write_info(png, info);
    // The rows go in as they are: libpng takes blue first and drops the fourth byte itself.
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (uint32_t y = 0; y < picture.height; ++y) {
        png_write_row(png, picture.pixels + static_cast<size_t>(y) * picture.stride);
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

HRESULT PngImageEncoder::Encode(const BgrxPicture& picture, ImageFile& file) {
    // PNG's dimensions are 31-bit; libpng's default limits (1,000,000) are the real bound.
    if (picture.pixels == nullptr || picture.width == 0 || picture.height == 0 ||
        picture.width > PNG_USER_WIDTH_MAX || picture.height > PNG_USER_HEIGHT_MAX ||
        picture.stride < static_cast<uint64_t>(picture.width) * 4) {
        return E_INVALIDARG;
    }
    PngOutput output{&file, S_OK};
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &output, reportError, reportWarning);
    if (png == nullptr) {
        logCallFailure(file.temporaryPath(), "png_create_write_struct", "no memory");
        return E_OUTOFMEMORY;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        logCallFailure(file.temporaryPath(), "png_create_info_struct", "no memory");
        return E_OUTOFMEMORY;
    }
    png_set_write_fn(png, &output, writeData, flushData);
    const bool written = writePng(png, info, picture);
    png_destroy_write_struct(&png, &info);
    if (written) return S_OK;
    return FAILED(output.writeResult) ? output.writeResult : E_FAIL;
}

}  // namespace tovrel::platform
