#pragma once

#include <string>
#include <vector>

#include "platform/usb/extension_unit_bus.h"

namespace tovrel::platform {

// The box's extension unit through uvcvideo: UVCIOC_CTRL_QUERY on the box's video node, which
// works while the driver streams (libusb cannot claim the interface then). The node is found
// through udev: a video4linux device whose USB parent carries the vendor and product id; of a
// device's nodes the capture node (sysfs index 0) is taken, metadata nodes answer no controls.
// Failing system calls are logged to the debug output with the node, the call and the errno
// text. Results: searchUnits clears busOpened when udev cannot list the video4linux devices
// (udev_new, udev_enumerate_scan_devices) and counts in notClaimed a node that open refused
// (EACCES, EBUSY, ENOENT). A unit's deviceRequest gives wLength, or for a GET_CUR fetched whole
// the bytes copied, or kDeviceRequestFailed: for anything but a class request with SET_CUR or
// GET_CUR, and when the ioctl fails (EPIPE: the box stalled; ENOENT/EINVAL: no such unit or
// control; ENODEV: unplugged; EBUSY); ENOBUFS is not a failure but a size to be padded.
// Any thread.
class UvcNodeBus final : public ExtensionUnitBus {
  public:
    struct Node {
        std::string devnode;  // /dev/videoN
        int busNumber = -1;   // of the USB device, to tell it from the libusb route
        int deviceAddress = -1;
    };

    std::vector<Node> findNodes(uint16_t vendorId, uint16_t productId) const;
    // `listed` tells whether udev could list the devices at all.
    std::vector<Node> findNodes(uint16_t vendorId, uint16_t productId, bool& listed) const;
    std::vector<std::unique_ptr<ExtensionUnit>> openUnits(uint16_t vendorId,
                                                          uint16_t productId) override;
    UnitSearch searchUnits(uint16_t vendorId, uint16_t productId) override;

    // Opens one node; null when it cannot be opened.
    static std::unique_ptr<ExtensionUnit> openNode(const std::string& devnode);
};

}  // namespace tovrel::platform
