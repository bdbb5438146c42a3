#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/usb/extension_unit.h"

namespace tovrel::platform {

// What one search for a box found, with the reasons a box was not opened.
struct UnitSearch {
    std::vector<std::unique_ptr<ExtensionUnit>> units;
    bool busOpened = true;  // false: the system's device list could not be read at all
    int notClaimed = 0;     // devices with the ids that were found but could not be opened
};

// Finds the attached boxes with a USB vendor and product id and opens each of them.
// Why a system call failed is written to the debug output, not returned.
// Implementations are safe to call from any thread.
class ExtensionUnitBus {
  public:
    virtual ~ExtensionUnitBus() = default;

    // One opened unit per attached device with these ids, in the system's enumeration order;
    // empty when none is attached or none could be opened.
    virtual std::vector<std::unique_ptr<ExtensionUnit>> openUnits(uint16_t vendorId,
                                                                  uint16_t productId) = 0;

    // The same search, telling also why a box was not opened. A bus that cannot tell gives
    // openUnits' units and no failure.
    virtual UnitSearch searchUnits(uint16_t vendorId, uint16_t productId) {
        return {openUnits(vendorId, productId), true, 0};
    }
};

}  // namespace tovrel::platform
