#include "platform/media/stream_descriptor.h"

namespace tovrel::platform {

HRESULT StreamDescriptor::GetStreamIdentifier(uint32_t* identifier) const {
    if (identifier == nullptr) return E_POINTER;
    *identifier = identifier_;
    return S_OK;
}

HRESULT StreamDescriptor::GetMediaTypeHandler(const MediaTypeHandler** handler) const {
    if (handler == nullptr) return E_POINTER;
    *handler = &handler_;
    return S_OK;
}

}  // namespace tovrel::platform
