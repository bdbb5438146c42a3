#include <gtest/gtest.h>

#include <QMenu>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "device/box_operations.h"
#include "device/register_map.h"
#include "device/ui/io_dialog_layout.h"
#include "device/ui/io_dialog_model.h"
#include "shell/command_table.h"
#include "shell/edge_zones.h"
#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"
#include "sim/backends/simulated_backends.h"
#include "sim/bridge/simulated_extension_unit_bus.h"
#include "test_backends.h"
#include "tests/device/register_lock_probe.h"
#include "tests/shell/menu_lines.h"

namespace tovrel::shell {
namespace {

// The Settings window's writes hold the "Norvik" lock: ours, not a parallel test's.
[[maybe_unused]] const bool kPrivateLocks =
    device::testing::usePrivateLockDirectory("command-menu-test");

void waitIdle(device::BoxOperations& box) {
    while (!box.worker().idle()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

using testing::menuLines;

TEST(CommandMenu, TextsOrderSeparatorsAndChecksOfTheRealMenu) {
    testing::ScopedWorkingDirectory cwd("menu");
    testing::TestBackends test;
    CTovrel2Frame frame(test.backends, kTovrel2Edition);
    frame.settings.settingQuality = 7;  // none of the five
    auto menu = frame.buildPopupMenu();
    const std::vector<std::string> expected{"[F1]-Motion Detection",
                                            "-",
                                            "[F2]-Recording",
                                            ">[F3]-Snapshot",
                                            "  JPG",
                                            "  PNG",
                                            "  BMP",
                                            "-",
                                            "[F4]-Screen Recording",
                                            ">[F5]-Screen Snapshot",
                                            "  JPG",
                                            "  PNG",
                                            "  BMP",
                                            "-",
                                            "[F6]-Mute",
                                            "[F7]-Audio Analyze",
                                            "[F8]-Settings",
                                            "[F9]-Preview",
                                            "-",
                                            "[F]-Full Screen",
                                            "*[H]-Show Caption",
                                            "-",
                                            "Keep Aspect Ratio",
                                            "-",
                                            ">Audio Source",
                                            "  *HDMI",
                                            "  Line-In",
                                            ">Encoding Quality",
                                            "  Lowest",
                                            "  Low",
                                            "  Normal",
                                            "  High",
                                            "  Highest",
                                            ">Video Encoding Format",
                                            "  *AVC (H.264)",
                                            "  HEVC (H.265)",
                                            ">Audio Encoding Format",
                                            "  *AAC",
                                            "  MP3",
                                            "*Prefer Hardware Encoding",
                                            "-",
                                            "Exit"};
    EXPECT_EQ(menuLines(menu.get()), expected);
}

// The audio-source items: their checks read the box's register 15 each time the menu opens, and
// choosing one writes the register, on the simulated box.
TEST(CommandMenu, TheAudioSourceChecksReadTheBoxAndTheItemsWriteIt) {
    testing::ScopedWorkingDirectory cwd("menu-audio-source");
    std::unique_ptr<platform::Backends> backends = sim::makeSimulatedBackends();
    auto* bus = dynamic_cast<sim::SimulatedExtensionUnitBus*>(backends->extensionUnits.get());
    ASSERT_NE(bus, nullptr);
    std::shared_ptr<sim::SimulatedBridge> box = bus->bridge();
    device::BoxOperations registers(*backends->extensionUnits, *backends->clock, nullptr);
    CTovrel2Frame frame(*backends, kTovrel2Edition, &registers);
    // The two items as the menu shows them, "*" before the checked one.
    const auto sources = [&] {
        std::vector<std::string> found;
        for (const std::string& line : menuLines(frame.buildPopupMenu().get())) {
            if (line.find("HDMI") != std::string::npos || line.find("Line-In") != std::string::npos)
                found.push_back(line.substr(line.find_first_not_of(' ')));
        }
        return found;
    };

    EXPECT_EQ(box->readRegister(device::Reg::AudioInput), device::kAudioInputHdmi);
    EXPECT_EQ(sources(), (std::vector<std::string>{"*HDMI", "Line-In"}));

    frame.onCommand(CommandTable::kAudioLineIn);
    waitIdle(registers);
    EXPECT_EQ(box->readRegister(device::Reg::AudioInput), device::kAudioInputLineIn);
    EXPECT_EQ(sources(), (std::vector<std::string>{"HDMI", "*Line-In"})) << "register 15 says 5";

    frame.onCommand(CommandTable::kAudioHdmi);
    waitIdle(registers);
    EXPECT_EQ(box->readRegister(device::Reg::AudioInput), device::kAudioInputHdmi);
    EXPECT_EQ(sources(), (std::vector<std::string>{"*HDMI", "Line-In"}));
}

// The menu's audio source and the Settings window's volume share the box's I2C bus with the
// register worker: each command write (value into its register, then its number into register
// 0) reaches the bus with nothing between its two writes but register 0's ready reads, however
// the two are driven at once.
TEST(CommandMenu, AudioSourceAndSettingsVolumeWritesReachTheBusWhole) {
    testing::ScopedWorkingDirectory cwd("menu-audio-source-bus");
    std::unique_ptr<platform::Backends> backends = sim::makeSimulatedBackends();
    auto* bus = dynamic_cast<sim::SimulatedExtensionUnitBus*>(backends->extensionUnits.get());
    ASSERT_NE(bus, nullptr);
    std::shared_ptr<sim::SimulatedBridge> box = bus->bridge();
    device::BoxOperations registers(*backends->extensionUnits, *backends->clock, nullptr);
    CTovrel2Frame frame(*backends, kTovrel2Edition, &registers);
    device::ui::SettingsHost host;
    host.capture = [] { return device::ui::SettingsHost::Capture{}; };
    host.restartCapture = [](int32_t, int32_t, int32_t, int32_t) {};
    device::ui::IODialogModel settings(registers, std::move(host), [](std::function<void()>) {});

    using Code = device::ui::IODialogModel::ScrollCode;
    for (int round = 0; round < 12; ++round) {
        settings.onScroll(device::ui::IODialogLayout::kVolume, Code::ThumbTrack, 100 + round);
        frame.onCommand(round % 2 ? CommandTable::kAudioHdmi : CommandTable::kAudioLineIn);
        frame.buildPopupMenu();
        settings.onScroll(device::ui::IODialogLayout::kVolume, Code::ThumbPosition);
    }
    waitIdle(registers);

    int commandWrites = 0;
    int lastValueWrite = -1;  // the register of the last write into a register other than 0
    for (const sim::SimulatedBridge::I2cTransfer& t : box->i2cTransfers()) {
        if (t.reg == device::Reg::Command && !t.write) continue;  // the ready waits
        if (t.reg == device::Reg::Command) {
            EXPECT_EQ(lastValueWrite, t.value) << "command " << int(t.value) << " interrupted";
            ++commandWrites;
            lastValueWrite = -1;
        } else if (t.write) {
            EXPECT_EQ(lastValueWrite, -1) << "a write into " << int(t.reg) << " came between";
            lastValueWrite = t.reg;
        } else {
            EXPECT_EQ(lastValueWrite, -1) << "a read of " << int(t.reg) << " came between";
        }
    }
    EXPECT_GE(commandWrites, 13) << "every audio source and at least one volume";
    EXPECT_EQ(box->readRegister(device::Reg::AudioInput), device::kAudioInputHdmi);
}

TEST(CommandMenu, KeysAndEdgeZones) {
    EXPECT_EQ(kTovrel2Edition.commandForKey(Qt::Key_F3)->id, CommandTable::kSnapshotJpg);
    EXPECT_EQ(kTovrel2Edition.commandForKey(Qt::Key_F5)->id, CommandTable::kScreenSnapshotJpg);
    EXPECT_EQ(kTovrel2Edition.commandForKey(Qt::Key_H)->id, CommandTable::kShowCaption);
    EXPECT_EQ(kTovrel2Edition.commandForKey(Qt::Key_Escape), nullptr);
    EXPECT_EQ(EdgeZones::find(0, 99, 0, 0, 100, 100)->code, 16);
    EXPECT_EQ(EdgeZones::find(97, 50, 0, 0, 100, 100)->code, 11);
    EXPECT_EQ(EdgeZones::find(96, 50, 0, 0, 100, 100), nullptr);
    EXPECT_EQ(EdgeZones::find(50, 2, 0, 0, 100, 100)->code, 12);
}

}  // namespace
}  // namespace tovrel::shell
