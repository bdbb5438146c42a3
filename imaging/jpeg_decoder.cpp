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
    // The decoder pads the luma rows to whole chroma pairs, so an odd width has an even Y step.
    const int yWidth = tjPlaneWidth(0, width, TJSAMP_422);
    const int chromaWidth = tjPlaneWidth(1, width, TJSAMP_422);
    const unsigned long yBytes = tjPlaneSizeYUV(0, width, 0, height, TJSAMP_422);
    const unsigned long chromaBytes = tjPlaneSizeYUV(1, width, 0, height, TJSAMP_422);
    if (yWidth < 0 || chromaWidth < 0 || yBytes == static_cast<unsigned long>(-1) ||
        chromaBytes == static_cast<unsigned long>(-1)) {
        return result;
    }
    result.yStep = yWidth;
    result.chromaStep = chromaWidth;
    result.uOffset = static_cast<int64_t>(yBytes);
    result.vOffset = static_cast<int64_t>(yBytes + chromaBytes);
    result.totalBytes = static_cast<int64_t>(yBytes + 2 * chromaBytes);
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
    const int64_t needed = layout(width, height).totalBytes;
    if (needed == 0) return kSizeTooLarge;
    if (planarBytes < needed) return kStepTooShort;

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
    if (tjDecompressToYUV2(handle, jpeg, static_cast<unsigned long>(jpegBytes), planar, width, 1,
                           height, TJFLAG_FASTDCT) != 0) {
        return tjGetErrorCode(handle) == TJERR_WARNING ? kDecodedWithWarning : kDecodeFailed;
    }
    return kDone;
}

}  // namespace tovrel::imaging
