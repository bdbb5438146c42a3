#include "device/register_transport.h"

#include <gtest/gtest.h>

#include "device/supported_boxes.h"
#include "platform/system/manual_clock.h"
#include "tests/device/recording_unit.h"

namespace tovrel::device {
namespace {

using namespace testing;

struct Rig {
    FakeBus bus;
    platform::ManualClock clock;
    KelmUvcLibrary library{bus};
    RegisterTransport transport{library, clock};
    RegisterFileResponder box;

    Rig() {
        (*box.registers)[0] = 0xFF;
        bus.log->responder = box;
    }
};

TEST(RegisterTransport, WithNoBoxTriesAllSixPairsInOrderAndGives255) {
    Rig rig;
    auto session = rig.transport.IdentifyDevice();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->deviceType, 255);
    EXPECT_EQ(session->text, "Unknow");
    ASSERT_EQ(rig.bus.lookups.size(), kSupportedBoxes.size());
    for (size_t i = 0; i < kSupportedBoxes.size(); ++i) {
        EXPECT_EQ(rig.bus.lookups[i].first, kSupportedBoxes[i].vendorId);
        EXPECT_EQ(rig.bus.lookups[i].second, kSupportedBoxes[i].productId);
    }
    uint8_t value = 0xAA;
    EXPECT_FALSE(rig.transport.ReadReg(11, value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(rig.transport.WriteReg(6, 100));
    EXPECT_TRUE(rig.bus.log->requests.empty());
    rig.transport.CloseDeviceSession(std::move(session));
}

TEST(RegisterTransport, EachPairGivesItsDeviceType) {
    for (const SupportedBox& box : kSupportedBoxes) {
        Rig rig;
        rig.bus.attached[{box.vendorId, box.productId}] = 1;
        auto session = rig.transport.IdentifyDevice();
        EXPECT_EQ(session->deviceType, box.deviceType)
            << std::hex << box.vendorId << ":" << box.productId;
        rig.transport.CloseDeviceSession(std::move(session));
        EXPECT_EQ(rig.bus.log->openUnits, 0);
    }
}

TEST(RegisterTransport, APairWithFourHandlesIsSkippedAndItsHandlesClosed) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 4;
    rig.bus.attached[{0x7B30, 0x4E12}] = 3;  // three still count
    auto session = rig.transport.IdentifyDevice();
    EXPECT_EQ(session->deviceType, 2);
    EXPECT_EQ(rig.transport.handleList().size(), 3u);
    EXPECT_EQ(rig.bus.log->openUnits, 3);  // the four of the first pair are closed, not dropped
    rig.transport.CloseDeviceSession(std::move(session));
    EXPECT_EQ(rig.bus.log->openUnits, 0);
    EXPECT_EQ(rig.library.openHandleCount(), 0u);
}

TEST(RegisterTransport, FourHandlesEverywhereIsNoDevice) {
    Rig rig;
    for (const auto& box : kSupportedBoxes) rig.bus.attached[{box.vendorId, box.productId}] = 4;
    auto session = rig.transport.IdentifyDevice();
    EXPECT_EQ(session->deviceType, 255);
    uint8_t value;
    EXPECT_FALSE(rig.transport.ReadReg(0, value));
    EXPECT_TRUE(rig.bus.log->requests.empty());
    rig.transport.CloseDeviceSession(std::move(session));
}

TEST(RegisterTransport, ReadRegUsesTheSlaveByte) {
    Rig rig;
    rig.bus.attached[{0x5D42, 0x0A60}] = 1;
    (*rig.box.registers)[60] = 0x11;
    (*rig.box.bridge)[60] = 0x33;
    auto session = rig.transport.IdentifyDevice();
    EXPECT_EQ(session->deviceType, 1);
    uint8_t value = 0;
    ASSERT_TRUE(rig.transport.ReadReg(60, value, kBridgeSlave));
    EXPECT_EQ(value, 0x33);
    ASSERT_TRUE(rig.transport.ReadReg(60 + 256, value));  // low 8 bits of the number
    EXPECT_EQ(value, 0x11);
    rig.transport.CloseDeviceSession(std::move(session));
}

// Register 0 reads 0xFF only from the given read on (1-based); 0 means never.
void idleFrom(Rig& rig, int firstIdleRead, int* reads) {
    *rig.box.commandRead = [firstIdleRead, reads]() -> uint8_t {
        ++*reads;
        return (firstIdleRead != 0 && *reads >= firstIdleRead) ? 0xFF : 0x06;
    };
}

TEST(RegisterTransport, ReadyWaitCountsOnlyTheFirst49Reads) {
    struct Case {
        int firstIdle;
        bool ok;
        int reads;
    };
    for (Case c : {Case{1, true, 1}, Case{49, true, 49}, Case{50, false, 50}, Case{51, false, 51},
                   Case{0, false, 51}}) {
        Rig rig;
        rig.bus.attached[{0x7B30, 0x4E11}] = 1;
        int reads = 0;
        idleFrom(rig, c.firstIdle, &reads);
        auto session = rig.transport.IdentifyDevice();
        EXPECT_EQ(rig.transport.WaitCommandIdle(), c.ok) << "idle from read " << c.firstIdle;
        EXPECT_EQ(reads, c.reads);
        EXPECT_EQ(rig.clock.totalSleptMs(), 100u * c.reads);  // 100 ms after every read
        rig.transport.CloseDeviceSession(std::move(session));
    }
}

TEST(RegisterTransport, ReadyWaitFailsAtOnceOnAFailedRead) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    rig.bus.log->responder = [](const platform::DeviceRequest&) { return -1; };
    auto session = rig.transport.IdentifyDevice();
    EXPECT_FALSE(rig.transport.WaitCommandIdle());
    EXPECT_EQ(rig.bus.log->requests.size(), 1u);
    EXPECT_EQ(rig.clock.totalSleptMs(), 0u);
    rig.transport.CloseDeviceSession(std::move(session));
}

TEST(RegisterTransport, WriteRegPutsTheValueThenTheNumberEachBehindAReadyWait) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    auto session = rig.transport.IdentifyDevice();
    ASSERT_TRUE(rig.transport.WriteReg(300, 0x1FF));  // low 8 bits: register 44, value 0xFF
    const auto& log = rig.bus.log->requests;
    // wait (read of 0), value write, wait, number write: 2 + 2 + 2 + 2 requests.
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[0], commandBlockWrite(
                          block({{0, 0xD4}, {3, 0xD0}, {5, 0x10}, {7, 0xB4}, {8, 1}, {14, 1}})));
    EXPECT_EQ(log[2], dataBufferWrite({0xFF}));
    EXPECT_EQ(log[3],
              commandBlockWrite(
                  block({{0, 0xD4}, {3, 0xD1}, {5, 0x10}, {7, 0xB4}, {8, 1}, {10, 44}, {14, 1}})));
    EXPECT_EQ(log[6], dataBufferWrite({44}));
    EXPECT_EQ(log[7], commandBlockWrite(block(
                          {{0, 0xD4}, {3, 0xD1}, {5, 0x10}, {7, 0xB4}, {8, 1}, {10, 0}, {14, 1}})));
    EXPECT_EQ((*rig.box.registers)[44], 0xFF);
    EXPECT_EQ((*rig.box.registers)[0], 44);
    EXPECT_EQ(rig.clock.totalSleptMs(), 200u);
    rig.transport.CloseDeviceSession(std::move(session));
}

TEST(RegisterTransport, WriteRegToABusyBoxWritesNothing) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    int reads = 0;
    idleFrom(rig, 0, &reads);
    auto session = rig.transport.IdentifyDevice();
    EXPECT_FALSE(rig.transport.WriteReg(6, 100));
    EXPECT_EQ(rig.clock.totalSleptMs(), 5100u);
    for (const auto& r : rig.bus.log->requests)
        EXPECT_NE(r.bmRequestType == 0x21 && r.wValue == 0x0200, true);
    EXPECT_EQ((*rig.box.registers)[6], 0);
    rig.transport.CloseDeviceSession(std::move(session));
}

TEST(RegisterTransport, WriteRegLeavesTheValueWhenTheSecondWaitFails) {
    Rig rig;
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    int reads = 0;
    // Idle for the first wait, busy for good afterwards.
    *rig.box.commandRead = [&reads]() -> uint8_t { return ++reads == 1 ? 0xFF : 0x06; };
    auto session = rig.transport.IdentifyDevice();
    EXPECT_FALSE(rig.transport.WriteReg(6, 100));
    EXPECT_EQ((*rig.box.registers)[6], 100);
    EXPECT_EQ((*rig.box.registers)[0], 0xFF);  // no command issued
    rig.transport.CloseDeviceSession(std::move(session));
}

}  // namespace
}  // namespace tovrel::device
