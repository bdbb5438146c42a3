#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "platform/usb/extension_unit_bus.h"

namespace tovrel::platform {

// The box's extension unit through libusb control transfers on the default pipe, for a box that
// no video driver holds. The interface is not claimed (as the original sends its requests);
// each transfer gives up after kTransferTimeoutMs so an unanswered request cannot hang a caller.
// Failing libusb calls are logged to the debug output with the device ("usb BBB/DDD"), the call
// and libusb's error name and text.
// Results: openUnits and searchUnits give the units opened; searchUnits counts a matching device
// that libusb_open refused (LIBUSB_ERROR_ACCESS without a udev rule, LIBUSB_ERROR_NO_DEVICE when
// it went away) in notClaimed, and clears busOpened when libusb_init or libusb_get_device_list
// fail. A unit's deviceRequest gives the bytes of the data stage (fewer than wLength on a short
// IN transfer) or kDeviceRequestFailed for every libusb error (LIBUSB_ERROR_PIPE: the box
// stalled the request; LIBUSB_ERROR_TIMEOUT; LIBUSB_ERROR_NO_DEVICE: unplugged;
// LIBUSB_ERROR_BUSY: another driver holds the interface) and for a null data pointer.
// Any thread.
class LibusbBus final : public ExtensionUnitBus {
  public:
    static constexpr unsigned kTransferTimeoutMs = 1000;

    LibusbBus();
    ~LibusbBus() override;

    // Devices given as (bus number, device address) are skipped: another route serves them.
    std::vector<std::unique_ptr<ExtensionUnit>> openUnits(
        uint16_t vendorId, uint16_t productId, const std::set<std::pair<int, int>>& skipped);
    std::vector<std::unique_ptr<ExtensionUnit>> openUnits(uint16_t vendorId,
                                                          uint16_t productId) override;
    UnitSearch searchUnits(uint16_t vendorId, uint16_t productId,
                           const std::set<std::pair<int, int>>& skipped);
    UnitSearch searchUnits(uint16_t vendorId, uint16_t productId) override;

  private:
    struct Context;
    std::mutex mutex_;
    std::shared_ptr<Context> context_;  // made on first use
};

}  // namespace tovrel::platform
