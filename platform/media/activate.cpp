#include "platform/media/activate.h"

namespace tovrel::platform {

HRESULT Activate::ActivateObject(std::shared_ptr<MediaSource>* source) {
    if (source == nullptr) return E_POINTER;
    if (!activation_) return E_NOTIMPL;
    std::shared_ptr<MediaSource> created;
    HRESULT hr = activation_(&created);
    if (FAILED(hr)) return hr;
    if (!created) return E_UNEXPECTED;
    *source = std::move(created);
    return S_OK;
}

}  // namespace tovrel::platform
