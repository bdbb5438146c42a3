#include "device/kelm_uvc_library.h"

#include <charconv>
#include <cstring>
#include <optional>

#include "device/bridge_requests.h"

namespace tovrel::device {

namespace {

std::optional<uint16_t> parseId(const char* text) {
    if (text == nullptr) return std::nullopt;
    size_t length = std::strlen(text);
    if (length == 0 || length > 4) return std::nullopt;
    uint16_t value = 0;
    auto [end, error] = std::from_chars(text, text + length, value, 16);
    if (error != std::errc() || end != text + length) return std::nullopt;
    return value;
}

}  // namespace

KelmUvcLibrary::KelmUvcLibrary(platform::ExtensionUnitBus& bus) : bus_(bus) {}

KelmUvcLibrary::~KelmUvcLibrary() = default;

void KelmUvcLibrary::GetKelmUVCHandle(std::vector<void*>& handles, const char* vid,
                                      const char* pid) {
    auto vendorId = parseId(vid);
    auto productId = parseId(pid);
    if (!vendorId || !productId) return;
    auto units = bus_.openUnits(*vendorId, *productId);
    std::lock_guard lock(mutex_);
    for (auto& unit : units) {
        void* handle = unit.get();
        open_.emplace(handle, std::move(unit));
        handles.push_back(handle);
    }
}

void KelmUvcLibrary::CloseKelmUVCHandle(std::vector<void*>& handles) {
    std::lock_guard lock(mutex_);
    for (void* handle : handles) open_.erase(handle);
    handles.clear();
}

platform::ExtensionUnit* KelmUvcLibrary::find(void* handle) const {
    std::lock_guard lock(mutex_);
    auto it = open_.find(handle);
    return it == open_.end() ? nullptr : it->second.get();
}

int KelmUvcLibrary::UVC_I2CM_Read(void* handle, uint8_t slave, uint8_t addressLength,
                                  uint32_t address, uint16_t length, uint8_t* data) {
    platform::ExtensionUnit* unit = find(handle);
    if (unit == nullptr || (data == nullptr && length > 0)) return 0;
    return BridgeRequests::i2cRead(*unit, slave, addressLength, address, data, length) ==
                   TransferResult::Ok
               ? 1
               : 0;
}

int KelmUvcLibrary::UVC_I2CM_Write(void* handle, uint8_t slave, uint8_t addressLength,
                                   uint32_t address, uint16_t length, const uint8_t* data) {
    platform::ExtensionUnit* unit = find(handle);
    if (unit == nullptr || (data == nullptr && length > 0)) return 0;
    return BridgeRequests::i2cWrite(*unit, slave, addressLength, address, data, length) ==
                   TransferResult::Ok
               ? 1
               : 0;
}

size_t KelmUvcLibrary::openHandleCount() const {
    std::lock_guard lock(mutex_);
    return open_.size();
}

}  // namespace tovrel::device
