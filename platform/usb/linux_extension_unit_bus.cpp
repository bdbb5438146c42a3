#include "platform/usb/linux_extension_unit_bus.h"

#include <set>

namespace tovrel::platform {

std::vector<std::unique_ptr<ExtensionUnit>> LinuxExtensionUnitBus::openUnits(uint16_t vendorId,
                                                                             uint16_t productId) {
    return searchUnits(vendorId, productId).units;
}

UnitSearch LinuxExtensionUnitBus::searchUnits(uint16_t vendorId, uint16_t productId) {
    UnitSearch search;
    bool nodesListed = true;
    std::set<std::pair<int, int>> served;
    int nodesRefused = 0;
    for (const auto& node : nodes_.findNodes(vendorId, productId, nodesListed)) {
        if (auto unit = UvcNodeBus::openNode(node.devnode)) {
            search.units.push_back(std::move(unit));
            served.insert({node.busNumber, node.deviceAddress});
        } else {
            ++nodesRefused;
        }
    }
    UnitSearch direct = libusb_.searchUnits(vendorId, productId, served);
    for (auto& unit : direct.units) search.units.push_back(std::move(unit));
    // Either route listing the devices is enough to look; a box counts as refused when neither
    // route opened anything of it.
    search.busOpened = nodesListed || direct.busOpened;
    search.notClaimed = direct.notClaimed + (direct.units.empty() ? nodesRefused : 0);
    return search;
}

std::unique_ptr<ExtensionUnitBus> makeLinuxExtensionUnitBus() {
    return std::make_unique<LinuxExtensionUnitBus>();
}

}  // namespace tovrel::platform
