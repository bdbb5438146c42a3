#include <gtest/gtest.h>

#include "device/box_status.h"
#include "device/register_transport.h"
#include "sim/backends/simulated_backends.h"

namespace tovrel::sim {
namespace {

TEST(SimulatedBackends, CarryABridgeTheRegisterTransportFinds) {
    auto simulated = makeSimulatedBackends();
    ASSERT_NE(simulated->extensionUnits, nullptr);
    device::KelmUvcLibrary library(*simulated->extensionUnits);
    device::RegisterTransport transport(library, *simulated->clock);
    auto session = transport.IdentifyDevice();
    EXPECT_NE(session->deviceType, device::kNoDevice);
    auto status = device::BoxStatus::read(transport, session->deviceType);
    transport.CloseDeviceSession(std::move(session));
    EXPECT_EQ(status[device::BoxStatus::AudioFormatType], "LPCM");

    // The real choice has a bus too; on a machine without a box it finds nothing.
    auto real = platform::makeLinuxBackends();
    ASSERT_NE(real->extensionUnits, nullptr);
}

}  // namespace
}  // namespace tovrel::sim
