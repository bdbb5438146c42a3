#pragma once

// What every extension-unit backend must do, run against each: the simulated bridge's own bus,
// and the real backends (libusb, the uvcvideo node, the Linux bus choosing between them) over
// an emulated box. Each backend case makes its bus over the given simulated bridge, or gives a
// reason to skip where it cannot run here.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/system/manual_clock.h"
#include "platform/usb/extension_unit_bus.h"
#include "sim/bridge/simulated_bridge.h"

namespace tovrel::platform::testing {

// One backend under test; owns whatever the bus needs around it (an emulated device bed).
class ConformanceBackend {
  public:
    virtual ~ConformanceBackend() = default;
    virtual ExtensionUnitBus& bus() = 0;
};

struct ConformanceCase {
    std::string name;
    // Null with `skipReason` set when the backend cannot run here.
    std::function<std::unique_ptr<ConformanceBackend>(std::shared_ptr<sim::SimulatedBridge>,
                                                      std::string& skipReason)>
        make;
};

class ExtensionUnitConformance : public ::testing::TestWithParam<ConformanceCase> {
  protected:
    void SetUp() override;

    ManualClock clock;
    std::shared_ptr<sim::SimulatedBridge> bridge = std::make_shared<sim::SimulatedBridge>(clock);
    std::unique_ptr<ConformanceBackend> backend;
};

inline std::string conformanceCaseName(const ::testing::TestParamInfo<ConformanceCase>& info) {
    return info.param.name;
}

}  // namespace tovrel::platform::testing
