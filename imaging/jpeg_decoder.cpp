#include "imaging/jpeg_decoder.h"

#include <turbojpeg.h>

#include <limits>

namespace tovrel::imaging {

JpegDecoder::JpegDecoder() : handle_(tjInitDecompress()) {}

JpegDecoder::~JpegDecoder() {
    if (handle_ != nullptr) tjDestroy(static_cast<tjhandle>(handle_));
}

Planar422Layout JpegDecoder::layout(int32_t width, int32_t height) {
    Planar422Layout result;
    if (width < 1 || height < 1) return result;
    const int64_t chromaWidth = (int64_t{width} + 1) / 2;  // what the decoder writes per row
    const int64_t yBytes = int64_t{width} * height;
    const int64_t chromaBytes = chromaWidth * height;
    result.yStep = width;
    result.chromaStep = static_cast<int32_t>(chromaWidth);
    result.uOffset = yBytes;
    result.vOffset = yBytes + chromaBytes;
    result.totalBytes = yBytes + 2 * chromaBytes;
    return result;
}

int JpegDecoder::decodeToPlanar422(const uint8_t* jpeg, size_t jpegBytes, uint8_t* planar,
                                   int64_t planarBytes, int32_t width, int32_t height) {
    if (jpeg == nullptr || planar == nullptr) return kNullPointer;
    if (handle_ == nullptr) return kUnsupported;
    if (width < 1 || height < 1) return kSizeTooSmall;
    if (jpegBytes == 0 || jpegBytes > std::numeric_limits<unsigned long>::max()) {
        return kDecodeFailed;
    }
    if (planarBytes < layout(width, height).totalBytes) return kStepTooShort;

    auto* handle = static_cast<tjhandle>(handle_);
    int jpegWidth = 0;
    int jpegHeight = 0;
    int subsampling = -1;
    int colorspace = -1;
    if (tjDecompressHeader3(handle, jpeg, static_cast<unsigned long>(jpegBytes), &jpegWidth,
                            &jpegHeight, &subsampling, &colorspace) != 0) {
        return kDecodeFailed;
    }
    if (jpegWidth != width || jpegHeight != height) return kSizeMismatch;
    if (subsampling != TJSAMP_422 || colorspace != TJCS_YCbCr) return kUnsupported;
    // The decoder's own size of the planes must be what the caller laid out.
    if (static_cast<int64_t>(tjBufSizeYUV2(width, 1, height, TJSAMP_422)) !=
        layout(width, height).totalBytes) {
        return kUnsupported;
    }

    if (tjDecompressToYUV2(handle, jpeg, static_cast<unsigned long>(jpegBytes), planar, width, 1,
                           height, TJFLAG_FASTDCT) != 0) {
        return tjGetErrorCode(handle) == TJERR_WARNING ? kDecodedWithWarning : kDecodeFailed;
    }
    return kDone;
}

}  // namespace tovrel::imaging
