#include "platform/media/media_type_handler.h"

namespace tovrel::platform {

HRESULT MediaTypeHandler::GetMediaTypeCount(uint32_t* count) const {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<uint32_t>(types_.size());
    return S_OK;
}

HRESULT MediaTypeHandler::GetMediaTypeByIndex(uint32_t index,
                                              std::unique_ptr<MediaType>* type) const {
    if (type == nullptr) return E_POINTER;
    if (index >= types_.size()) return MF_E_NO_MORE_TYPES;
    *type = std::make_unique<MediaType>(types_[index]);
    return S_OK;
}

HRESULT MediaTypeHandler::GetMajorType(Guid* majorType) const {
    if (majorType == nullptr) return E_POINTER;
    if (types_.empty()) return MF_E_ATTRIBUTENOTFOUND;
    return types_.front().GetMajorType(majorType);
}

}  // namespace tovrel::platform
