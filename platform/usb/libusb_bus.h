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

  private:
    struct Context;
    std::mutex mutex_;
    std::shared_ptr<Context> context_;  // made on first use
};

}  // namespace tovrel::platform
