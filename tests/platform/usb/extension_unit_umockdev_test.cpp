// The real extension-unit backends against an emulated box: libusb control transfers on the
// USB device's default pipe, and uvcvideo's control query on its video node. Runs under
// umockdev-wrapper; skips without it.

#include <gtest/gtest.h>

#include "device/box_status.h"
#include "device/register_map.h"
#include "device/register_transport.h"
#include "platform/system/debug_output.h"
#include "platform/system/manual_clock.h"
#include "platform/usb/libusb_bus.h"
#include "platform/usb/linux_extension_unit_bus.h"
#include "platform/usb/uvc_node_bus.h"
#include "tests/platform/usb/extension_unit_conformance.h"
#include "tests/platform/usb/umockdev_bed.h"

namespace tovrel::platform {
namespace {

using testing::UmockdevBed;
namespace dev = tovrel::device;

class ExtensionUnitUmockdev : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!UmockdevBed::available()) GTEST_SKIP() << "needs umockdev-wrapper (umockdev preload)";
    }

    ManualClock clock;
    std::shared_ptr<sim::SimulatedBridge> bridge = std::make_shared<sim::SimulatedBridge>(clock);

    // Identifies the box through `bus`, reads the status and makes one command write.
    void readAndWrite(ExtensionUnitBus& bus) {
        dev::KelmUvcLibrary library(bus);
        dev::RegisterTransport transport(library, clock);
        auto session = transport.IdentifyDevice();
        ASSERT_EQ(session->deviceType, 0);
        uint8_t timing = 0;
        ASSERT_TRUE(transport.ReadReg(dev::Reg::SrcTiming, timing));
        EXPECT_EQ(timing, 83);
        auto status = dev::BoxStatus::read(transport, session->deviceType);
        EXPECT_EQ(status[dev::BoxStatus::FirmwareVersion], "2.12.05");
        EXPECT_EQ(status[dev::BoxStatus::DdcVoltage], "5001 mV");
        EXPECT_EQ(status[dev::BoxStatus::OsMode], "Widnows Mode");
        ASSERT_TRUE(transport.WriteReg(dev::Cmd::Volume, 200));
        transport.CloseDeviceSession(std::move(session));
        EXPECT_EQ(bridge->readRegister(dev::Reg::Volume), 200);
        auto executed = bridge->executedCommands();
        ASSERT_EQ(executed.size(), 1u);
        EXPECT_EQ(executed[0].number, dev::Cmd::Volume);
        EXPECT_EQ(executed[0].parameter, 200);
    }
};

TEST_F(ExtensionUnitUmockdev, LibusbControlTransfersDriveTheBox) {
    UmockdevBed bed(bridge, {});
    LibusbBus bus;
    readAndWrite(bus);
    auto wire = bed.usbRequests();
    ASSERT_GE(wire.size(), 2u);
    // A read: the command block with SET_CUR on control 1, then GET_CUR of 256 on control 2.
    EXPECT_EQ(wire[0].bmRequestType, 0x21);
    EXPECT_EQ(wire[0].bRequest, 0x01);
    EXPECT_EQ(wire[0].wValue, 0x0100);
    EXPECT_EQ(wire[0].wIndex, 0x0400);
    EXPECT_EQ(wire[0].wLength, 30);
    EXPECT_EQ(wire[1].bmRequestType, 0xA1);
    EXPECT_EQ(wire[1].bRequest, 0x81);
    EXPECT_EQ(wire[1].wValue, 0x0200);
    EXPECT_EQ(wire[1].wLength, 256);
    EXPECT_TRUE(bed.nodeQueries().empty());
}

TEST_F(ExtensionUnitUmockdev, LibusbFindsOnlyMatchingIdsAndReportsStalls) {
    UmockdevBed bed(bridge, {});
    LibusbBus bus;
    EXPECT_TRUE(bus.openUnits(0x5D42, 0x0A60).empty());
    auto units = bus.openUnits(0x7B30, 0x4E11);
    ASSERT_EQ(units.size(), 1u);
    uint8_t buffer[256] = {};
    DeviceRequest bad{0x21, 0x01, 0x0100, 0x0500, 30, buffer};  // no such entity: the box stalls
    EXPECT_EQ(units[0]->deviceRequest(bad), kDeviceRequestFailed);
    EXPECT_TRUE(bus.openUnits(0x7B30, 0x4E11, {{1, 2}}).empty());
}

TEST_F(ExtensionUnitUmockdev, UvcNodeIsFoundByIdsAndAnswersTheControlQuery) {
    UmockdevBed bed(bridge, {.videoNode = true});
    UvcNodeBus nodes;
    auto found = nodes.findNodes(0x7B30, 0x4E11);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].devnode, "/dev/video0");
    EXPECT_EQ(found[0].busNumber, 1);
    EXPECT_EQ(found[0].deviceAddress, 2);
    EXPECT_TRUE(nodes.findNodes(0x7B30, 0x4E12).empty());

    readAndWrite(nodes);
    auto queries = bed.nodeQueries();
    ASSERT_GE(queries.size(), 2u);
    EXPECT_EQ(queries[0].wValue, 0x0100);  // selector 1 on unit 4
    EXPECT_EQ(queries[0].wIndex, 0x0400);
    EXPECT_EQ(queries[0].bRequest, 0x01);
    EXPECT_EQ(queries[0].wLength, 30);
    EXPECT_EQ(queries[1].bRequest, 0x81);
    EXPECT_EQ(queries[1].wValue, 0x0200);
    EXPECT_EQ(queries[1].wLength, 256);
}

TEST_F(ExtensionUnitUmockdev, UvcNodePadsShortWritesToTheControlLength) {
    UmockdevBed bed(bridge, {.videoNode = true, .strictLengths = true});
    UvcNodeBus nodes;
    readAndWrite(nodes);
    for (const auto& q : bed.nodeQueries()) {
        EXPECT_EQ(q.wLength,
                  q.wValue == 0x0100 ? 30 : 256);  // only whole-control queries got through
    }
}

TEST_F(ExtensionUnitUmockdev, TheLinuxBusPrefersTheVideoNode) {
    UmockdevBed bed(bridge, {.videoNode = true});
    LinuxExtensionUnitBus bus;
    auto units = bus.openUnits(0x7B30, 0x4E11);
    EXPECT_EQ(units.size(), 1u);  // one box, not one per route
    units.clear();
    readAndWrite(bus);
    EXPECT_FALSE(bed.nodeQueries().empty());
    EXPECT_TRUE(bed.usbRequests().empty());
}

TEST_F(ExtensionUnitUmockdev, TheLinuxBusFallsBackToLibusbWithoutANode) {
    UmockdevBed bed(bridge, {});
    LinuxExtensionUnitBus bus;
    readAndWrite(bus);
    EXPECT_FALSE(bed.usbRequests().empty());
}

// Collects the debug output while it lives.
struct DebugLines {
    std::shared_ptr<std::vector<std::string>> lines = std::make_shared<std::vector<std::string>>();
    DebugLines() {
        auto target = lines;
        setDebugOutputSink([target](std::string_view line) { target->emplace_back(line); });
    }
    ~DebugLines() { setDebugOutputSink({}); }
    bool has(std::initializer_list<const char*> parts) const {
        for (const auto& line : *lines) {
            bool all = true;
            for (const char* part : parts) all = all && line.find(part) != std::string::npos;
            if (all) return true;
        }
        return false;
    }
};

TEST_F(ExtensionUnitUmockdev, FailingCallsLogTheDeviceTheCallAndTheError) {
    DebugLines log;
    UmockdevBed bed(bridge, {.videoNode = true});
    uint8_t buffer[256] = {};
    DeviceRequest bad{0x21, 0x01, 0x0100, 0x0500, 30, buffer};  // no such entity: a stall

    LibusbBus usb;
    auto units = usb.openUnits(0x7B30, 0x4E11);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0]->deviceRequest(bad), kDeviceRequestFailed);
    EXPECT_TRUE(log.has({"usb 001/002", "libusb_control_transfer", "LIBUSB_ERROR_PIPE"}))
        << ::testing::PrintToString(*log.lines);

    UvcNodeBus nodes;
    auto node = UvcNodeBus::openNode("/dev/video0");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->deviceRequest(bad), kDeviceRequestFailed);
    EXPECT_TRUE(log.has({"/dev/video0", "UVCIOC_CTRL_QUERY", "Broken pipe", "errno"}))
        << ::testing::PrintToString(*log.lines);

    EXPECT_EQ(UvcNodeBus::openNode("/dev/video7"), nullptr);
    EXPECT_TRUE(log.has({"/dev/video7", "open", "No such file or directory"}))
        << ::testing::PrintToString(*log.lines);
}

TEST_F(ExtensionUnitUmockdev, ASearchTellsTheBoxesItFoundButCouldNotOpen) {
    UmockdevBed bed(bridge, {.videoNode = true});
    LinuxExtensionUnitBus bus;
    UnitSearch found = bus.searchUnits(0x7B30, 0x4E11);
    EXPECT_TRUE(found.busOpened);
    EXPECT_EQ(found.units.size(), 1u);
    EXPECT_EQ(found.notClaimed, 0);
    UnitSearch none = bus.searchUnits(0x5D42, 0x0A60);
    EXPECT_TRUE(none.busOpened);
    EXPECT_TRUE(none.units.empty());
    EXPECT_EQ(none.notClaimed, 0);
}

}  // namespace
}  // namespace tovrel::platform

namespace tovrel::platform::testing {
namespace {

// A real backend over the emulated box; the bed lives as long as the bus.
template <typename Bus>
class EmulatedBackend final : public ConformanceBackend {
  public:
    EmulatedBackend(std::shared_ptr<sim::SimulatedBridge> bridge, UmockdevBed::Options options)
        : bed_(std::move(bridge), options) {}
    ExtensionUnitBus& bus() override { return bus_; }

  private:
    UmockdevBed bed_;
    Bus bus_;
};

template <typename Bus>
ConformanceCase emulated(std::string name, UmockdevBed::Options options) {
    return {std::move(name),
            [options](std::shared_ptr<sim::SimulatedBridge> bridge,
                      std::string& skipReason) -> std::unique_ptr<ConformanceBackend> {
                if (!UmockdevBed::available()) {
                    skipReason = "needs umockdev-wrapper (umockdev preload)";
                    return nullptr;
                }
                return std::make_unique<EmulatedBackend<Bus>>(std::move(bridge), options);
            }};
}

INSTANTIATE_TEST_SUITE_P(
    RealBackends, ExtensionUnitConformance,
    ::testing::Values(emulated<LibusbBus>("Libusb", {}),
                      emulated<UvcNodeBus>("UvcvideoNode",
                                           {.videoNode = true, .strictLengths = true}),
                      emulated<LinuxExtensionUnitBus>("LinuxBus", {.videoNode = true})),
    conformanceCaseName);

}  // namespace
}  // namespace tovrel::platform::testing
