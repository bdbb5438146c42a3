#include "device/bridge_requests.h"

#include <algorithm>
#include <cstring>

namespace tovrel::device {

namespace {

void putLittleEndian32(CommandBlock& block, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) block[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

int send(platform::ExtensionUnit& unit, uint8_t requestType, uint8_t request, uint16_t control,
         uint16_t length, RequestBuffer& buffer) {
    platform::DeviceRequest r;
    r.bmRequestType = requestType;
    r.bRequest = request;
    r.wValue = control;
    r.wIndex = kExtensionUnitIndex;
    r.wLength = length;
    r.data = buffer.data();
    return unit.deviceRequest(r);
}

}  // namespace

CommandBlock BridgeRequests::i2cBlock(uint8_t direction, uint8_t slave, uint8_t addressLength,
                                      uint32_t address, uint16_t length) {
    CommandBlock block{};
    block[0] = kBlockI2c;
    block[3] = direction;
    block[5] = 0x10;
    block[7] = slave;
    block[8] = addressLength;
    block[9] = static_cast<uint8_t>(address >> 8);
    block[10] = static_cast<uint8_t>(address);
    block[11] = static_cast<uint8_t>(address >> 24);
    block[12] = static_cast<uint8_t>(address >> 16);
    block[13] = static_cast<uint8_t>(length >> 8);
    block[14] = static_cast<uint8_t>(length);
    return block;
}

CommandBlock BridgeRequests::flashQueryBlock() {
    CommandBlock block{};
    block[0] = kBlockFlashQuery;
    block[5] = 0x01;
    return block;
}

CommandBlock BridgeRequests::flashStatusBlock(uint8_t operation) {
    CommandBlock block{};
    block[0] = kBlockFlashStatus;
    block[3] = operation;
    block[5] = 0x02;
    return block;
}

CommandBlock BridgeRequests::flashEraseBlock(uint32_t sectorAddress) {
    CommandBlock block{};
    block[0] = kBlockFlashOperation;
    block[5] = 0x0C;
    block[7] = kFlashOpErase;
    block[8] = 0x03;
    putLittleEndian32(block, 11, sectorAddress);
    return block;
}

CommandBlock BridgeRequests::flashProgramBlock(uint32_t flashAddress, uint16_t chunkLength) {
    CommandBlock block{};
    block[0] = kBlockFlashOperation;
    block[5] = 0x0C;
    block[7] = kFlashOpProgram;
    block[8] = 0x03;
    block[10] = 0x01;
    putLittleEndian32(block, 11, flashAddress);
    block[15] = static_cast<uint8_t>(chunkLength);
    block[16] = static_cast<uint8_t>(chunkLength >> 8);
    return block;
}

bool BridgeRequests::writeCommandBlock(platform::ExtensionUnit& unit, const CommandBlock& block) {
    RequestBuffer buffer{};
    std::copy(block.begin(), block.end(), buffer.begin());
    return send(unit, platform::kClassInterfaceOut, platform::kUvcSetCur, kCommandBlockControl,
                kCommandBlockLength, buffer) == kCommandBlockLength;
}

bool BridgeRequests::readCommandBlock(platform::ExtensionUnit& unit, CommandBlock& block) {
    RequestBuffer buffer{};
    if (send(unit, platform::kClassInterfaceIn, platform::kUvcGetCur, kCommandBlockControl,
             kCommandBlockLength, buffer) != kCommandBlockLength) {
        return false;
    }
    std::copy_n(buffer.begin(), kCommandBlockLength, block.begin());
    return true;
}

bool BridgeRequests::writeDataBuffer(platform::ExtensionUnit& unit, const uint8_t* data,
                                     uint16_t length) {
    if (length > kRequestBufferLength) return false;
    RequestBuffer buffer{};
    if (length > 0) std::memcpy(buffer.data(), data, length);
    return send(unit, platform::kClassInterfaceOut, platform::kUvcSetCur, kDataBufferControl,
                length, buffer) == length;
}

int BridgeRequests::readDataBuffer(platform::ExtensionUnit& unit, RequestBuffer& buffer) {
    buffer.fill(0);
    int got = send(unit, platform::kClassInterfaceIn, platform::kUvcGetCur, kDataBufferControl,
                   kRequestBufferLength, buffer);
    if (got < 0) return -1;
    return std::min<int>(got, kRequestBufferLength);
}

TransferResult BridgeRequests::i2cRead(platform::ExtensionUnit& unit, uint8_t slave,
                                       uint8_t addressLength, uint32_t address,
                                       uint8_t* destination, uint16_t length) {
    if (length > kRequestBufferLength) return TransferResult::BadLength;
    if (!writeCommandBlock(unit, i2cBlock(kI2cRead, slave, addressLength, address, length))) {
        return TransferResult::CommandBlockFailed;
    }
    RequestBuffer buffer;
    int got = readDataBuffer(unit, buffer);
    // A short answer would hand over the zeros of the buffer as if the box had sent them.
    if (got < static_cast<int>(length)) return TransferResult::DataBufferFailed;
    if (length > 0) std::memcpy(destination, buffer.data(), length);
    return TransferResult::Ok;
}

TransferResult BridgeRequests::i2cWrite(platform::ExtensionUnit& unit, uint8_t slave,
                                        uint8_t addressLength, uint32_t address,
                                        const uint8_t* source, uint16_t length) {
    if (length > kRequestBufferLength) return TransferResult::BadLength;
    if (!writeDataBuffer(unit, source, length)) return TransferResult::DataBufferFailed;
    if (!writeCommandBlock(unit, i2cBlock(kI2cWrite, slave, addressLength, address, length))) {
        return TransferResult::CommandBlockFailed;
    }
    return TransferResult::Ok;
}

}  // namespace tovrel::device
