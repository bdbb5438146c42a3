#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/media/guid.h"
#include "platform/media/mf_constants.h"

namespace tovrel::platform {

// A store of typed values under GUID keys: the base of media types, samples and device
// activation objects, and the configuration handed to reader creation. Reading a key with the
// wrong type answers MF_E_INVALIDTYPE, a missing key MF_E_ATTRIBUTENOTFOUND, as the platform's
// store does. Internally locked: any thread.
class Attributes {
  public:
    using Unknown = std::shared_ptr<void>;
    using Value =
        std::variant<uint32_t, uint64_t, double, Guid, std::string, std::vector<uint8_t>, Unknown>;

    Attributes() = default;
    explicit Attributes(uint32_t initialSize) { items_.reserve(initialSize); }
    Attributes(const Attributes& other);
    Attributes& operator=(const Attributes& other);
    virtual ~Attributes() = default;

    HRESULT SetUINT32(const Guid& key, uint32_t value) { return set(key, Value(value)); }
    HRESULT SetUINT64(const Guid& key, uint64_t value) { return set(key, Value(value)); }
    HRESULT SetDouble(const Guid& key, double value) { return set(key, Value(value)); }
    HRESULT SetGUID(const Guid& key, const Guid& value) { return set(key, Value(value)); }
    HRESULT SetString(const Guid& key, std::string value) {
        return set(key, Value(std::move(value)));
    }
    HRESULT SetBlob(const Guid& key, const uint8_t* data, size_t size);
    // Stores a shared reference to an object (the platform's IUnknown slot); GetUnknown hands
    // the same reference back, the caller knows its type as the key documents it.
    HRESULT SetUnknown(const Guid& key, Unknown value) { return set(key, Value(std::move(value))); }

    HRESULT GetUINT32(const Guid& key, uint32_t* value) const;
    HRESULT GetUINT64(const Guid& key, uint64_t* value) const;
    HRESULT GetDouble(const Guid& key, double* value) const;
    HRESULT GetGUID(const Guid& key, Guid* value) const;
    HRESULT GetString(const Guid& key, std::string* value) const;
    // The platform's name for reading a string into a new allocation; here a copy.
    HRESULT GetAllocatedString(const Guid& key, std::string* value) const {
        return GetString(key, value);
    }
    HRESULT GetBlob(const Guid& key, std::vector<uint8_t>* value) const;
    HRESULT GetUnknown(const Guid& key, Unknown* value) const;
    template <typename T>
    HRESULT GetUnknown(const Guid& key, std::shared_ptr<T>* value) const {
        Unknown raw;
        HRESULT hr = GetUnknown(key, &raw);
        if (SUCCEEDED(hr)) *value = std::static_pointer_cast<T>(raw);
        return hr;
    }

    // Returns the value with this key, if any, or S_FALSE-free MF_E_ATTRIBUTENOTFOUND.
    HRESULT GetItem(const Guid& key, Value* value) const;
    bool HasItem(const Guid& key) const;
    HRESULT DeleteItem(const Guid& key);
    HRESULT DeleteAllItems();
    uint32_t GetCount() const;
    HRESULT GetItemByIndex(uint32_t index, Guid* key, Value* value) const;
    // Copies every item of this store into `destination` (replacing the ones with equal keys).
    HRESULT CopyAllItems(Attributes* destination) const;
    // True when every item of this store is present in `other` with an equal value.
    bool IsSubsetOf(const Attributes& other) const;

  private:
    HRESULT set(const Guid& key, Value value);
    const Value* find(const Guid& key) const;

    mutable std::mutex mutex_;
    // Few keys per store: a flat list keeps lookups cheap and reuse allocation-free.
    std::vector<std::pair<Guid, Value>> items_;
};

// The platform's creation function; `initialSize` is a hint.
HRESULT MFCreateAttributes(std::unique_ptr<Attributes>* attributes, uint32_t initialSize);

// Packed pairs: the high 32 bits carry the first value (width, numerator), the low 32 bits the
// second (height, denominator).
constexpr uint64_t packPair(uint32_t high, uint32_t low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}
HRESULT MFSetAttributeSize(Attributes* attributes, const Guid& key, uint32_t width,
                           uint32_t height);
HRESULT MFGetAttributeSize(const Attributes* attributes, const Guid& key, uint32_t* width,
                           uint32_t* height);
HRESULT MFSetAttributeRatio(Attributes* attributes, const Guid& key, uint32_t numerator,
                            uint32_t denominator);
HRESULT MFGetAttributeRatio(const Attributes* attributes, const Guid& key, uint32_t* numerator,
                            uint32_t* denominator);

}  // namespace tovrel::platform
