#include "sim/bridge/simulated_bridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "device/box_status.h"
#include "device/bridge_requests.h"
#include "device/panel_transport.h"
#include "device/register_map.h"
#include "device/register_transport.h"
#include "device/status_decoder.h"
#include "platform/system/manual_clock.h"
#include "sim/bridge/simulated_extension_unit_bus.h"
#include "tests/platform/usb/extension_unit_conformance.h"

namespace tovrel::sim {
namespace {

namespace dev = tovrel::device;

struct Rig {
    platform::ManualClock clock;
    std::shared_ptr<SimulatedBridge> bridge;
    SimulatedExtensionUnitBus bus;
    dev::KelmUvcLibrary library{bus};
    dev::RegisterTransport transport{library, clock};
    std::vector<std::string> messages;
    dev::PanelTransport panel{bus, clock, [this](std::string_view m) { messages.emplace_back(m); }};

    explicit Rig(SimulatedBridge::Config config = {})
        : bridge(std::make_shared<SimulatedBridge>(clock, config)), bus(bridge) {}
};

TEST(SimulatedBridge, StatusTextsOfTheDefaultBox) {
    Rig rig;
    auto session = rig.transport.IdentifyDevice();
    ASSERT_EQ(session->deviceType, 0);
    auto status = dev::BoxStatus::read(rig.transport, session->deviceType);
    rig.transport.CloseDeviceSession(std::move(session));
    EXPECT_EQ(status[dev::BoxStatus::OsMode], "Widnows Mode");
    EXPECT_EQ(status[dev::BoxStatus::SourceTiming], "1920x1080p@60");
    EXPECT_EQ(status[dev::BoxStatus::DdcVoltage], "5001 mV");
    EXPECT_EQ(status[dev::BoxStatus::HpdVoltage], "4975 mV");
    EXPECT_EQ(status[dev::BoxStatus::AudioFormatType], "LPCM");
    EXPECT_EQ(status[dev::BoxStatus::AudioSampleRate], "48k");
    EXPECT_EQ(status[dev::BoxStatus::FirmwareVersion], "2.12.05");
    EXPECT_EQ(status[dev::BoxStatus::CaptureResolution], "1920x1080p@60");
}

TEST(SimulatedBridge, HdmiSourceStateDrivesTheStatusRegisters) {
    Rig rig;
    HdmiSourceState source;
    source.timingIndex = 117;
    source.audioRateCode = 7;
    source.audioTypeCode = 3;
    source.ddcReading = 0x0134;
    source.hpdReading = 0x0200;
    rig.bridge->setHdmiSource(source);
    auto session = rig.transport.IdentifyDevice();
    auto status = dev::BoxStatus::read(rig.transport, session->deviceType);
    rig.transport.CloseDeviceSession(std::move(session));
    EXPECT_EQ(status[dev::BoxStatus::SourceTiming], "4096x2160p@60y");
    EXPECT_EQ(status[dev::BoxStatus::AudioSampleRate], "768k");
    EXPECT_EQ(status[dev::BoxStatus::AudioFormatType], "HBR");
    EXPECT_EQ(status[dev::BoxStatus::DdcVoltage], "1985 mV");
    EXPECT_EQ(status[dev::BoxStatus::HpdVoltage], "3300 mV");
}

TEST(SimulatedBridge, DefaultsOfTheControlRegisters) {
    Rig rig;
    for (const auto& info : dev::kRegisterMap) {
        if (info.slave == dev::kMicrocontrollerSlave && info.defaultValue >= 0) {
            EXPECT_EQ(rig.bridge->readRegister(info.number), info.defaultValue) << info.name;
        }
    }
}

TEST(SimulatedBridge, ACommandWriteRunsTheCommandBusyThenIdle) {
    SimulatedBridge::Config config;
    config.commandBusyMs = 250;
    Rig rig(config);
    auto session = rig.transport.IdentifyDevice();
    ASSERT_TRUE(rig.transport.WriteReg(dev::Cmd::Brightness, 100));
    EXPECT_EQ(rig.bridge->readRegister(dev::Reg::Brightness), 100);
    EXPECT_TRUE(rig.bridge->commandBusy());
    EXPECT_EQ(rig.bridge->readRegister(dev::Reg::Command), dev::Cmd::Brightness);
    const uint64_t before = rig.clock.totalSleptMs();
    // The next write waits the command out: three reads at 0, 100, 200 ms see it busy.
    ASSERT_TRUE(rig.transport.WriteReg(dev::Cmd::Mute, 1));
    EXPECT_EQ(rig.clock.totalSleptMs() - before, 400u + 100u);
    rig.transport.CloseDeviceSession(std::move(session));
    auto executed = rig.bridge->executedCommands();
    ASSERT_EQ(executed.size(), 2u);
    EXPECT_EQ(executed[0].number, 6);
    EXPECT_EQ(executed[0].parameter, 100);
    EXPECT_EQ(executed[1].number, 27);
    EXPECT_EQ(executed[1].parameter, 1);
}

TEST(SimulatedBridge, ModeCommandsSwitchTheBridgeModeAndRecordCommandsTheFlag) {
    Rig rig;
    auto session = rig.transport.IdentifyDevice();
    ASSERT_TRUE(rig.transport.WriteReg(dev::Cmd::Mode, dev::kModeSwitchToMac));
    EXPECT_EQ(dev::StatusDecoder::osMode(rig.transport), "MacOS Mode");
    uint8_t mode = 0;
    ASSERT_TRUE(rig.transport.ReadReg(dev::BridgeReg::BridgeMode, mode, dev::kBridgeSlave));
    EXPECT_EQ(mode, 0x33);
    ASSERT_TRUE(rig.transport.WriteReg(dev::Cmd::Mode, dev::kModeSwitchToWindows));
    EXPECT_FALSE(rig.bridge->macMode());
    ASSERT_TRUE(rig.transport.WriteReg(dev::Cmd::RecordStart, 1));
    EXPECT_TRUE(rig.bridge->recording());
    ASSERT_TRUE(rig.transport.WriteReg(dev::Cmd::RecordStop, 1));
    EXPECT_FALSE(rig.bridge->recording());
    ASSERT_TRUE(rig.transport.WriteReg(dev::Cmd::FwTarget, dev::kFwTargetMac));
    EXPECT_EQ(rig.bridge->fwTarget(), dev::kFwTargetMac);
    // Register 12 still reads the capture resolution; status registers do not take writes.
    EXPECT_EQ(rig.bridge->readRegister(dev::Reg::CapRes), 16);
    ASSERT_TRUE(rig.transport.WriteReg(dev::Reg::SrcTiming, 3));
    EXPECT_EQ(rig.bridge->readRegister(dev::Reg::SrcTiming), 83);
    rig.transport.CloseDeviceSession(std::move(session));
}

TEST(SimulatedBridge, RegisterZeroNeverIdle) {
    Rig rig;
    BridgeFaults faults;
    faults.commandNeverIdle = true;
    rig.bridge->setFaults(faults);
    auto session = rig.transport.IdentifyDevice();
    EXPECT_FALSE(rig.transport.WriteReg(dev::Cmd::Volume, 200));
    EXPECT_EQ(rig.clock.totalSleptMs(), 5100u);
    EXPECT_EQ(rig.bridge->readRegister(dev::Reg::Volume), dev::kDefaultVolume);
    rig.transport.CloseDeviceSession(std::move(session));
}

TEST(SimulatedBridge, UnpluggedBoxIsNotFoundAndOpenUnitsFail) {
    Rig rig;
    ASSERT_TRUE(rig.panel.OpenBox());
    rig.bridge->setPlugged(false);
    uint8_t value = 0;
    EXPECT_FALSE(rig.panel.ReadReg(0, value));
    EXPECT_EQ(rig.messages, std::vector<std::string>{"Read1 Failed"});
    rig.panel.CloseBox();
    EXPECT_FALSE(rig.panel.OpenBox());
    auto session = rig.transport.IdentifyDevice();
    EXPECT_EQ(session->deviceType, 255);
    EXPECT_EQ(dev::BoxStatus::read(rig.transport, 255)[dev::BoxStatus::AudioFormatType],
              "No Device");
    rig.transport.CloseDeviceSession(std::move(session));
    rig.bridge->setPlugged(true);
    EXPECT_TRUE(rig.panel.OpenBox());
}

TEST(SimulatedBridge, FailingAndShortTransfersOnDemand) {
    Rig rig;
    ASSERT_TRUE(rig.panel.OpenBox());
    uint8_t value = 0;
    BridgeFaults faults;
    faults.failingRequests = bit(BridgeRequestKind::DataBufferRead);
    rig.bridge->setFaults(faults);
    EXPECT_FALSE(rig.panel.ReadReg(0, value));
    faults.failingRequests = bit(BridgeRequestKind::DataBufferWrite);
    rig.bridge->setFaults(faults);
    EXPECT_FALSE(rig.panel.I2CWrite(0xB4, 6, 1, &value, 1));
    faults.failingRequests = bit(BridgeRequestKind::CommandBlockWrite);
    rig.bridge->setFaults(faults);
    EXPECT_FALSE(rig.panel.ReadReg(0, value));
    faults = {};
    faults.shortTransfers = true;
    rig.bridge->setFaults(faults);
    EXPECT_TRUE(rig.panel.ReadReg(0, value));  // 128 of 256 bytes still carry the one asked for
    uint8_t many[200];
    EXPECT_FALSE(rig.panel.I2CRead(0xB4, 0, 1, many, 200));
    std::vector<std::string> expected{"Read2 Failed", "Write1 Failed", "Read1 Failed",
                                      "Read2 Failed"};
    EXPECT_EQ(rig.messages, expected);
}

TEST(SimulatedBridge, AnswersOnlyItsOwnRequests) {
    platform::ManualClock clock;
    SimulatedBridge bridge(clock);
    dev::RequestBuffer buffer{};
    auto send = [&](uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                    uint16_t length) {
        platform::DeviceRequest r{type, request, value, index, length, buffer.data()};
        return bridge.handleRequest(r);
    };
    EXPECT_EQ(send(0x21, 0x01, 0x0100, 0x0500, 30), -1);  // another entity
    EXPECT_EQ(send(0x21, 0x01, 0x0300, 0x0400, 30), -1);  // another control
    EXPECT_EQ(send(0x21, 0x81, 0x0100, 0x0400, 30), -1);  // GET_CUR as OUT
    EXPECT_EQ(send(0x21, 0x01, 0x0100, 0x0400, 29), -1);  // a short command block
    buffer.fill(0);
    buffer[0] = 0x77;
    EXPECT_EQ(send(0x21, 0x01, 0x0100, 0x0400, 30), -1);  // unknown block
    auto i2c = dev::BridgeRequests::i2cBlock(dev::kI2cRead, 0x50, 1, 0, 1);
    std::copy(i2c.begin(), i2c.end(), buffer.begin());
    EXPECT_EQ(send(0x21, 0x01, 0x0100, 0x0400, 30), -1);  // no such slave
    i2c = dev::BridgeRequests::i2cBlock(dev::kI2cRead, 0xB4, 1, 0, 257);
    std::copy(i2c.begin(), i2c.end(), buffer.begin());
    EXPECT_EQ(send(0x21, 0x01, 0x0100, 0x0400, 30), -1);  // longer than the data buffer
    EXPECT_EQ(send(0xA1, 0x81, 0x0200, 0x0400, 256), 256);
}

TEST(SimulatedBridge, FlashEraseAndProgramThroughThePanelTransport) {
    SimulatedBridge::Config config;
    config.flashBytes = 64 * 1024;
    Rig rig(config);
    ASSERT_TRUE(rig.panel.OpenBox());
    uint8_t result = 0;
    ASSERT_TRUE(rig.panel.FlashQuery(result));
    EXPECT_EQ(result, 1);

    std::vector<uint8_t> image(300);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i ^ 0x5A);
    ASSERT_TRUE(rig.panel.FlashErase(static_cast<int64_t>(image.size()) + 4096));
    ASSERT_TRUE(rig.panel.FlashProgram(image.data(), 256));
    ASSERT_TRUE(rig.panel.FlashProgram(image.data() + 256, 44));
    EXPECT_EQ(rig.bridge->flashContents(0, 300), image);
    EXPECT_EQ(rig.bridge->flashContents(300, 4), std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(rig.bridge->operationsWhileBusy(), 0);  // every step waited for the flash

    auto ops = rig.bridge->flashOperations();
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(ops[0].address, 0u);
    EXPECT_EQ(ops[1].address, 4096u);
    EXPECT_EQ(ops[2].address, 0u);
    EXPECT_EQ(ops[2].length, 256);
    EXPECT_EQ(ops[3].address, 256u);
    EXPECT_EQ(ops[3].length, 44);

    // Programming without an erase only clears bits, as NOR flash does.
    std::vector<uint8_t> again(4, 0x0F);
    ASSERT_TRUE(rig.panel.FlashErase(0));  // back to address 0 without erasing
    ASSERT_TRUE(rig.panel.FlashProgram(again.data(), 4));
    auto now = rig.bridge->flashContents(0, 4);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(now[i], image[i] & 0x0F);

    // The flash's end is the end.
    platform::DeviceRequest r{};
    auto erase = dev::BridgeRequests::flashEraseBlock(64 * 1024);
    dev::RequestBuffer buffer{};
    std::copy(erase.begin(), erase.end(), buffer.begin());
    r = {0x21, 0x01, 0x0100, 0x0400, 30, buffer.data()};
    EXPECT_EQ(rig.bridge->handleRequest(r), -1);
}

TEST(SimulatedBridge, FlashBusyForeverMakesEraseTimeOut) {
    Rig rig;
    BridgeFaults faults;
    faults.flashBusyForever = true;
    rig.bridge->setFaults(faults);
    ASSERT_TRUE(rig.panel.OpenBox());
    EXPECT_FALSE(rig.panel.FlashErase(4096));
    EXPECT_GE(rig.clock.totalSleptMs(), dev::PanelTransport::kFlashPollTimeoutMs);
}

// Threaded tests sit in suites whose name ends in "Threads", for the ThreadSanitizer run.
TEST(SimulatedBridgeThreads, OperationsUnderTheRegisterLockAllLandWhileTheSourceChanges) {
    platform::ManualClock clock;
    auto bridge = std::make_shared<SimulatedBridge>(clock);
    SimulatedExtensionUnitBus bus(bridge);
    // The register lock of the programs: the bridge has one data buffer, so two operations
    // must not interleave on it; the bridge itself must stay sound while they and the HDMI
    // source change around it.
    std::mutex registerLock;
    constexpr int kWrites = 50;
    std::atomic<bool> done{false};
    auto worker = [&](uint8_t reg, std::vector<std::string>* timings) {
        dev::KelmUvcLibrary library(bus);
        dev::RegisterTransport transport(library, clock);
        for (int i = 0; i < kWrites; ++i) {
            std::lock_guard lock(registerLock);
            auto session = transport.IdentifyDevice();
            EXPECT_EQ(session->deviceType, 0);
            EXPECT_TRUE(transport.WriteReg(reg, i));
            timings->push_back(dev::StatusDecoder::sourceTiming(transport));
            transport.CloseDeviceSession(std::move(session));
        }
    };
    std::vector<std::string> timingsA, timingsB;
    std::thread a(worker, dev::Reg::Brightness, &timingsA);
    std::thread b(worker, dev::Reg::Contrast, &timingsB);
    // Unlocked observers, as the simulated video and audio reach the bridge.
    std::thread source([&] {
        for (int i = 0; !done; ++i) {
            HdmiSourceState s;
            s.timingIndex = (i % 2) ? 83 : 79;  // "1920x1080p@60", "1920x1080p@50"
            bridge->setHdmiSource(s);
            (void)bridge->readRegister(dev::Reg::Volume);
            (void)bridge->executedCommands().size();
            std::this_thread::yield();
        }
    });
    a.join();
    b.join();
    done = true;
    source.join();

    auto executed = bridge->executedCommands();
    ASSERT_EQ(executed.size(), 2u * kWrites);
    int nextBrightness = 0, nextContrast = 0;
    for (const auto& command : executed) {
        // Each thread's commands carry its own values, in its own order.
        if (command.number == dev::Cmd::Brightness) {
            EXPECT_EQ(command.parameter, nextBrightness++);
        } else {
            EXPECT_EQ(command.number, dev::Cmd::Contrast);
            EXPECT_EQ(command.parameter, nextContrast++);
        }
    }
    EXPECT_EQ(nextBrightness, kWrites);
    EXPECT_EQ(nextContrast, kWrites);
    EXPECT_EQ(bridge->readRegister(dev::Reg::Brightness), kWrites - 1);
    EXPECT_EQ(bridge->readRegister(dev::Reg::Contrast), kWrites - 1);
    for (const auto* timings : {&timingsA, &timingsB}) {
        ASSERT_EQ(timings->size(), static_cast<size_t>(kWrites));
        for (const auto& text : *timings)
            EXPECT_TRUE(text == "1920x1080p@60" || text == "1920x1080p@50") << text;
    }
}

}  // namespace
}  // namespace tovrel::sim

namespace tovrel::platform::testing {
namespace {

class SimulatedBackend final : public ConformanceBackend {
  public:
    explicit SimulatedBackend(std::shared_ptr<sim::SimulatedBridge> bridge) : bus_(bridge) {}
    ExtensionUnitBus& bus() override { return bus_; }

  private:
    sim::SimulatedExtensionUnitBus bus_;
};

INSTANTIATE_TEST_SUITE_P(SimulatedBridge, ExtensionUnitConformance,
                         ::testing::Values(ConformanceCase{
                             "SimulatedBus",
                             [](std::shared_ptr<sim::SimulatedBridge> bridge, std::string&) {
                                 return std::make_unique<SimulatedBackend>(std::move(bridge));
                             }}),
                         conformanceCaseName);

}  // namespace
}  // namespace tovrel::platform::testing
