#pragma once

#include <string>
#include <vector>

#include "platform/usb/extension_unit_bus.h"

namespace tovrel::platform {

// The box's extension unit through uvcvideo: UVCIOC_CTRL_QUERY on the box's video node, which
// works while the driver streams (libusb cannot claim the interface then). The node is found
// through udev: a video4linux device whose USB parent carries the vendor and product id; of a
// device's nodes the capture node (sysfs index 0) is taken, metadata nodes answer no controls.
// Any thread.
class UvcNodeBus final : public ExtensionUnitBus {
  public:
    struct Node {
        std::string devnode;  // /dev/videoN
        int busNumber = -1;   // of the USB device, to tell it from the libusb route
        int deviceAddress = -1;
    };

    std::vector<Node> findNodes(uint16_t vendorId, uint16_t productId) const;
    std::vector<std::unique_ptr<ExtensionUnit>> openUnits(uint16_t vendorId,
                                                          uint16_t productId) override;

    // Opens one node; null when it cannot be opened.
    static std::unique_ptr<ExtensionUnit> openNode(const std::string& devnode);
};

}  // namespace tovrel::platform
