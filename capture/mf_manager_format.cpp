#include "capture/mf_manager.h"

#include <algorithm>
#include <cstring>

#include "imaging/aligned_alloc.h"
#include "platform/media/mf_guids.h"

namespace tovrel::capture {

using namespace platform;

namespace {

FrameBuffer allocateFrame(uint64_t bytes) {
    if (bytes == 0) return FrameBuffer();
    return FrameBuffer(static_cast<uint8_t*>(imaging::alignedAlloc(static_cast<int64_t>(bytes))));
}

}  // namespace

HRESULT MFManager::buildFormatCatalogue(SourceReader* reader) {
    TOVREL_CHECK_THREAD(guiThread);
    for (VideoModeTable* table : {&yuy2Modes, &mjpgModes, &nv12Modes}) {
        for (VideoMode& mode : *table) {
            mode.width = mode.height = mode.frameRate = 0;
        }
    }
    yuy2ModeCount = mjpgModeCount = nv12ModeCount = 0;
    if (reader == nullptr) return E_POINTER;

    // Types that lack a size or rate take the values read last in this scan (0 before any).
    uint32_t lastWidth = 0, lastHeight = 0, lastNumerator = 0, lastDenominator = 1;
    for (uint32_t index = 0;; ++index) {
        std::unique_ptr<MediaType> type;
        HRESULT hr = reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, index, &type);
        if (hr == MF_E_NO_MORE_TYPES) return S_OK;
        if (FAILED(hr)) return hr;
        Guid subtype;
        if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype))) continue;
        VideoModeTable* table = nullptr;
        int32_t* count = nullptr;
        if (subtype == MFVideoFormat_YUY2) {
            table = &yuy2Modes;
            count = &yuy2ModeCount;
        } else if (subtype == MFVideoFormat_MJPG) {
            table = &mjpgModes;
            count = &mjpgModeCount;
        } else if (subtype == MFVideoFormat_NV12 && nv12Catalogued) {
            table = &nv12Modes;
            count = &nv12ModeCount;
        } else {
            continue;
        }
        MFGetAttributeSize(type.get(), MF_MT_FRAME_SIZE, &lastWidth, &lastHeight);
        uint32_t numerator = 0, denominator = 0;
        if (SUCCEEDED(
                MFGetAttributeRatio(type.get(), MF_MT_FRAME_RATE, &numerator, &denominator))) {
            lastNumerator = numerator;
            lastDenominator = denominator;
        }
        // The catalogue is full: further modes of this format are not listed.
        if (*count >= kMaxModesPerFormat) continue;
        VideoMode& mode = (*table)[static_cast<size_t>(*count)];
        mode.subtype = subtype;
        mode.width = lastWidth;
        mode.height = lastHeight;
        mode.frameRate = lastDenominator != 0 ? lastNumerator / lastDenominator : 0;
        ++*count;
    }
}

HRESULT MFManager::configureVideoType(SourceReader* reader, int32_t requestedWidth,
                                      int32_t requestedHeight, int32_t fps, int32_t format) {
    TOVREL_CHECK_THREAD(guiThread);
    if (mjpgModeCount > 0 && yuy2ModeCount == 0) format = kFormatMjpg;
    activeFormat = format;

    HRESULT hr = reader != nullptr ? S_OK : E_POINTER;
    if (SUCCEEDED(hr)) reader->RemoveAllTransformsForStream(MF_SOURCE_READER_FIRST_VIDEO_STREAM);

    const bool sized = requestedWidth != 0 && requestedHeight != 0;
    auto sizeAndRate = [&](MediaType& type) {
        type.SetUINT64(MF_MT_FRAME_SIZE, packPair(static_cast<uint32_t>(requestedWidth),
                                                  static_cast<uint32_t>(requestedHeight)));
        type.SetUINT64(MF_MT_FRAME_RATE, packPair(static_cast<uint32_t>(fps), 1));
    };

    std::unique_ptr<MediaType> nativeType;
    if (SUCCEEDED(hr)) {
        HRESULT typeHr = MFCreateMediaType(&nativeType);
        if (SUCCEEDED(typeHr)) typeHr = nativeType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        for (const FormatFamily& family : kFormatFamilies) {
            if (SUCCEEDED(typeHr) && family.code == format)
                typeHr = nativeType->SetGUID(MF_MT_SUBTYPE, family.subtype);
        }
        if (SUCCEEDED(typeHr) && sized) sizeAndRate(*nativeType);
        if (SUCCEEDED(typeHr)) {
            uint32_t flags = 0;
            reader->SetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, *nativeType, &flags);
        }
    }

    std::unique_ptr<MediaType> outputType;
    if (SUCCEEDED(hr)) {
        hr = MFCreateMediaType(&outputType);
        if (SUCCEEDED(hr)) hr = outputType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        if (SUCCEEDED(hr)) hr = outputType->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_YUY2);
        if (SUCCEEDED(hr) && sized) sizeAndRate(*outputType);
    }

    if (format == kFormatMjpg) {
        jpegDecoder = std::make_unique<imaging::JpegDecoder>();
        if (SUCCEEDED(hr))
            hr = reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, *nativeType);
    } else if (SUCCEEDED(hr)) {
        hr = reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, *outputType);
    }

    std::unique_ptr<MediaType> current;
    if (SUCCEEDED(hr)) {
        hr = reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, &current);
        HRESULT selectHr = reader->SetStreamSelection(MF_SOURCE_READER_FIRST_VIDEO_STREAM, true);
        if (SUCCEEDED(hr)) hr = selectHr;
    }

    if (current) {
        uint32_t w = 0, h = 0;
        if (SUCCEEDED(MFGetAttributeSize(current.get(), MF_MT_FRAME_SIZE, &w, &h))) {
            width = w;
            height = h;
        }
        uint32_t numerator = 0, denominator = 0;
        // Without a readable rate the previous one stays, as the geometry does.
        if (SUCCEEDED(
                MFGetAttributeRatio(current.get(), MF_MT_FRAME_RATE, &numerator, &denominator)) &&
            denominator != 0) {
            frameRate = static_cast<float>(numerator) / static_cast<float>(denominator);
            frameRateNumerator = numerator;
            frameRateDenominator = denominator;
        }
    }
    nv12LumaStride = static_cast<int32_t>(width);
    yuy2Stride = static_cast<int32_t>(2 * width);
    bgraStride = static_cast<int32_t>(4 * width);

    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    bgraFrame = allocateFrame(pixels * 4);
    snapshotFrame = allocateFrame(pixels * 4);
    snapshotFilled = false;
    previousFrame = allocateFrame(pixels * 2);
    diffFrame = allocateFrame(static_cast<uint64_t>(yuy2Stride) * height);
    if (format == kFormatMjpg) {
        // The decoder's own layout (it rounds odd chroma widths up) decides the planes.
        const imaging::Planar422Layout layout =
            imaging::JpegDecoder::layout(static_cast<int32_t>(width), static_cast<int32_t>(height));
        planarBytes = std::max<int64_t>(static_cast<int64_t>(pixels * 2), layout.totalBytes);
        decodedFrame = allocateFrame(pixels * 2);
        planarFrame = allocateFrame(static_cast<uint64_t>(planarBytes));
        // Until a frame decodes, the preview shows black rather than whatever the heap held.
        if (decodedFrame) {
            for (uint64_t i = 0; i < pixels * 2; i += 2) {
                decodedFrame.get()[i] = 16;
                decodedFrame.get()[i + 1] = 128;
            }
        }
        uint8_t* base = planarFrame.get();
        if (base != nullptr && layout.totalBytes > 0) {
            planes = {base, base + layout.uOffset, base + layout.vOffset};
            planeStrides = {layout.yStep, layout.chromaStep, layout.chromaStep};
        } else {
            planes = {};
            planeStrides = {};
        }
    }
    // The first motion run of the session takes its frame as the reference instead of
    // comparing with uninitialised memory.
    motionPrimed = false;
    return hr;
}

}  // namespace tovrel::capture
