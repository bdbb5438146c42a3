#include "platform/usb/linux_extension_unit_bus.h"

#include <set>

namespace tovrel::platform {

std::vector<std::unique_ptr<ExtensionUnit>> LinuxExtensionUnitBus::openUnits(uint16_t vendorId,
                                                                             uint16_t productId) {
    std::vector<std::unique_ptr<ExtensionUnit>> units;
    std::set<std::pair<int, int>> served;
    for (const auto& node : nodes_.findNodes(vendorId, productId)) {
        if (auto unit = UvcNodeBus::openNode(node.devnode)) {
            units.push_back(std::move(unit));
            served.insert({node.busNumber, node.deviceAddress});
        }
    }
    for (auto& unit : libusb_.openUnits(vendorId, productId, served))
        units.push_back(std::move(unit));
    return units;
}

std::unique_ptr<ExtensionUnitBus> makeLinuxExtensionUnitBus() {
    return std::make_unique<LinuxExtensionUnitBus>();
}

}  // namespace tovrel::platform
