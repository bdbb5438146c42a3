#include "device/panel_transport.h"

#include <gtest/gtest.h>

#include "tests/device/transport_rigs.h"

namespace tovrel::device {
namespace {

using namespace testing;
using Rig = PanelRig;

TEST(PanelTransport, OpenBoxPrefersTheFirstKindAndKnowsOnlyTwo) {
    Rig rig;
    EXPECT_FALSE(rig.transport.OpenBox());
    EXPECT_EQ(rig.transport.deviceType(), 255);
    EXPECT_EQ(rig.bus.lookups.size(), 2u);

    rig.bus.attached[{0x7B30, 0x4E12}] = 1;  // a type-2 box is not the panel's
    EXPECT_FALSE(rig.transport.OpenBox());
    rig.bus.attached[{0x5D42, 0x0A60}] = 1;
    EXPECT_TRUE(rig.transport.OpenBox());
    EXPECT_EQ(rig.transport.deviceType(), 1);
    rig.bus.attached[{0x7B30, 0x4E11}] = 2;
    EXPECT_TRUE(rig.transport.OpenBox());
    EXPECT_EQ(rig.transport.deviceType(), 0);
    EXPECT_EQ(rig.bus.log->openUnits, 1);  // the second box of that kind and the old one closed
    rig.transport.CloseBox();
    EXPECT_EQ(rig.bus.log->openUnits, 0);
    EXPECT_EQ(rig.transport.deviceType(), 0);  // kept until the next OpenBox
}

TEST(PanelTransport, OpenBoxSaysWhyTheBusOrTheBoxCouldNotBeOpened) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    rig.bus.busOpens = false;
    EXPECT_FALSE(rig.transport.OpenBox());
    EXPECT_EQ(rig.transport.deviceType(), 255);
    EXPECT_EQ(rig.messages, std::vector<std::string>{"Failed to create service"});
    EXPECT_EQ(rig.bus.lookups.size(), 1u);  // once: no other kind can be found either

    rig.messages.clear();
    rig.bus.busOpens = true;
    rig.bus.attached.clear();
    rig.bus.unclaimable[{0x7B30, 0x4E11}] = 1;
    EXPECT_FALSE(rig.transport.OpenBox());
    EXPECT_FALSE(rig.transport.isOpen());
    EXPECT_EQ(rig.messages, std::vector<std::string>{"Failed to get interface"});

    // The type-0 box cannot be reached, the type-1 box can: it is used.
    rig.messages.clear();
    rig.bus.attached[{0x5D42, 0x0A60}] = 1;
    EXPECT_TRUE(rig.transport.OpenBox());
    EXPECT_EQ(rig.transport.deviceType(), 1);
    EXPECT_EQ(rig.messages, std::vector<std::string>{"Failed to get interface"});

    rig.messages.clear();
    rig.bus.unclaimable.clear();
    EXPECT_TRUE(rig.transport.OpenBox());
    EXPECT_TRUE(rig.messages.empty());
}

TEST(PanelTransport, TransferFailuresPrintTheirMessage) {
    Rig rig;
    uint8_t byte = 0;
    EXPECT_FALSE(rig.transport.I2CRead(0xB4, 0, 1, &byte, 1));
    EXPECT_FALSE(rig.transport.I2CWrite(0xB4, 0, 1, &byte, 1));
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    ASSERT_TRUE(rig.transport.OpenBox());

    rig.bus.log->responder = [](const platform::DeviceRequest& r) {
        return r.wValue == 0x0100 ? -1 : int(r.wLength);
    };
    EXPECT_FALSE(rig.transport.I2CRead(0xB4, 0, 1, &byte, 1));
    EXPECT_FALSE(rig.transport.I2CWrite(0xB4, 0, 1, &byte, 1));
    rig.bus.log->responder = [](const platform::DeviceRequest& r) {
        return r.wValue == 0x0200 ? -1 : int(r.wLength);
    };
    EXPECT_FALSE(rig.transport.I2CRead(0xB4, 0, 1, &byte, 1));
    EXPECT_FALSE(rig.transport.I2CWrite(0xB4, 0, 1, &byte, 1));
    std::vector<std::string> expected{"Read3 Failed",  "Write3 Failed", "Read1 Failed",
                                      "Write2 Failed", "Read2 Failed",  "Write1 Failed"};
    EXPECT_EQ(rig.messages, expected);
}

TEST(PanelTransport, ReadRegTakesTheFirstOfTheReturnedBytes) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    ASSERT_TRUE(rig.transport.OpenBox());
    (*rig.box.registers)[27] = 1;
    EXPECT_EQ(rig.transport.ReadReg(27), 1);
    std::vector<RecordedRequest> expected{
        commandBlockWrite(
            block({{0, 0xD4}, {3, 0xD0}, {5, 0x10}, {7, 0xB4}, {8, 1}, {10, 27}, {14, 1}})),
        dataBufferRead()};
    EXPECT_EQ(rig.bus.log->requests, expected);
    rig.bus.log->responder = [](const platform::DeviceRequest&) { return -1; };
    EXPECT_EQ(rig.transport.ReadReg(27), 0);
}

TEST(PanelTransport, EveryFailedReadyWaitPrintsLongFailed) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    ASSERT_TRUE(rig.transport.OpenBox());
    EXPECT_TRUE(rig.transport.WriteReg(15, 5));
    EXPECT_TRUE(rig.messages.empty());

    // Busy for good: the first wait of the write times out.
    *rig.box.commandRead = [] { return uint8_t{15}; };
    EXPECT_FALSE(rig.transport.WriteReg(26, 219));
    EXPECT_EQ(rig.messages, std::vector<std::string>{"Long Failed"});
    EXPECT_NE((*rig.box.registers)[26], 219);

    // Idle once, then busy: the second wait of the write.
    rig.messages.clear();
    auto reads = std::make_shared<int>(0);
    *rig.box.commandRead = [reads]() -> uint8_t { return ++*reads == 1 ? 0xFF : 0x06; };
    EXPECT_FALSE(rig.transport.WriteReg(26, 200));
    EXPECT_EQ(rig.messages, std::vector<std::string>{"Long Failed"});

    // A read that fails: its own message, then the wait's.
    rig.messages.clear();
    rig.bus.log->responder = [](const platform::DeviceRequest&) { return -1; };
    EXPECT_FALSE(rig.transport.WaitCommandIdle());
    EXPECT_EQ(rig.messages, (std::vector<std::string>{"Read1 Failed", "Long Failed"}));

    rig.messages.clear();
    rig.transport.CloseBox();
    EXPECT_FALSE(rig.transport.WaitCommandIdle());
    EXPECT_EQ(rig.messages, (std::vector<std::string>{"Read3 Failed", "Long Failed"}));
}

// A flash that reports ready on the `readyAfter`-th status poll of each operation.
struct FlashResponder {
    int readyAfter = 1;
    std::shared_ptr<int> polls = std::make_shared<int>(0);
    std::shared_ptr<std::vector<uint8_t>> last = std::make_shared<std::vector<uint8_t>>(30, 0);
    int operator()(const platform::DeviceRequest& r) const {
        if (r.wValue == 0x0100 && !r.isDeviceToHost()) {
            last->assign(r.data, r.data + 30);
            if ((*last)[0] == 0xCC) {
                ++*polls;
                (*last)[7] = *polls >= readyAfter ? 1 : 0;
                if (*polls >= readyAfter) *polls = 0;
            } else if ((*last)[0] == 0xC9) {
                (*last)[7] = 1;
            }
            return 30;
        }
        if (r.wValue == 0x0100) {
            std::memcpy(r.data, last->data(), 30);
            return 30;
        }
        return r.wLength;
    }
};

RecordedRequest status(uint8_t op) {
    return commandBlockWrite(block({{0, 0xCC}, {3, op}, {5, 0x02}}));
}

TEST(PanelTransport, FlashQueryAndStatus) {
    Rig rig;
    uint8_t result = 9;
    EXPECT_FALSE(rig.transport.FlashQuery(result));
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    ASSERT_TRUE(rig.transport.OpenBox());
    rig.bus.log->responder = FlashResponder{};
    ASSERT_TRUE(rig.transport.FlashQuery(result));
    EXPECT_EQ(result, 1);
    ASSERT_TRUE(rig.transport.FlashStatus(0x02, result));
    EXPECT_EQ(result, 1);
    std::vector<RecordedRequest> expected{commandBlockWrite(block({{0, 0xC9}, {5, 0x01}})),
                                          commandBlockRead(), status(0x02), commandBlockRead()};
    EXPECT_EQ(rig.bus.log->requests, expected);
    rig.bus.log->responder = [](const platform::DeviceRequest& r) {
        return r.isDeviceToHost() ? -1 : 30;
    };
    EXPECT_FALSE(rig.transport.FlashQuery(result));
}

TEST(PanelTransport, EraseCoversCeilLengthOver4096SectorsWithStatusPolls) {
    struct Case {
        int64_t length;
        int sectors;
    };
    for (Case c : {Case{0, 0}, Case{-5, 0}, Case{1, 1}, Case{4096, 1}, Case{4097, 2},
                   Case{300 + 4096, 2}, Case{65536 + 4096, 17}}) {
        Rig rig;
        rig.bus.attached[{0x7B30, 0x4E11}] = 1;
        ASSERT_TRUE(rig.transport.OpenBox());
        FlashResponder flash;
        flash.readyAfter = 3;
        rig.bus.log->responder = flash;
        ASSERT_TRUE(rig.transport.FlashErase(c.length)) << c.length;
        EXPECT_EQ(rig.transport.flashAddress(), 0u);
        std::vector<RecordedRequest> expected;
        for (int s = 0; s < c.sectors; ++s) {
            uint32_t a = 4096u * s;
            expected.push_back(commandBlockWrite(block({{0, 0xCA},
                                                        {5, 0x0C},
                                                        {7, 0xFD},
                                                        {8, 0x03},
                                                        {11, uint8_t(a)},
                                                        {12, uint8_t(a >> 8)},
                                                        {13, uint8_t(a >> 16)}})));
            for (int p = 0; p < 3; ++p) {
                expected.push_back(status(0xFD));
                expected.push_back(commandBlockRead());
            }
        }
        EXPECT_EQ(rig.bus.log->requests, expected) << c.length;
        EXPECT_EQ(rig.clock.totalSleptMs(), 3u * c.sectors);  // 1 ms after each poll
    }
}

TEST(PanelTransport, ProgramSplitsIntoChunksOf256) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    ASSERT_TRUE(rig.transport.OpenBox());
    rig.bus.log->responder = FlashResponder{};
    ASSERT_TRUE(rig.transport.FlashErase(300 + 4096));
    rig.bus.log->requests.clear();

    std::vector<uint8_t> image(300);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
    // The update routine hands over at most 256 bytes per call; one call with all 300 splits too.
    ASSERT_TRUE(rig.transport.FlashProgram(image.data(), 300));
    EXPECT_EQ(rig.transport.flashAddress(), 300u);
    std::vector<RecordedRequest> expected{
        dataBufferWrite({image.begin(), image.begin() + 256}),
        commandBlockWrite(block(
            {{0, 0xCA}, {5, 0x0C}, {7, 0x02}, {8, 0x03}, {10, 0x01}, {15, 0x00}, {16, 0x01}})),
        status(0x02),
        commandBlockRead(),
        dataBufferWrite({image.begin() + 256, image.end()}),
        commandBlockWrite(
            block({{0, 0xCA}, {5, 0x0C}, {7, 0x02}, {8, 0x03}, {10, 0x01}, {12, 0x01}, {15, 44}})),
        status(0x02),
        commandBlockRead()};
    EXPECT_EQ(rig.bus.log->requests, expected);

    rig.bus.log->requests.clear();
    EXPECT_TRUE(rig.transport.FlashProgram(image.data(), 0));
    EXPECT_TRUE(rig.transport.FlashProgram(nullptr, -1));
    EXPECT_TRUE(rig.bus.log->requests.empty());
}

TEST(PanelTransport, AnEmptyImageErasesOneSectorAndProgramsNothing) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    ASSERT_TRUE(rig.transport.OpenBox());
    rig.bus.log->responder = FlashResponder{};
    ASSERT_TRUE(rig.transport.FlashErase(0 + 4096));
    ASSERT_TRUE(rig.transport.FlashProgram(nullptr, 0));
    int erases = 0, chunks = 0;
    for (const auto& r : rig.bus.log->requests) {
        if (r.wValue == 0x0100 && !r.out.empty() && r.out[0] == 0xCA)
            (r.out[7] == 0xFD ? erases : chunks)++;
    }
    EXPECT_EQ(erases, 1);
    EXPECT_EQ(chunks, 0);
}

TEST(PanelTransport, FlashPollsGiveUpInsteadOfWaitingForever) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    ASSERT_TRUE(rig.transport.OpenBox());
    FlashResponder never;
    never.readyAfter = 1 << 30;
    rig.bus.log->responder = never;
    EXPECT_FALSE(rig.transport.FlashErase(8192));
    EXPECT_EQ(rig.transport.flashAddress(), 0u);  // the failed sector
    EXPECT_GE(rig.clock.totalSleptMs(), PanelTransport::kFlashPollTimeoutMs);
    EXPECT_LT(rig.clock.totalSleptMs(), PanelTransport::kFlashPollTimeoutMs + 10);

    uint8_t chunk[10] = {};
    EXPECT_FALSE(rig.transport.FlashProgram(chunk, 10));

    // A status request that fails ends the wait at once.
    rig.bus.log->responder = [](const platform::DeviceRequest& r) {
        return (r.isDeviceToHost() && r.wValue == 0x0100) ? -1 : int(r.wLength);
    };
    rig.bus.log->requests.clear();
    EXPECT_FALSE(rig.transport.FlashErase(4096));
    EXPECT_EQ(rig.bus.log->requests.size(), 3u);  // erase, status, failed read-back

    rig.transport.CloseBox();
    EXPECT_FALSE(rig.transport.FlashErase(4096));
    EXPECT_FALSE(rig.transport.FlashProgram(chunk, 10));
}

TEST(PanelTransport, EraseFailureKeepsTheFailedSectorsAddress) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    ASSERT_TRUE(rig.transport.OpenBox());
    auto erases = std::make_shared<int>(0);
    FlashResponder flash;
    rig.bus.log->responder = [flash, erases](const platform::DeviceRequest& r) {
        if (r.wValue == 0x0100 && !r.isDeviceToHost() && r.data[0] == 0xCA && ++*erases == 3)
            return -1;
        return flash(r);
    };
    EXPECT_FALSE(rig.transport.FlashErase(5 * 4096));
    EXPECT_EQ(rig.transport.flashAddress(), 8192u);
}

TEST(PanelTransport, AnEraseLongerThanTheFlashAddressSpaceFailsWithoutSending) {
    // Sector addresses are 32-bit: past 4 GiB they would wrap to 0 and the erase never end.
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    ASSERT_TRUE(rig.transport.OpenBox());
    rig.bus.log->responder = FlashResponder{};
    EXPECT_FALSE(rig.transport.FlashErase((int64_t{1} << 32) + 1));
    EXPECT_TRUE(rig.bus.log->requests.empty());
    EXPECT_EQ(rig.transport.flashAddress(), 0u);
}

}  // namespace
}  // namespace tovrel::device
