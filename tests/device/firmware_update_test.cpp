#include "device/firmware_update.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "device/firmware_folder.h"
#include "device/register_map.h"
#include "platform/system/manual_clock.h"
#include "sim/bridge/simulated_extension_unit_bus.h"
#include "sim/firmware/generated_firmware.h"

namespace tovrel::device {
namespace {

using Outcome = FirmwareResult::Outcome;

struct Rig {
    platform::ManualClock clock;
    std::shared_ptr<sim::SimulatedBridge> bridge;
    sim::SimulatedExtensionUnitBus bus;
    std::vector<std::string> transportLines;
    std::vector<std::string> log;
    PanelTransport transport{bus, clock,
                             [this](std::string_view m) { transportLines.emplace_back(m); }};
    FirmwareUpdate updater{transport, [this](std::string_view m) { log.emplace_back(m); }};
    sim::GeneratedFirmware images;

    explicit Rig(sim::SimulatedBridge::Config config = {})
        : bridge(std::make_shared<sim::SimulatedBridge>(clock, config)), bus(bridge) {}

    // (address, length) of every chunk programmed.
    std::vector<std::pair<uint32_t, int>> programs() const {
        std::vector<std::pair<uint32_t, int>> out;
        for (const auto& op : bridge->flashOperations())
            if (op.operation == kFlashOpProgram) out.emplace_back(op.address, op.length);
        return out;
    }
    std::vector<uint32_t> erasedSectors() const {
        std::vector<uint32_t> out;
        for (const auto& op : bridge->flashOperations())
            if (op.operation == kFlashOpErase) out.push_back(op.address);
        return out;
    }
    // The commands the box ran, as (number, parameter).
    std::vector<std::pair<int, int>> commands() const {
        std::vector<std::pair<int, int>> out;
        for (const auto& c : bridge->executedCommands()) out.emplace_back(c.number, c.parameter);
        return out;
    }
};

// Records the names asked for, so the image choice by routine and box type is visible.
class NamedImages final : public FirmwareLibrary {
  public:
    std::vector<std::string> asked;
    std::set<std::string> present;
    std::optional<std::vector<uint8_t>> load(std::string_view name, size_t) override {
        asked.emplace_back(name);
        if (!present.count(std::string(name))) return std::nullopt;
        return sim::GeneratedFirmware::image(name, 300);
    }
    std::string describe(std::string_view name) const override { return std::string(name); }
};

TEST(FirmwareUpdate, ChunksAndSectorsFollowTheImageLength) {
    struct Case {
        size_t length;
        std::vector<std::pair<uint32_t, int>> programs;
    };
    const std::vector<uint32_t> twoSectors{0, 4096};
    for (const Case& c :
         {Case{300, {{0, 256}, {256, 44}}}, Case{256, {{0, 256}}}, Case{100, {{0, 100}}}}) {
        Rig rig;
        rig.images.setSize("KOVA_ROM_FILE", c.length);
        FirmwareResult result = rig.updater.UpdateQ7Win(rig.images);
        ASSERT_TRUE(result.ok()) << c.length << ": " << result.message;
        EXPECT_EQ(rig.erasedSectors(), twoSectors) << c.length;
        EXPECT_EQ(rig.programs(), c.programs) << c.length;
        EXPECT_EQ(rig.bridge->flashContents(0, static_cast<uint32_t>(c.length)),
                  sim::GeneratedFirmware::image("KOVA_ROM_FILE", c.length));
        const std::vector<std::pair<int, int>> told{{Cmd::FwTarget, 16}, {Cmd::Mode, 1}};
        EXPECT_EQ(rig.commands(), told);
        EXPECT_EQ(rig.bridge->fwTarget(), 16);
        EXPECT_EQ(result.imageBytes, c.length);
        EXPECT_EQ(rig.bridge->operationsWhileBusy(), 0);
        EXPECT_EQ(rig.transport.flashAddress(), c.length);
    }
}

TEST(FirmwareUpdate, AnEmptyImageLeavesTheFlashAndTheBoxAlone) {
    Rig rig;
    rig.images.setSize("KOVA_ROM_FILE_MAC", 0);
    FirmwareResult result = rig.updater.UpdateQ7Mac(rig.images);
    EXPECT_EQ(result.outcome, Outcome::ImageEmpty);
    EXPECT_FALSE(result.flashTouched);
    EXPECT_NE(result.message.find("empty"), std::string::npos) << result.message;
    EXPECT_TRUE(rig.bridge->flashOperations().empty());
    EXPECT_TRUE(rig.commands().empty());
}

TEST(FirmwareUpdate, ImageNameByRoutineAndBoxTypeAndTheLogTextOfAFailedLoad) {
    struct Case {
        uint16_t productId;
        uint16_t vendorId;
        FirmwareTarget target;
        const char* name;
        const char* logLine;
    };
    for (const Case& c : {Case{0x4E11, 0x7B30, FirmwareTarget::Windows, "KOVA_ROM_FILE",
                               "KOVA_ROM_FILE.bin Failed"},
                          Case{0x0A60, 0x5D42, FirmwareTarget::Windows, "KOVA_ROM_FILE_QUORVA",
                               "KOVA_ROM_FILE.bin Failed"},
                          Case{0x4E11, 0x7B30, FirmwareTarget::Mac, "KOVA_ROM_FILE_MAC",
                               "KOVA_ROM_FILE_MAC.bin Failed"},
                          Case{0x0A60, 0x5D42, FirmwareTarget::Mac, "KOVA_ROM_FILE_MAC_QUORVA",
                               "KOVA_ROM_FILE_MAC.bin Failed"}}) {
        sim::SimulatedBridge::Config config;
        config.vendorId = c.vendorId;
        config.productId = c.productId;
        Rig rig(config);
        NamedImages images;
        FirmwareResult result = rig.updater.update(c.target, images);
        EXPECT_EQ(images.asked, std::vector<std::string>{c.name});
        EXPECT_EQ(result.outcome, Outcome::ImageMissing);
        EXPECT_EQ(rig.log, std::vector<std::string>{c.logLine});
        EXPECT_TRUE(rig.bridge->flashOperations().empty());
        EXPECT_TRUE(rig.commands().empty());

        images.present.insert(c.name);
        rig.log.clear();
        result = rig.updater.update(c.target, images);
        EXPECT_TRUE(result.ok()) << result.message;
        EXPECT_EQ(result.deviceType, c.vendorId == 0x7B30 ? 0 : 1);
        EXPECT_EQ(rig.bridge->fwTarget(), c.target == FirmwareTarget::Windows ? 16 : 15);
        EXPECT_TRUE(rig.log.empty());
    }
}

TEST(FirmwareUpdate, TheLargestImageLandsByteForByteWithTheExtraSectorErased) {
    Rig rig;
    // Another image first: the flash programs like NOR, so what was there must be erased.
    ASSERT_TRUE(rig.updater.UpdateQ7Mac(rig.images).ok());
    rig.images.setSize("KOVA_ROM_FILE", FirmwareUpdate::kMaxImageBytes);
    FirmwareResult result = rig.updater.UpdateQ7Win(rig.images);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(rig.bridge->flashContents(0, FirmwareUpdate::kMaxImageBytes),
              sim::GeneratedFirmware::image("KOVA_ROM_FILE", FirmwareUpdate::kMaxImageBytes));
    const size_t firstErase = (sim::GeneratedFirmware::kDefaultBytes + 4096 + 4095) / 4096;
    EXPECT_EQ(rig.erasedSectors().size(), firstErase + FirmwareUpdate::kFlashCapacityBytes / 4096);
    EXPECT_EQ(rig.bridge->flashContents(FirmwareUpdate::kMaxImageBytes, 4096),
              std::vector<uint8_t>(4096, 0xFF));
}

TEST(FirmwareUpdate, AnImageTooLargeForTheFlashIsRefusedBeforeAnyFlashAccess) {
    Rig rig;
    rig.images.setSize("KOVA_ROM_FILE", FirmwareUpdate::kMaxImageBytes + 1);
    FirmwareResult result = rig.updater.UpdateQ7Win(rig.images);
    EXPECT_EQ(result.outcome, Outcome::ImageTooLarge);
    EXPECT_TRUE(rig.bridge->flashOperations().empty());
    EXPECT_TRUE(rig.commands().empty());
}

TEST(FirmwareUpdate, NoBoxOrAFlashThatIsNotReadyTouchesNothing) {
    {
        Rig rig;
        rig.bridge->setPlugged(false);
        FirmwareResult result = rig.updater.UpdateQ7Win(rig.images);
        EXPECT_EQ(result.outcome, Outcome::NoBox);
        EXPECT_FALSE(rig.transport.isOpen());
    }
    {
        sim::SimulatedBridge::Config config;
        config.flashQueryResult = 0;
        Rig rig(config);
        FirmwareResult result = rig.updater.UpdateQ7Win(rig.images);
        EXPECT_EQ(result.outcome, Outcome::QueryNotReady);
        EXPECT_TRUE(rig.bridge->flashOperations().empty());
        EXPECT_TRUE(rig.commands().empty());
        EXPECT_FALSE(rig.transport.isOpen());
    }
}

// The box stops answering its status polls: each failure ends within the poll limit, names the
// address it stopped at, programs nothing after a failed erase and leaves the box's mode alone.
TEST(FirmwareUpdate, ABoxThatStopsAnsweringFailsWithinTheLimitAndKeepsItsMode) {
    const uint64_t limit = PanelTransport::kFlashPollTimeoutMs;
    {
        Rig rig;
        rig.bridge->setFaults({.flashBusyForever = true});
        FirmwareResult result = rig.updater.UpdateQ7Win(rig.images);
        EXPECT_EQ(result.outcome, Outcome::EraseFailed);
        EXPECT_EQ(result.failedAddress, 0u);
        EXPECT_TRUE(rig.programs().empty());
        EXPECT_EQ(rig.erasedSectors().size(), 1u);
        EXPECT_LE(rig.clock.getTickCount64(), limit + 50);
        EXPECT_TRUE(rig.commands().empty());
        EXPECT_NE(result.message.find("nothing was programmed"), std::string::npos);
        EXPECT_FALSE(rig.bridge->macMode());
    }
    {
        Rig rig;
        uint64_t stoppedAt = 0;
        auto progress = [&](const FirmwareProgress& p) {
            if (p.phase == FirmwareProgress::Phase::Programming && p.done == 2048 && !stoppedAt) {
                stoppedAt = rig.clock.getTickCount64();
                rig.bridge->setFaults({.flashBusyForever = true});
            }
        };
        FirmwareResult result = rig.updater.UpdateQ7Mac(rig.images, progress);
        EXPECT_EQ(result.outcome, Outcome::ProgramFailed);
        EXPECT_EQ(result.programmedBytes, 2048u);
        EXPECT_EQ(result.failedAddress, 2048u);
        EXPECT_LE(rig.clock.getTickCount64() - stoppedAt, limit + 50);
        EXPECT_TRUE(rig.commands().empty());
        EXPECT_FALSE(rig.bridge->macMode());
        EXPECT_FALSE(rig.transport.isOpen());
    }
    {
        Rig rig;  // unplugged mid-programming: the failed status request ends it at once
        uint64_t stoppedAt = 0;
        auto progress = [&](const FirmwareProgress& p) {
            if (p.phase == FirmwareProgress::Phase::Programming && p.done == 512 && !stoppedAt) {
                stoppedAt = rig.clock.getTickCount64();
                rig.bridge->setPlugged(false);
            }
        };
        FirmwareResult result = rig.updater.UpdateQ7Win(rig.images, progress);
        EXPECT_EQ(result.outcome, Outcome::ProgramFailed);
        EXPECT_LE(rig.clock.getTickCount64() - stoppedAt, 10u);
        EXPECT_TRUE(rig.commands().empty());
    }
}

TEST(FirmwareUpdate, ProgressCountsSectorsThenBytes) {
    Rig rig;
    rig.images.setSize("KOVA_ROM_FILE", 600);
    std::vector<std::tuple<FirmwareProgress::Phase, uint32_t, uint32_t>> seen;
    auto progress = [&](const FirmwareProgress& p) { seen.emplace_back(p.phase, p.done, p.total); };
    ASSERT_TRUE(rig.updater.UpdateQ7Win(rig.images, progress).ok());
    using P = FirmwareProgress::Phase;
    std::vector<std::tuple<P, uint32_t, uint32_t>> expected{
        {P::Checking, 0, 0},        {P::Erasing, 0, 2},         {P::Erasing, 2, 2},
        {P::Programming, 0, 600},   {P::Programming, 256, 600}, {P::Programming, 512, 600},
        {P::Programming, 600, 600}, {P::Finishing, 0, 0}};
    EXPECT_EQ(seen, expected);
}

TEST(FirmwareFolder, ReadsNameDotBinAndCapsWhatItReads) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / "firmware-folder-test";
    fs::remove_all(dir);
    fs::create_directories(dir / "firmware");
    { std::ofstream(dir / "firmware" / "KOVA_ROM_FILE.bin", std::ios::binary) << "abcdef"; }
    FirmwareFolder folder(dir / "firmware");
    EXPECT_EQ(folder.load("KOVA_ROM_FILE", 100),
              (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f'}));
    EXPECT_EQ(folder.load("KOVA_ROM_FILE", 3)->size(), 4u);  // one more than allowed: too large
    EXPECT_FALSE(folder.load("KOVA_ROM_FILE_MAC", 100));
    fs::create_directories(dir / "firmware" / "KOVA_ROM_FILE_QUORVA.bin");  // not a file
    EXPECT_FALSE(folder.load("KOVA_ROM_FILE_QUORVA", 100));

    ::unsetenv(FirmwareFolder::kEnvironmentVariable);
    EXPECT_EQ(FirmwareFolder::locate(std::nullopt, dir / "tovrel-panel"), dir / "firmware");
    EXPECT_EQ(FirmwareFolder::locate(std::string("/x"), dir / "tovrel-panel"), "/x");
    ::setenv(FirmwareFolder::kEnvironmentVariable, "/y", 1);
    EXPECT_EQ(FirmwareFolder::locate(std::nullopt, dir / "tovrel-panel"), "/y");
    EXPECT_EQ(FirmwareFolder::locate(std::string("/x"), dir / "tovrel-panel"), "/x");
    ::unsetenv(FirmwareFolder::kEnvironmentVariable);
    fs::create_directories(dir / "share" / "tovrel" / "firmware");
    fs::create_directories(dir / "bin");
    EXPECT_EQ(FirmwareFolder::locate(std::nullopt, dir / "bin" / "tovrel-panel"),
              dir / "share" / "tovrel" / "firmware");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tovrel::device
