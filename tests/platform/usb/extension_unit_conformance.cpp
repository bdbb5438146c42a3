#include "tests/platform/usb/extension_unit_conformance.h"

#include "device/box_status.h"
#include "device/bridge_requests.h"
#include "device/register_map.h"
#include "device/register_transport.h"

namespace tovrel::platform::testing {

namespace dev = tovrel::device;

void ExtensionUnitConformance::SetUp() {
    std::string reason;
    backend = GetParam().make(bridge, reason);
    if (!backend) GTEST_SKIP() << reason;
}

namespace {

std::unique_ptr<ExtensionUnit> openTheBox(ExtensionUnitBus& bus) {
    auto units = bus.openUnits(0x7B30, 0x4E11);
    return units.size() == 1 ? std::move(units.front()) : nullptr;
}

}  // namespace

TEST_P(ExtensionUnitConformance, FindsOneUnitForItsIdsAndNoneForOthers) {
    EXPECT_EQ(backend->bus().openUnits(0x7B30, 0x4E11).size(), 1u);
    EXPECT_TRUE(backend->bus().openUnits(0x5D42, 0x0A60).empty());
    UnitSearch search = backend->bus().searchUnits(0x7B30, 0x4E11);
    EXPECT_TRUE(search.busOpened);
    EXPECT_EQ(search.units.size(), 1u);
    EXPECT_EQ(search.notClaimed, 0);
}

TEST_P(ExtensionUnitConformance, ACommandBlockWrittenIsReadBackWhole) {
    auto unit = openTheBox(backend->bus());
    ASSERT_NE(unit, nullptr);
    ASSERT_TRUE(dev::BridgeRequests::writeCommandBlock(
        *unit, dev::BridgeRequests::i2cBlock(dev::kI2cRead, 0xB4, 1, dev::Reg::SrcTiming, 1)));
    dev::CommandBlock back{};
    ASSERT_TRUE(dev::BridgeRequests::readCommandBlock(*unit, back));
    EXPECT_EQ(back, dev::BridgeRequests::i2cBlock(dev::kI2cRead, 0xB4, 1, 11, 1));
    dev::RequestBuffer data{};
    EXPECT_EQ(dev::BridgeRequests::readDataBuffer(*unit, data), 256);
    EXPECT_EQ(data[0], 83);  // "1920x1080p@60"
}

TEST_P(ExtensionUnitConformance, ARefusedRequestFailsAndTheUnitStaysUsable) {
    auto unit = openTheBox(backend->bus());
    ASSERT_NE(unit, nullptr);
    dev::RequestBuffer buffer{};
    DeviceRequest otherEntity{0x21, 0x01, 0x0100, 0x0500, 30, buffer.data()};
    EXPECT_EQ(unit->deviceRequest(otherEntity), kDeviceRequestFailed);
    uint8_t timing = 0;
    EXPECT_EQ(dev::BridgeRequests::i2cRead(*unit, 0xB4, 1, dev::Reg::SrcTiming, &timing, 1),
              dev::TransferResult::Ok);
    EXPECT_EQ(timing, 83);
}

TEST_P(ExtensionUnitConformance, AnOpenUnitOfAnUnpluggedBoxFailsEveryRequest) {
    auto unit = openTheBox(backend->bus());
    ASSERT_NE(unit, nullptr);
    bridge->setPlugged(false);
    uint8_t byte = 0;
    EXPECT_NE(dev::BridgeRequests::i2cRead(*unit, 0xB4, 1, 0, &byte, 1), dev::TransferResult::Ok);
    EXPECT_NE(dev::BridgeRequests::i2cWrite(*unit, 0xB4, 1, 6, &byte, 1), dev::TransferResult::Ok);
    bridge->setPlugged(true);
}

TEST_P(ExtensionUnitConformance, CarriesTheRegisterOperationsOfTheVendorLibrary) {
    dev::KelmUvcLibrary library(backend->bus());
    dev::RegisterTransport transport(library, clock);
    auto session = transport.IdentifyDevice();
    ASSERT_EQ(session->deviceType, 0);
    auto status = dev::BoxStatus::read(transport, session->deviceType);
    EXPECT_EQ(status[dev::BoxStatus::SourceTiming], "1920x1080p@60");
    EXPECT_EQ(status[dev::BoxStatus::FirmwareVersion], "2.12.05");
    EXPECT_EQ(status[dev::BoxStatus::DdcVoltage], "5001 mV");
    EXPECT_EQ(status[dev::BoxStatus::OsMode], "Widnows Mode");
    ASSERT_TRUE(transport.WriteReg(dev::Cmd::Volume, 200));
    transport.CloseDeviceSession(std::move(session));
    EXPECT_EQ(library.openHandleCount(), 0u);
    auto executed = bridge->executedCommands();
    ASSERT_EQ(executed.size(), 1u);
    EXPECT_EQ(executed[0].number, dev::Cmd::Volume);
    EXPECT_EQ(executed[0].parameter, 200);
}

}  // namespace tovrel::platform::testing
