#include "capture/media_type_scan.h"

namespace tovrel::capture {

using namespace platform;

HRESULT scanMediaTypes(MediaSource& source, FirstFormatIndices* indices) {
    std::unique_ptr<PresentationDescriptor> presentation;
    HRESULT hr = source.CreatePresentationDescriptor(&presentation);
    if (FAILED(hr)) return hr;
    const StreamDescriptor* stream = nullptr;
    bool selected = false;
    hr = presentation->GetStreamDescriptorByIndex(0, &selected, &stream);
    if (FAILED(hr)) return hr;
    const MediaTypeHandler* handler = nullptr;
    hr = stream->GetMediaTypeHandler(&handler);
    if (FAILED(hr)) return hr;
    uint32_t count = 0;
    hr = handler->GetMediaTypeCount(&count);
    if (FAILED(hr)) return hr;
    for (uint32_t i = 0; i < count; ++i) {
        std::unique_ptr<MediaType> type;
        hr = handler->GetMediaTypeByIndex(i, &type);
        if (FAILED(hr)) return hr;
        Guid subtype;
        if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype))) continue;
        if (subtype == MFVideoFormat_YUY2 && indices->firstYuy2Index == kNoIndex)
            indices->firstYuy2Index = i;
        if (subtype == MFVideoFormat_MJPG && indices->firstMjpgIndex == kNoIndex)
            indices->firstMjpgIndex = i;
        if (subtype == MFVideoFormat_NV12 && indices->firstNv12Index == kNoIndex)
            indices->firstNv12Index = i;
    }
    return S_OK;
}

int32_t chooseVideoFormat(int32_t requestedFormat, const FirstFormatIndices& indices) {
    if (requestedFormat == kFormatMjpg && indices.firstMjpgIndex != kNoIndex) return kFormatMjpg;
    if (requestedFormat == kFormatNv12 && indices.firstNv12Index != kNoIndex) return kFormatNv12;
    if (indices.firstYuy2Index != kNoIndex) return kFormatYuy2;
    if (indices.firstMjpgIndex != kNoIndex) return kFormatMjpg;
    if (indices.firstNv12Index != kNoIndex) return kFormatNv12;
    return kFormatNone;
}

}  // namespace tovrel::capture
