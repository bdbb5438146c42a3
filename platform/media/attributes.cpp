#include "platform/media/attributes.h"

namespace tovrel::platform {

Attributes::Attributes(const Attributes& other) {
    std::lock_guard lock(other.mutex_);
    items_ = other.items_;
}

Attributes& Attributes::operator=(const Attributes& other) {
    if (this == &other) return *this;
    std::vector<std::pair<Guid, Value>> copy;
    {
        std::lock_guard lock(other.mutex_);
        copy = other.items_;
    }
    std::lock_guard lock(mutex_);
    items_ = std::move(copy);
    return *this;
}

const Attributes::Value* Attributes::find(const Guid& key) const {
    for (const auto& item : items_) {
        if (item.first == key) return &item.second;
    }
    return nullptr;
}

HRESULT Attributes::set(const Guid& key, Value value) {
    std::lock_guard lock(mutex_);
    for (auto& item : items_) {
        if (item.first == key) {
            item.second = std::move(value);
            return S_OK;
        }
    }
    items_.emplace_back(key, std::move(value));
    return S_OK;
}

HRESULT Attributes::SetBlob(const Guid& key, const uint8_t* data, size_t size) {
    if (data == nullptr && size != 0) return E_POINTER;
    return set(key, Value(std::vector<uint8_t>(data, data + size)));
}

namespace {
template <typename T>
HRESULT readAs(const Attributes::Value* value, T* out) {
    if (out == nullptr) return E_POINTER;
    if (value == nullptr) return MF_E_ATTRIBUTENOTFOUND;
    const T* typed = std::get_if<T>(value);
    if (typed == nullptr) return MF_E_INVALIDTYPE;
    *out = *typed;
    return S_OK;
}
}  // namespace

HRESULT Attributes::GetUINT32(const Guid& key, uint32_t* value) const {
    std::lock_guard lock(mutex_);
    return readAs(find(key), value);
}
HRESULT Attributes::GetUINT64(const Guid& key, uint64_t* value) const {
    std::lock_guard lock(mutex_);
    return readAs(find(key), value);
}
HRESULT Attributes::GetDouble(const Guid& key, double* value) const {
    std::lock_guard lock(mutex_);
    return readAs(find(key), value);
}
HRESULT Attributes::GetGUID(const Guid& key, Guid* value) const {
    std::lock_guard lock(mutex_);
    return readAs(find(key), value);
}
HRESULT Attributes::GetString(const Guid& key, std::string* value) const {
    std::lock_guard lock(mutex_);
    return readAs(find(key), value);
}
HRESULT Attributes::GetBlob(const Guid& key, std::vector<uint8_t>* value) const {
    std::lock_guard lock(mutex_);
    return readAs(find(key), value);
}
HRESULT Attributes::GetUnknown(const Guid& key, Unknown* value) const {
    std::lock_guard lock(mutex_);
    return readAs(find(key), value);
}

HRESULT Attributes::GetItem(const Guid& key, Value* value) const {
    std::lock_guard lock(mutex_);
    const Value* found = find(key);
    if (found == nullptr) return MF_E_ATTRIBUTENOTFOUND;
    if (value != nullptr) *value = *found;
    return S_OK;
}

bool Attributes::HasItem(const Guid& key) const {
    std::lock_guard lock(mutex_);
    return find(key) != nullptr;
}

HRESULT Attributes::DeleteItem(const Guid& key) {
    std::lock_guard lock(mutex_);
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (it->first == key) {
            items_.erase(it);
            return S_OK;
        }
    }
    return S_OK;
}

HRESULT Attributes::DeleteAllItems() {
    std::lock_guard lock(mutex_);
    items_.clear();
    return S_OK;
}

uint32_t Attributes::GetCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<uint32_t>(items_.size());
}

HRESULT Attributes::GetItemByIndex(uint32_t index, Guid* key, Value* value) const {
    std::lock_guard lock(mutex_);
    if (index >= items_.size()) return E_INVALIDARG;
    if (key != nullptr) *key = items_[index].first;
    if (value != nullptr) *value = items_[index].second;
    return S_OK;
}

HRESULT Attributes::CopyAllItems(Attributes* destination) const {
    if (destination == nullptr) return E_POINTER;
    if (destination == this) return S_OK;
    std::vector<std::pair<Guid, Value>> copy;
    {
        std::lock_guard lock(mutex_);
        copy = items_;
    }
    for (auto& item : copy) destination->set(item.first, std::move(item.second));
    return S_OK;
}

bool Attributes::IsSubsetOf(const Attributes& other) const {
    std::vector<std::pair<Guid, Value>> mine;
    {
        std::lock_guard lock(mutex_);
        mine = items_;
    }
    for (const auto& item : mine) {
        Value theirs;
        if (FAILED(other.GetItem(item.first, &theirs)) || !(theirs == item.second)) return false;
    }
    return true;
}

HRESULT MFCreateAttributes(std::unique_ptr<Attributes>* attributes, uint32_t initialSize) {
    if (attributes == nullptr) return E_POINTER;
    *attributes = std::make_unique<Attributes>(initialSize);
    return S_OK;
}

HRESULT MFSetAttributeSize(Attributes* attributes, const Guid& key, uint32_t width,
                           uint32_t height) {
    if (attributes == nullptr) return E_POINTER;
    return attributes->SetUINT64(key, packPair(width, height));
}

HRESULT MFGetAttributeSize(const Attributes* attributes, const Guid& key, uint32_t* width,
                           uint32_t* height) {
    if (attributes == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    uint64_t packed = 0;
    HRESULT hr = attributes->GetUINT64(key, &packed);
    if (FAILED(hr)) return hr;
    *width = static_cast<uint32_t>(packed >> 32);
    *height = static_cast<uint32_t>(packed);
    return S_OK;
}

HRESULT MFSetAttributeRatio(Attributes* attributes, const Guid& key, uint32_t numerator,
                            uint32_t denominator) {
    return MFSetAttributeSize(attributes, key, numerator, denominator);
}

HRESULT MFGetAttributeRatio(const Attributes* attributes, const Guid& key, uint32_t* numerator,
                            uint32_t* denominator) {
    return MFGetAttributeSize(attributes, key, numerator, denominator);
}

}  // namespace tovrel::platform
