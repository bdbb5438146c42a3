// The register protocol (ready wait, command write) through both programs' transports: the same
// protocol must come out of either, down to the bytes on the wire.

#include "device/register_protocol.h"

#include <gtest/gtest.h>

#include "tests/device/transport_rigs.h"

namespace tovrel::device {
namespace {

using namespace testing;

template <typename Rig>
class RegisterProtocolTest : public ::testing::Test {};

using Transports = ::testing::Types<VendorLibraryRig, PanelRig>;
TYPED_TEST_SUITE(RegisterProtocolTest, Transports);

// Register 0 reads 0xFF only from the given read on (1-based); 0 means never.
template <typename Rig>
std::shared_ptr<int> idleFrom(Rig& rig, int firstIdleRead) {
    auto reads = std::make_shared<int>(0);
    *rig.box.commandRead = [firstIdleRead, reads]() -> uint8_t {
        ++*reads;
        return (firstIdleRead != 0 && *reads >= firstIdleRead) ? 0xFF : 0x06;
    };
    return reads;
}

TYPED_TEST(RegisterProtocolTest, ReadyWaitCountsOnlyTheFirst49Reads) {
    struct Case {
        int firstIdle;
        bool ok;
        int reads;
    };
    for (Case c : {Case{1, true, 1}, Case{49, true, 49}, Case{50, false, 50}, Case{51, false, 51},
                   Case{0, false, 51}}) {
        TypeParam rig;
        rig.attach();
        auto reads = idleFrom(rig, c.firstIdle);
        rig.open();
        EXPECT_EQ(rig.transport.WaitCommandIdle(), c.ok) << "idle from read " << c.firstIdle;
        EXPECT_EQ(*reads, c.reads);
        EXPECT_EQ(rig.clock.totalSleptMs(), 100u * c.reads);  // 100 ms after every read
        rig.close();
    }
}

TYPED_TEST(RegisterProtocolTest, ReadyWaitFailsAtOnceOnAFailedRead) {
    TypeParam rig;
    rig.attach();
    rig.bus.log->responder = [](const platform::DeviceRequest&) { return -1; };
    rig.open();
    EXPECT_FALSE(rig.transport.WaitCommandIdle());
    EXPECT_EQ(rig.bus.log->requests.size(), 1u);
    EXPECT_EQ(rig.clock.totalSleptMs(), 0u);
    rig.close();
}

TYPED_TEST(RegisterProtocolTest, WithoutABoxNothingIsSent) {
    TypeParam rig;
    rig.open();
    EXPECT_FALSE(rig.transport.WaitCommandIdle());
    EXPECT_FALSE(rig.transport.WriteReg(6, 100));
    EXPECT_TRUE(rig.bus.log->requests.empty());
    EXPECT_EQ(rig.clock.totalSleptMs(), 0u);
    rig.close();
}

TYPED_TEST(RegisterProtocolTest, WriteRegPutsTheValueThenTheNumberEachBehindAReadyWait) {
    TypeParam rig;
    rig.attach();
    rig.open();
    ASSERT_TRUE(rig.transport.WriteReg(300, 0x1FF));  // low 8 bits: register 44, value 0xFF
    const auto& log = rig.bus.log->requests;
    // wait (read of 0), value write, wait, number write: 2 + 2 + 2 + 2 requests.
    ASSERT_EQ(log.size(), 8u);
    const RecordedRequest readOfRegister0 =
        commandBlockWrite(block({{0, 0xD4}, {3, 0xD0}, {5, 0x10}, {7, 0xB4}, {8, 1}, {14, 1}}));
    EXPECT_EQ(log[0], readOfRegister0);
    EXPECT_EQ(log[1], dataBufferRead());
    EXPECT_EQ(log[2], dataBufferWrite({0xFF}));
    EXPECT_EQ(log[3],
              commandBlockWrite(
                  block({{0, 0xD4}, {3, 0xD1}, {5, 0x10}, {7, 0xB4}, {8, 1}, {10, 44}, {14, 1}})));
    EXPECT_EQ(log[4], readOfRegister0);
    EXPECT_EQ(log[5], dataBufferRead());
    EXPECT_EQ(log[6], dataBufferWrite({44}));
    EXPECT_EQ(log[7], commandBlockWrite(block(
                          {{0, 0xD4}, {3, 0xD1}, {5, 0x10}, {7, 0xB4}, {8, 1}, {10, 0}, {14, 1}})));
    EXPECT_EQ((*rig.box.registers)[44], 0xFF);
    EXPECT_EQ((*rig.box.registers)[0], 44);
    EXPECT_EQ(rig.clock.totalSleptMs(), 200u);
    rig.close();
}

TYPED_TEST(RegisterProtocolTest, WriteRegToABusyBoxWritesNothing) {
    TypeParam rig;
    rig.attach();
    idleFrom(rig, 0);
    rig.open();
    EXPECT_FALSE(rig.transport.WriteReg(6, 100));
    EXPECT_EQ(rig.clock.totalSleptMs(), 5100u);
    for (const auto& r : rig.bus.log->requests)
        EXPECT_FALSE(r.bmRequestType == 0x21 && r.wValue == 0x0200) << "a data buffer write";
    EXPECT_EQ((*rig.box.registers)[6], 0);
    rig.close();
}

TYPED_TEST(RegisterProtocolTest, WriteRegLeavesTheValueWhenTheSecondWaitFails) {
    TypeParam rig;
    rig.attach();
    auto reads = std::make_shared<int>(0);
    // Idle for the first wait, busy for good afterwards.
    *rig.box.commandRead = [reads]() -> uint8_t { return ++*reads == 1 ? 0xFF : 0x06; };
    rig.open();
    EXPECT_FALSE(rig.transport.WriteReg(6, 100));
    EXPECT_EQ((*rig.box.registers)[6], 100);
    EXPECT_EQ((*rig.box.registers)[0], 0xFF);  // no command issued
    rig.close();
}

TYPED_TEST(RegisterProtocolTest, WriteRegDoesNotLookAtTheResultsOfItsWrites) {
    TypeParam rig;
    rig.attach();
    RegisterFileResponder box = rig.box;
    // Every data buffer write fails; the reads still show an idle box.
    rig.bus.log->responder = [box](const platform::DeviceRequest& r) {
        return (!r.isDeviceToHost() && r.wValue == 0x0200) ? -1 : box(r);
    };
    rig.open();
    EXPECT_TRUE(rig.transport.WriteReg(6, 100));
    EXPECT_EQ((*rig.box.registers)[0], 0xFF);
    rig.close();
}

}  // namespace
}  // namespace tovrel::device
