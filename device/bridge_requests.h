#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/usb/extension_unit.h"

namespace tovrel::device {

// The wire form of everything said to the bridge: two controls of its extension unit (entity 4,
// interface 0). Control 1 takes a 30-byte command block (an I2C transfer or a flash operation),
// control 2 carries the data bytes. Both the vendor-library functions and the panel transport
// are built from these requests, so both put the very same bytes on the wire.
// Stateless; any thread, one unit per thread at a time.

inline constexpr uint16_t kExtensionUnitIndex = 0x0400;
inline constexpr uint16_t kCommandBlockControl = 0x0100;
inline constexpr uint16_t kDataBufferControl = 0x0200;
inline constexpr uint16_t kCommandBlockLength = 30;
inline constexpr uint16_t kRequestBufferLength = 256;  // also the most one I2C transfer carries

inline constexpr uint8_t kBlockI2c = 0xD4;
inline constexpr uint8_t kI2cRead = 0xD0;
inline constexpr uint8_t kI2cWrite = 0xD1;
inline constexpr uint8_t kBlockFlashQuery = 0xC9;
inline constexpr uint8_t kBlockFlashStatus = 0xCC;
inline constexpr uint8_t kBlockFlashOperation = 0xCA;
inline constexpr uint8_t kFlashOpErase = 0xFD;
inline constexpr uint8_t kFlashOpProgram = 0x02;
inline constexpr uint8_t kFlashResultReady = 1;  // byte 7 of a query or status answer
inline constexpr size_t kFlashResultByte = 7;
inline constexpr uint32_t kFlashSectorBytes = 4096;
inline constexpr uint16_t kFlashChunkBytes = 256;

using CommandBlock = std::array<uint8_t, kCommandBlockLength>;
using RequestBuffer = std::array<uint8_t, kRequestBufferLength>;

enum class TransferResult {
    Ok,
    CommandBlockFailed,  // the command block write did not go through
    DataBufferFailed,    // the data buffer read or write did not go through (or came up short)
    BadLength,           // more than one data buffer; nothing was sent
};

class BridgeRequests {
  public:
    // Command blocks. The I2C block sends its 32-bit address in byte order 1, 0, 3, 2 and its
    // length high byte first; the flash blocks are little-endian.
    static CommandBlock i2cBlock(uint8_t direction, uint8_t slave, uint8_t addressLength,
                                 uint32_t address, uint16_t length);
    static CommandBlock flashQueryBlock();
    static CommandBlock flashStatusBlock(uint8_t operation);
    static CommandBlock flashEraseBlock(uint32_t sectorAddress);
    static CommandBlock flashProgramBlock(uint32_t flashAddress, uint16_t chunkLength);

    // The four requests; each goes through a zeroed 256-byte buffer. A request counts as done
    // only when its whole data stage went through.
    static bool writeCommandBlock(platform::ExtensionUnit& unit, const CommandBlock& block);
    // Reads back the block the bridge holds, with its result byte.
    static bool readCommandBlock(platform::ExtensionUnit& unit, CommandBlock& block);
    static bool writeDataBuffer(platform::ExtensionUnit& unit, const uint8_t* data,
                                uint16_t length);
    // Gives the number of bytes the bridge returned (up to 256), or -1.
    static int readDataBuffer(platform::ExtensionUnit& unit, RequestBuffer& buffer);

    // One I2C read: the command block first, then the data buffer; the first `length` bytes of
    // the returned buffer go to `destination`.
    static TransferResult i2cRead(platform::ExtensionUnit& unit, uint8_t slave,
                                  uint8_t addressLength, uint32_t address, uint8_t* destination,
                                  uint16_t length);
    // One I2C write: the data buffer first, then the command block.
    static TransferResult i2cWrite(platform::ExtensionUnit& unit, uint8_t slave,
                                   uint8_t addressLength, uint32_t address, const uint8_t* source,
                                   uint16_t length);
};

}  // namespace tovrel::device
