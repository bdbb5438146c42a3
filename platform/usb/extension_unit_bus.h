#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/usb/extension_unit.h"

namespace tovrel::platform {

// Finds the attached boxes with a USB vendor and product id and opens each of them.
// Implementations are safe to call from any thread.
class ExtensionUnitBus {
  public:
    virtual ~ExtensionUnitBus() = default;

    // One opened unit per attached device with these ids, in the system's enumeration order;
    // empty when none is attached or none could be opened.
    virtual std::vector<std::unique_ptr<ExtensionUnit>> openUnits(uint16_t vendorId,
                                                                  uint16_t productId) = 0;
};

}  // namespace tovrel::platform
