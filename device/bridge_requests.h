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
inline constexpr uint8_t kFlashResultReady = 1;  // the result byte of a query or status answer
inline constexpr uint32_t kFlashSectorBytes = 4096;
inline constexpr uint16_t kFlashChunkBytes = 256;

using CommandBlock = std::array<uint8_t, kCommandBlockLength>;
using RequestBuffer = std::array<uint8_t, kRequestBufferLength>;

// Where each field sits in a command block. Bytes not named here are 0. The encoders below and
// the simulated bridge's decoding both go through these, so the layout is written down once.
struct BlockByte {
    enum : size_t {
        Kind = 0,     // kBlockI2c, kBlockFlashQuery, kBlockFlashStatus, kBlockFlashOperation
        Subtype = 5,  // a fixed value of each kind (kSubtype...)

        I2cDirection = 3,  // kI2cRead or kI2cWrite
        I2cSlave = 7,
        I2cAddressLength = 8,
        I2cAddressBits8 = 9,  // the 32-bit address goes out as its bytes 1, 0, 3, 2
        I2cAddressBits0 = 10,
        I2cAddressBits24 = 11,
        I2cAddressBits16 = 12,
        I2cLengthHigh = 13,
        I2cLengthLow = 14,

        FlashStatusOperation = 3,  // the operation a status block asks about
        FlashOperation = 7,        // kFlashOpErase or kFlashOpProgram
        FlashOperationMode = 8,    // kFlashOperationMode
        FlashProgramFlag = 10,     // 1 in a program block
        FlashAddress = 11,         // 4 bytes, least significant first
        FlashLength = 15,          // 2 bytes, least significant first (program blocks)

        FlashResult = 7,  // of the answer to a query or status block
    };
};

inline constexpr uint8_t kSubtypeI2c = 0x10;
inline constexpr uint8_t kSubtypeFlashQuery = 0x01;
inline constexpr uint8_t kSubtypeFlashStatus = 0x02;
inline constexpr uint8_t kSubtypeFlashOperation = 0x0C;
inline constexpr uint8_t kFlashOperationMode = 0x03;

// An I2C command block's fields, as a bridge reads them.
struct I2cTransfer {
    uint8_t direction = 0;
    uint8_t slave = 0;
    uint8_t addressLength = 0;
    uint32_t address = 0;
    uint16_t length = 0;
};

// A flash operation block's fields (the length is 0 in an erase block).
struct FlashStep {
    uint8_t operation = 0;
    uint32_t address = 0;
    uint16_t length = 0;
};

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

    // The other way round, for the side that answers the blocks. The kind byte is the caller's
    // to check first.
    static I2cTransfer decodeI2cBlock(const CommandBlock& block);
    static FlashStep decodeFlashBlock(const CommandBlock& block);

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
