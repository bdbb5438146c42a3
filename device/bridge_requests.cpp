#include "device/bridge_requests.h"

#include <algorithm>
#include <cstring>

namespace tovrel::device {

namespace {

template <typename T>
void putLittleEndian(CommandBlock& block, size_t at, T value) {
    for (size_t i = 0; i < sizeof(T); ++i) block[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

template <typename T>
T getLittleEndian(const CommandBlock& block, size_t at) {
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(T{block[at + i]} << (8 * i));
    return value;
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

CommandBlock flashOperationBlock(uint8_t operation, uint32_t address) {
    CommandBlock block{};
    block[BlockByte::Kind] = kBlockFlashOperation;
    block[BlockByte::Subtype] = kSubtypeFlashOperation;
    block[BlockByte::FlashOperation] = operation;
    block[BlockByte::FlashOperationMode] = kFlashOperationMode;
    putLittleEndian<uint32_t>(block, BlockByte::FlashAddress, address);
    return block;
}

}  // namespace

CommandBlock BridgeRequests::i2cBlock(uint8_t direction, uint8_t slave, uint8_t addressLength,
                                      uint32_t address, uint16_t length) {
    CommandBlock block{};
    block[BlockByte::Kind] = kBlockI2c;
    block[BlockByte::I2cDirection] = direction;
    block[BlockByte::Subtype] = kSubtypeI2c;
    block[BlockByte::I2cSlave] = slave;
    block[BlockByte::I2cAddressLength] = addressLength;
    block[BlockByte::I2cAddressBits8] = static_cast<uint8_t>(address >> 8);
    block[BlockByte::I2cAddressBits0] = static_cast<uint8_t>(address);
    block[BlockByte::I2cAddressBits24] = static_cast<uint8_t>(address >> 24);
    block[BlockByte::I2cAddressBits16] = static_cast<uint8_t>(address >> 16);
    block[BlockByte::I2cLengthHigh] = static_cast<uint8_t>(length >> 8);
    block[BlockByte::I2cLengthLow] = static_cast<uint8_t>(length);
    return block;
}

I2cTransfer BridgeRequests::decodeI2cBlock(const CommandBlock& block) {
    I2cTransfer transfer;
    transfer.direction = block[BlockByte::I2cDirection];
    transfer.slave = block[BlockByte::I2cSlave];
    transfer.addressLength = block[BlockByte::I2cAddressLength];
    transfer.address = (uint32_t{block[BlockByte::I2cAddressBits24]} << 24) |
                       (uint32_t{block[BlockByte::I2cAddressBits16]} << 16) |
                       (uint32_t{block[BlockByte::I2cAddressBits8]} << 8) |
                       block[BlockByte::I2cAddressBits0];
    transfer.length = static_cast<uint16_t>((block[BlockByte::I2cLengthHigh] << 8) |
                                            block[BlockByte::I2cLengthLow]);
    return transfer;
}

CommandBlock BridgeRequests::flashQueryBlock() {
    CommandBlock block{};
    block[BlockByte::Kind] = kBlockFlashQuery;
    block[BlockByte::Subtype] = kSubtypeFlashQuery;
    return block;
}

CommandBlock BridgeRequests::flashStatusBlock(uint8_t operation) {
    CommandBlock block{};
    block[BlockByte::Kind] = kBlockFlashStatus;
    block[BlockByte::FlashStatusOperation] = operation;
    block[BlockByte::Subtype] = kSubtypeFlashStatus;
    return block;
}

CommandBlock BridgeRequests::flashEraseBlock(uint32_t sectorAddress) {
    return flashOperationBlock(kFlashOpErase, sectorAddress);
}

CommandBlock BridgeRequests::flashProgramBlock(uint32_t flashAddress, uint16_t chunkLength) {
    CommandBlock block = flashOperationBlock(kFlashOpProgram, flashAddress);
    block[BlockByte::FlashProgramFlag] = 0x01;
    putLittleEndian<uint16_t>(block, BlockByte::FlashLength, chunkLength);
    return block;
}

FlashStep BridgeRequests::decodeFlashBlock(const CommandBlock& block) {
    FlashStep step;
    step.operation = block[BlockByte::FlashOperation];
    step.address = getLittleEndian<uint32_t>(block, BlockByte::FlashAddress);
    step.length = getLittleEndian<uint16_t>(block, BlockByte::FlashLength);
    return step;
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
