#include "device/bridge_requests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "device/kelm_uvc_library.h"
#include "tests/device/recording_unit.h"
#include "tests/device/transport_rigs.h"

namespace tovrel::device {
namespace {

using namespace testing;

TEST(BridgeRequests, I2cBlockLaysOutAddressAsBytes1032AndLengthHighFirst) {
    auto b = BridgeRequests::i2cBlock(kI2cRead, 0xB4, 1, 0x11223344, 0x0102);
    std::vector<uint8_t> got(b.begin(), b.end());
    EXPECT_EQ(got, block({{0, 0xD4},
                          {3, 0xD0},
                          {5, 0x10},
                          {7, 0xB4},
                          {8, 1},
                          {9, 0x33},
                          {10, 0x44},
                          {11, 0x11},
                          {12, 0x22},
                          {13, 0x01},
                          {14, 0x02}}));
    // A one-byte register number N goes out as 0, N, 0, 0.
    auto w = BridgeRequests::i2cBlock(kI2cWrite, 0, 1, 27, 1);
    EXPECT_EQ(w[3], 0xD1);
    EXPECT_EQ(w[7], 0x00);
    EXPECT_EQ((std::vector<uint8_t>{w[9], w[10], w[11], w[12]}),
              (std::vector<uint8_t>{0, 27, 0, 0}));
}

TEST(BridgeRequests, FlashBlocksAreLittleEndian) {
    auto q = BridgeRequests::flashQueryBlock();
    EXPECT_EQ(std::vector<uint8_t>(q.begin(), q.end()), block({{0, 0xC9}, {5, 0x01}}));
    auto s = BridgeRequests::flashStatusBlock(kFlashOpErase);
    EXPECT_EQ(std::vector<uint8_t>(s.begin(), s.end()), block({{0, 0xCC}, {3, 0xFD}, {5, 0x02}}));
    auto e = BridgeRequests::flashEraseBlock(0x00123000);
    EXPECT_EQ(
        std::vector<uint8_t>(e.begin(), e.end()),
        block({{0, 0xCA}, {5, 0x0C}, {7, 0xFD}, {8, 0x03}, {11, 0x00}, {12, 0x30}, {13, 0x12}}));
    auto p = BridgeRequests::flashProgramBlock(0x04030201, 0x012C);
    EXPECT_EQ(std::vector<uint8_t>(p.begin(), p.end()), block({{0, 0xCA},
                                                               {5, 0x0C},
                                                               {7, 0x02},
                                                               {8, 0x03},
                                                               {10, 0x01},
                                                               {11, 0x01},
                                                               {12, 0x02},
                                                               {13, 0x03},
                                                               {14, 0x04},
                                                               {15, 0x2C},
                                                               {16, 0x01}}));
}

TEST(KelmUvcLibrary, I2cReadSendsTheBlockThenFetchesTheWholeBuffer) {
    FakeBus bus;
    bus.attached[{0x7B30, 0x4E11}] = 1;
    bus.log->responder = [](const platform::DeviceRequest& r) {
        if (r.isDeviceToHost()) {
            for (int i = 0; i < r.wLength; ++i) r.data[i] = static_cast<uint8_t>(0xA0 + i);
        }
        return int(r.wLength);
    };
    KelmUvcLibrary library(bus);
    std::vector<void*> handles;
    library.GetKelmUVCHandle(handles, "7b30", "4e11");
    ASSERT_EQ(handles.size(), 1u);
    uint8_t byte = 0;
    ASSERT_NE(library.UVC_I2CM_Read(handles[0], 0xB4, 1, 11, 1, &byte), 0);
    EXPECT_EQ(byte, 0xA0);  // the first byte of the 256 returned
    std::vector<RecordedRequest> expected{
        commandBlockWrite(
            block({{0, 0xD4}, {3, 0xD0}, {5, 0x10}, {7, 0xB4}, {8, 1}, {10, 11}, {14, 1}})),
        dataBufferRead()};
    EXPECT_EQ(bus.log->requests, expected);
    library.CloseKelmUVCHandle(handles);
    EXPECT_TRUE(handles.empty());
    EXPECT_EQ(bus.log->openUnits, 0);
}

TEST(KelmUvcLibrary, I2cWriteSendsTheDataThenTheBlock) {
    FakeBus bus;
    bus.attached[{0x7B30, 0x4E11}] = 1;
    KelmUvcLibrary library(bus);
    std::vector<void*> handles;
    library.GetKelmUVCHandle(handles, "7b30", "4e11");
    const uint8_t bytes[3] = {9, 8, 7};
    ASSERT_NE(library.UVC_I2CM_Write(handles[0], 0xB4, 1, 26, 3, bytes), 0);
    std::vector<RecordedRequest> expected{
        dataBufferWrite({9, 8, 7}),
        commandBlockWrite(
            block({{0, 0xD4}, {3, 0xD1}, {5, 0x10}, {7, 0xB4}, {8, 1}, {10, 26}, {14, 3}}))};
    EXPECT_EQ(bus.log->requests, expected);
    library.CloseKelmUVCHandle(handles);
}

TEST(KelmUvcLibrary, RefusesWhatItCannotCarry) {
    FakeBus bus;
    bus.attached[{0x7B30, 0x4E11}] = 1;
    KelmUvcLibrary library(bus);
    std::vector<void*> handles;
    library.GetKelmUVCHandle(handles, "7b30", "4e11");
    uint8_t big[300] = {};
    EXPECT_EQ(library.UVC_I2CM_Read(handles[0], 0xB4, 1, 0, 300, big), 0);
    EXPECT_EQ(library.UVC_I2CM_Write(handles[0], 0xB4, 1, 0, 257, big), 0);
    EXPECT_TRUE(bus.log->requests.empty());

    int notAHandle = 0;
    EXPECT_EQ(library.UVC_I2CM_Read(&notAHandle, 0xB4, 1, 0, 1, big), 0);
    std::vector<void*> closed = handles;
    library.CloseKelmUVCHandle(handles);
    EXPECT_EQ(library.UVC_I2CM_Read(closed[0], 0xB4, 1, 0, 1, big), 0);  // no use after close

    std::vector<void*> none;
    library.GetKelmUVCHandle(none, "7b30x", "4e11");
    library.GetKelmUVCHandle(none, "", "4e11");
    library.GetKelmUVCHandle(none, nullptr, "4e11");
    EXPECT_TRUE(none.empty());
}

TEST(KelmUvcLibrary, ShortOrFailedAnswersFailTheTransfer) {
    FakeBus bus;
    bus.attached[{0x7B30, 0x4E11}] = 1;
    KelmUvcLibrary library(bus);
    std::vector<void*> handles;
    library.GetKelmUVCHandle(handles, "7b30", "4e11");
    uint8_t byte = 0x55;
    bus.log->responder = [](const platform::DeviceRequest& r) {
        return r.isDeviceToHost() ? 0 : int(r.wLength);
    };
    EXPECT_EQ(library.UVC_I2CM_Read(handles[0], 0xB4, 1, 0, 1, &byte), 0);
    bus.log->responder = [](const platform::DeviceRequest& r) {
        return r.wValue == 0x0100 ? 29 : int(r.wLength);
    };
    EXPECT_EQ(library.UVC_I2CM_Read(handles[0], 0xB4, 1, 0, 1, &byte), 0);
    EXPECT_EQ(library.UVC_I2CM_Write(handles[0], 0xB4, 1, 0, 1, &byte), 0);
    bus.log->responder = [](const platform::DeviceRequest&) { return -1; };
    EXPECT_EQ(library.UVC_I2CM_Write(handles[0], 0xB4, 1, 0, 1, &byte), 0);
    EXPECT_EQ(byte, 0x55);
    library.CloseKelmUVCHandle(handles);
}

// A box that answers fewer bytes than asked, at every length short of the request, or claims
// more: each operation fails, or takes only what it asked for, and hands over no byte it did not
// receive. The sanitizer run sees any copy past the 256-byte request buffer.
TEST(HostileBox, AnswersShorterOrLongerThanAskedNeverPassForTheBoxs) {
    PanelRig rig;
    rig.attach();
    ASSERT_TRUE(rig.transport.OpenBox());
    const RegisterFileResponder box = rig.box;
    (*box.registers)[0x10] = 0x5A;
    // The data buffer's IN answer cut to `data` bytes, the command block's to `block`.
    auto answer = [&](int data, int block) {
        rig.bus.log->responder = [box, data, block](const platform::DeviceRequest& r) {
            const int full = box(r);
            if (!r.isDeviceToHost()) return full;
            return std::min(full, r.wValue == kDataBufferControl ? data : block);
        };
    };
    std::array<uint8_t, kRequestBufferLength> got;
    for (int data = 0; data < kRequestBufferLength; ++data) {
        answer(data, kCommandBlockLength);
        got.fill(0xEE);
        EXPECT_FALSE(
            rig.transport.I2CRead(kMicrocontrollerSlave, 0x10, 1, got.data(), kRequestBufferLength))
            << data;
        EXPECT_EQ(got[0], 0xEE) << "a byte of a failed read was handed over";
    }
    answer(0, kCommandBlockLength);
    uint8_t value = 0xEE;
    EXPECT_FALSE(rig.transport.ReadReg(0x10, value));
    EXPECT_FALSE(rig.transport.WriteReg(0x10, 1)) << "a ready wait on a read that came up short";
    for (int block = 0; block < kCommandBlockLength; ++block) {
        answer(kRequestBufferLength, block);
        uint8_t result = 0x77;
        EXPECT_FALSE(rig.transport.FlashQuery(result)) << block;
    }

    // Claims beyond the request: the data read takes the bytes it asked for, the command block,
    // whose length is fixed, is refused.
    rig.bus.log->responder = [box](const platform::DeviceRequest& r) {
        const int full = box(r);
        return r.isDeviceToHost() ? full + 1000 : full;
    };
    value = 0;
    EXPECT_TRUE(rig.transport.ReadReg(0x10, value));
    EXPECT_EQ(value, 0x5A);
    uint8_t result = 0x77;
    EXPECT_FALSE(rig.transport.FlashQuery(result));

    // The vendor library's side of the same answers.
    VendorLibraryRig vendor;
    vendor.attach();
    vendor.open();
    const RegisterFileResponder vendorBox = vendor.box;
    vendor.bus.log->responder = [vendorBox](const platform::DeviceRequest& r) {
        const int full = vendorBox(r);
        return r.isDeviceToHost() && r.wValue == kDataBufferControl ? 0 : full;
    };
    value = 0xEE;
    EXPECT_FALSE(vendor.transport.ReadReg(0x10, value));
    const size_t sent = vendor.bus.log->requests.size();
    EXPECT_FALSE(vendor.transport.WriteReg(0x10, 1));
    for (size_t i = sent; i < vendor.bus.log->requests.size(); ++i) {
        const RecordedRequest& r = vendor.bus.log->requests[i];
        if (r.bmRequestType & 0x80) continue;
        EXPECT_TRUE(r.wValue == kCommandBlockControl && r.out[BlockByte::I2cDirection] == kI2cRead)
            << "a write went out to a box whose answers came up short";
    }
    vendor.close();
}

}  // namespace
}  // namespace tovrel::device
