#pragma once

#include <memory>

#include "platform/usb/extension_unit_bus.h"
#include "platform/usb/libusb_bus.h"
#include "platform/usb/uvc_node_bus.h"

namespace tovrel::platform {

// The real boxes: through uvcvideo's video node where the driver has one, through libusb
// control transfers for the devices without a node. Any thread.
class LinuxExtensionUnitBus final : public ExtensionUnitBus {
  public:
    std::vector<std::unique_ptr<ExtensionUnit>> openUnits(uint16_t vendorId,
                                                          uint16_t productId) override;
    // Failures as UvcNodeBus and LibusbBus give them; a node that could not be opened but whose
    // device libusb opened is not counted.
    UnitSearch searchUnits(uint16_t vendorId, uint16_t productId) override;

  private:
    UvcNodeBus nodes_;
    LibusbBus libusb_;
};

std::unique_ptr<ExtensionUnitBus> makeLinuxExtensionUnitBus();

}  // namespace tovrel::platform
