#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/usb/extension_unit_bus.h"

namespace tovrel::device {

// Our own implementation of the device vendor's UVC helper library: box lookup by USB ids and
// I2C transfers through the bridge, carried by the extension-unit requests of BridgeRequests.
// The four functions keep the vendor library's names and shapes so that the register transport
// reads like the original. A handle is an opaque pointer to a unit this object opened; handles
// it did not hand out (or already closed) are refused, never dereferenced.
// Any thread; the handle table is locked, a single handle is used by one thread at a time.
class KelmUvcLibrary {
  public:
    explicit KelmUvcLibrary(platform::ExtensionUnitBus& bus);
    ~KelmUvcLibrary();
    KelmUvcLibrary(const KelmUvcLibrary&) = delete;
    KelmUvcLibrary& operator=(const KelmUvcLibrary&) = delete;

    // Appends one handle per attached device with these ids, given as hexadecimal text
    // ("7b30"). Text that is not a 16-bit hexadecimal number finds nothing.
    void GetKelmUVCHandle(std::vector<void*>& handles, const char* vid, const char* pid);
    // Closes every handle of the list and empties it.
    void CloseKelmUVCHandle(std::vector<void*>& handles);
    // Nonzero on success. At most 256 bytes per transfer.
    int UVC_I2CM_Read(void* handle, uint8_t slave, uint8_t addressLength, uint32_t address,
                      uint16_t length, uint8_t* data);
    int UVC_I2CM_Write(void* handle, uint8_t slave, uint8_t addressLength, uint32_t address,
                       uint16_t length, const uint8_t* data);

    size_t openHandleCount() const;

  private:
    platform::ExtensionUnit* find(void* handle) const;

    platform::ExtensionUnitBus& bus_;
    mutable std::mutex mutex_;
    std::unordered_map<void*, std::unique_ptr<platform::ExtensionUnit>> open_;
};

}  // namespace tovrel::device
