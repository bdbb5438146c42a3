#pragma once

#include "platform/usb/device_request.h"

namespace tovrel::platform {

// One opened box, reached through the extension unit of its bridge: the place of a vendor library
// handle or of a macOS USB device interface. Closing is destruction.
// One thread at a time per object; different objects may be used from different threads.
class ExtensionUnit {
  public:
    virtual ~ExtensionUnit() = default;

    // Sends the request and, for an IN request, fills request.data. Gives the number of bytes of
    // the data stage that went through (which may be fewer than wLength), or kDeviceRequestFailed.
    virtual int deviceRequest(const DeviceRequest& request) = 0;
};

}  // namespace tovrel::platform
