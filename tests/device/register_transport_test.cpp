#include "device/register_transport.h"

#include <gtest/gtest.h>

#include "tests/device/transport_rigs.h"

namespace tovrel::device {
namespace {

using namespace testing;
using Rig = VendorLibraryRig;

struct Pair {
    uint16_t vendorId;
    uint16_t productId;
    int32_t deviceType;
};

// The supported boxes in the order they are tried, written out here rather than taken from the
// transport's table, so that a wrong entry there fails.
constexpr Pair kSixPairs[] = {
    {0x7B30, 0x4E11, 0}, {0x5D42, 0x0A60, 1}, {0x7B30, 0x4E12, 2},
    {0x6F05, 0x4E11, 0}, {0x6F05, 0x4E12, 2}, {0x6F05, 0xE2A9, 3},
};

TEST(RegisterTransport, WithNoBoxTriesAllSixPairsInOrderAndGives255) {
    Rig rig;
    auto session = rig.transport.IdentifyDevice();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->deviceType, 255);
    EXPECT_EQ(session->text, "Unknow");
    ASSERT_EQ(rig.bus.lookups.size(), std::size(kSixPairs));
    for (size_t i = 0; i < std::size(kSixPairs); ++i) {
        EXPECT_EQ(rig.bus.lookups[i].first, kSixPairs[i].vendorId) << "try " << i + 1;
        EXPECT_EQ(rig.bus.lookups[i].second, kSixPairs[i].productId) << "try " << i + 1;
    }
    uint8_t value = 0xAA;
    EXPECT_FALSE(rig.transport.ReadReg(11, value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(rig.transport.WriteReg(6, 100));
    EXPECT_TRUE(rig.bus.log->requests.empty());
    rig.transport.CloseDeviceSession(std::move(session));
}

TEST(RegisterTransport, EachPairGivesItsDeviceType) {
    for (const Pair& box : kSixPairs) {
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
    for (const auto& box : kSixPairs) rig.bus.attached[{box.vendorId, box.productId}] = 4;
    auto session = rig.transport.IdentifyDevice();
    EXPECT_EQ(session->deviceType, 255);
    uint8_t value;
    EXPECT_FALSE(rig.transport.ReadReg(0, value));
    EXPECT_FALSE(rig.transport.WriteReg(6, 100));
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

}  // namespace
}  // namespace tovrel::device
