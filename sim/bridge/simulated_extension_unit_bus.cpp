#include "sim/bridge/simulated_extension_unit_bus.h"

namespace tovrel::sim {

namespace {

class SimulatedUnit final : public platform::ExtensionUnit {
  public:
    explicit SimulatedUnit(std::shared_ptr<SimulatedBridge> bridge) : bridge_(std::move(bridge)) {}
    int deviceRequest(const platform::DeviceRequest& request) override {
        return bridge_->handleRequest(request);
    }

  private:
    std::shared_ptr<SimulatedBridge> bridge_;
};

}  // namespace

SimulatedExtensionUnitBus::SimulatedExtensionUnitBus(std::shared_ptr<SimulatedBridge> bridge) {
    addBridge(std::move(bridge));
}

void SimulatedExtensionUnitBus::addBridge(std::shared_ptr<SimulatedBridge> bridge) {
    std::lock_guard lock(mutex_);
    bridges_.push_back(std::move(bridge));
}

std::shared_ptr<SimulatedBridge> SimulatedExtensionUnitBus::bridge() const {
    std::lock_guard lock(mutex_);
    return bridges_.empty() ? nullptr : bridges_.front();
}

std::vector<std::unique_ptr<platform::ExtensionUnit>> SimulatedExtensionUnitBus::openUnits(
    uint16_t vendorId, uint16_t productId) {
    std::lock_guard lock(mutex_);
    std::vector<std::unique_ptr<platform::ExtensionUnit>> units;
    for (const auto& bridge : bridges_) {
        if (bridge->plugged() && bridge->vendorId() == vendorId && bridge->productId() == productId)
            units.push_back(std::make_unique<SimulatedUnit>(bridge));
    }
    return units;
}

}  // namespace tovrel::sim
