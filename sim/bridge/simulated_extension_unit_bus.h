#pragma once

#include <memory>
#include <vector>

#include "platform/usb/extension_unit_bus.h"
#include "sim/bridge/simulated_bridge.h"

namespace tovrel::sim {

// The simulated boxes as the extension-unit bus sees them: each plugged-in bridge with matching
// ids opens as one unit whose requests the bridge answers. An open unit of a box that is then
// unplugged fails every request, like a real device that went away. Any thread.
class SimulatedExtensionUnitBus final : public platform::ExtensionUnitBus {
  public:
    SimulatedExtensionUnitBus() = default;
    explicit SimulatedExtensionUnitBus(std::shared_ptr<SimulatedBridge> bridge);

    void addBridge(std::shared_ptr<SimulatedBridge> bridge);
    // The first bridge: the simulated box of `--simulate`.
    std::shared_ptr<SimulatedBridge> bridge() const;

    std::vector<std::unique_ptr<platform::ExtensionUnit>> openUnits(uint16_t vendorId,
                                                                    uint16_t productId) override;

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<SimulatedBridge>> bridges_;
};

}  // namespace tovrel::sim
