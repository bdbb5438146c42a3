#include "panel/app_delegate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "device/register_map.h"
#include "platform/system/manual_clock.h"
#include "sim/bridge/simulated_extension_unit_bus.h"
#include "sim/firmware/generated_firmware.h"

namespace tovrel::panel {
namespace {

using S = device::BoxStatus;

struct Rig {
    platform::ManualClock clock;
    std::shared_ptr<sim::SimulatedBridge> bridge = std::make_shared<sim::SimulatedBridge>(clock);
    sim::SimulatedExtensionUnitBus bus{bridge};
    std::vector<std::string> log;
    device::PanelTransport transport{bus, clock, [](std::string_view) {}};
    sim::GeneratedFirmware images{4096};
    AppDelegate delegate{transport, images, clock,
                         [this](std::string_view m) { log.emplace_back(m); }};
};

TEST(AppDelegate, LaunchLoadsTheControlsAndTheRefreshTheStatus) {
    Rig rig;
    rig.delegate.applicationDidFinishLaunching();
    const PanelState& s = rig.delegate.state();
    EXPECT_TRUE(s.deviceControlsEnabled);
    EXPECT_EQ(s.sliders[PanelState::Brightness], 128);
    EXPECT_EQ(s.sliderLabels[PanelState::Sharpness], "154");
    EXPECT_EQ(s.sliderLabels[PanelState::Volume], "0.0dB");
    EXPECT_TRUE(s.windowsButtonEnabled);
    EXPECT_TRUE(s.macButtonEnabled);
    EXPECT_FALSE(s.firmwareButtonsVisible);
    rig.delegate.keyDown(AppDelegate::kKeyCodeF1);
    EXPECT_TRUE(rig.delegate.state().firmwareButtonsVisible);

    rig.delegate.update();
    EXPECT_EQ(s.status[S::SourceTiming], "1920x1080p@60");
    EXPECT_EQ(s.status[S::FirmwareVersion], "2.12.05");
    EXPECT_EQ(s.status[S::DdcVoltage], "5001 mV");
    EXPECT_TRUE(s.hdmiOn);
    sim::HdmiSourceState source;
    source.timingIndex = 117;
    rig.bridge->setHdmiSource(source);
    rig.bridge->setMacMode(true);
    rig.delegate.update();
    EXPECT_EQ(s.status[S::SourceTiming], "4096x2160p@60y");
    EXPECT_EQ(s.status[S::OsMode], "MacOS Mode");
}

TEST(AppDelegate, BoxGoneAndBackDisablesOnceAndWaitsASecondBeforeLoading) {
    Rig rig;
    rig.images.setMissing("KOVA_ROM_FILE_MAC");
    rig.delegate.applicationDidFinishLaunching();
    EXPECT_FALSE(rig.delegate.state().macButtonEnabled);
    rig.delegate.update();
    rig.bridge->setPlugged(false);
    rig.delegate.update();
    EXPECT_FALSE(rig.delegate.state().deviceControlsEnabled);
    EXPECT_EQ(rig.delegate.state().status[S::SourceTiming], "1920x1080p@60");  // texts stay
    rig.bridge->setPlugged(true);
    // An audio input that is neither 5 nor 6 shows Line-In.
    const uint8_t seven = 7;
    rig.transport.OpenBox();
    rig.transport.I2CWrite(device::kMicrocontrollerSlave, device::Reg::AudioInput, 1, &seven, 1);
    rig.transport.CloseBox();
    const uint64_t before = rig.clock.totalSleptMs();
    rig.delegate.update();
    EXPECT_GE(rig.clock.totalSleptMs() - before, AppDelegate::kAppearWaitMs);
    EXPECT_TRUE(rig.delegate.state().deviceControlsEnabled);
    EXPECT_TRUE(rig.delegate.state().lineInOn);
    EXPECT_FALSE(rig.delegate.state().hdmiOn);
}

TEST(AppDelegate, ActionsWriteTheirRegistersAndDefaultsRestoreEverything) {
    Rig rig;
    rig.delegate.applicationDidFinishLaunching();
    rig.delegate.sliderMoved(PanelState::Volume, 0x100 + 229);  // low 8 bits
    EXPECT_EQ(rig.bridge->readRegister(device::Reg::Volume), 229);
    EXPECT_EQ(rig.delegate.state().sliderLabels[PanelState::Volume], "5.0dB");
    rig.delegate.sliderMoved(PanelState::Hue, 40);
    EXPECT_EQ(rig.delegate.state().sliderLabels[PanelState::Hue], "40");
    rig.delegate.muteClick(true);
    EXPECT_EQ(rig.bridge->readRegister(device::Reg::Mute), 1);
    rig.delegate.changeSource(1);
    rig.delegate.changeSource(0);
    rig.delegate.changeSource(2);  // no such cell: nothing at all
    EXPECT_EQ(rig.log, (std::vector<std::string>{"Line-In", "HDMI"}));
    EXPECT_EQ(rig.bridge->readRegister(device::Reg::AudioInput), 6);

    rig.delegate.defaultClick();
    EXPECT_EQ(rig.bridge->readRegister(device::Reg::Volume), 219);
    EXPECT_EQ(rig.bridge->readRegister(device::Reg::Hue), 128);
    EXPECT_EQ(rig.bridge->readRegister(device::Reg::Mute), 0);
    EXPECT_EQ(rig.delegate.state().sliderLabels[PanelState::Volume], "0.0dB");
    EXPECT_FALSE(rig.delegate.state().muted);
    auto commands = rig.bridge->executedCommands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back().number, device::Cmd::Mode);
    EXPECT_EQ(commands.back().parameter, 1);
}

}  // namespace
}  // namespace tovrel::panel

namespace tovrel::panel {
namespace {

// The GUI thread's queue: the worker posts, the test drains as the event loop would.
struct Handoff {
    std::mutex mutex;
    std::vector<std::function<void()>> calls;
    int changes = 0;
    void post(std::function<void()> call) {
        std::lock_guard lock(mutex);
        calls.push_back(std::move(call));
    }
    void drainUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 20000 && !done(); ++i) {
            std::vector<std::function<void()>> now;
            {
                std::lock_guard lock(mutex);
                now.swap(calls);
            }
            for (auto& call : now) call();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

TEST(AppDelegate, ConfigureRunsTheUpdateOffTheGuiThreadAndSwitchesTheModeOnlyAfterSuccess) {
    for (bool fails : {false, true}) {
        Rig rig;
        Handoff handoff;
        rig.delegate.setThreadHandoff([&](std::function<void()> c) { handoff.post(std::move(c)); },
                                      [&] { ++handoff.changes; });
        rig.delegate.applicationDidFinishLaunching();
        if (fails) rig.bridge->setFaults({.flashBusyForever = true});
        rig.delegate.ConfigureMacClick();
        EXPECT_TRUE(rig.delegate.state().updating);
        rig.delegate.sliderMoved(PanelState::Hue, 3);  // refused while the update runs
        handoff.drainUntil([&] { return !rig.delegate.state().updating; });
        ASSERT_FALSE(rig.delegate.state().updating);
        EXPECT_NE(rig.bridge->readRegister(device::Reg::Hue), 3);
        EXPECT_GT(handoff.changes, 1);
        EXPECT_EQ(rig.bridge->macMode(), !fails) << rig.delegate.state().message;
        EXPECT_EQ(rig.bridge->fwTarget(), fails ? 0 : 15);
        EXPECT_NE(rig.delegate.state().message.find(fails ? "was not switched" : "was switched"),
                  std::string::npos)
            << rig.delegate.state().message;
        if (!fails) {
            EXPECT_EQ(rig.bridge->flashContents(0, 4096),
                      sim::GeneratedFirmware::image("KOVA_ROM_FILE_MAC", 4096));
        }
    }
}

}  // namespace
}  // namespace tovrel::panel
