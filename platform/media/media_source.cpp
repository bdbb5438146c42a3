#include "platform/media/media_source.h"

namespace tovrel::platform {

HRESULT MediaSource::CreatePresentationDescriptor(
    std::unique_ptr<PresentationDescriptor>* descriptor) {
    if (descriptor == nullptr) return E_POINTER;
    auto created = std::make_unique<PresentationDescriptor>();
    const uint32_t count = streamCount();
    for (uint32_t stream = 0; stream < count; ++stream) {
        std::vector<MediaType> types;
        HRESULT hr = nativeTypes(stream, &types);
        if (FAILED(hr)) return hr;
        created->addStream(StreamDescriptor(stream, MediaTypeHandler(std::move(types))), true);
    }
    *descriptor = std::move(created);
    return S_OK;
}

}  // namespace tovrel::platform
