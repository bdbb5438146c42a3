#include "platform/media/presentation_descriptor.h"

namespace tovrel::platform {

void PresentationDescriptor::addStream(StreamDescriptor stream, bool selected) {
    streams_.push_back(std::move(stream));
    selected_.push_back(selected);
}

HRESULT PresentationDescriptor::GetStreamDescriptorCount(uint32_t* count) const {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<uint32_t>(streams_.size());
    return S_OK;
}

HRESULT PresentationDescriptor::GetStreamDescriptorByIndex(
    uint32_t index, bool* selected, const StreamDescriptor** descriptor) const {
    if (descriptor == nullptr) return E_POINTER;
    if (index >= streams_.size()) return E_INVALIDARG;
    if (selected != nullptr) *selected = selected_[index];
    *descriptor = &streams_[index];
    return S_OK;
}

}  // namespace tovrel::platform
