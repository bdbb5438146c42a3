#include "device/panel_transport.h"

#include <algorithm>
#include <cstdio>

#include "device/bridge_requests.h"
#include "device/device_texts.h"
#include "device/register_protocol.h"
#include "device/supported_boxes.h"

namespace tovrel::device {

PanelTransport::PanelTransport(platform::ExtensionUnitBus& bus, platform::Clock& clock,
                               MessageSink messages)
    : bus_(bus), clock_(clock), messages_(std::move(messages)), deviceType_(kNoDevice) {
    if (!messages_) {
        messages_ = [](std::string_view line) {
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        };
    }
}

PanelTransport::~PanelTransport() = default;

void PanelTransport::say(std::string_view message) { messages_(message); }

bool PanelTransport::OpenBox() {
    unit_.reset();
    for (const SupportedBox& box : kPanelBoxes) {
        platform::UnitSearch found = bus_.searchUnits(box.vendorId, box.productId);
        if (!found.busOpened) {
            // No box of any kind can be found then: one message, no second try.
            say(kMsgCreateServiceFailed);
            break;
        }
        // A box that is there but cannot be reached counts as not found; a reachable box of
        // the next kind is still used.
        if (found.units.empty() && found.notClaimed > 0) say(kMsgGetInterfaceFailed);
        if (!found.units.empty()) {
            // With two boxes of one kind, the first the system enumerates; the others close.
            unit_ = std::move(found.units.front());
            deviceType_ = box.deviceType;
            return true;
        }
    }
    deviceType_ = kNoDevice;
    return false;
}

void PanelTransport::CloseBox() { unit_.reset(); }

bool PanelTransport::I2CRead(uint8_t slave, uint32_t address, uint8_t addressLength,
                             uint8_t* destination, uint16_t length) {
    if (!unit_) {
        say(kMsgRead3Failed);
        return false;
    }
    switch (BridgeRequests::i2cRead(*unit_, slave, addressLength, address, destination, length)) {
        case TransferResult::Ok:
            return true;
        case TransferResult::CommandBlockFailed:
        case TransferResult::BadLength:
            say(kMsgRead1Failed);
            return false;
        case TransferResult::DataBufferFailed:
            say(kMsgRead2Failed);
            return false;
    }
    return false;
}

bool PanelTransport::I2CWrite(uint8_t slave, uint32_t address, uint8_t addressLength,
                              const uint8_t* source, uint16_t length) {
    if (!unit_) {
        say(kMsgWrite3Failed);
        return false;
    }
    switch (BridgeRequests::i2cWrite(*unit_, slave, addressLength, address, source, length)) {
        case TransferResult::Ok:
            return true;
        case TransferResult::DataBufferFailed:
        case TransferResult::BadLength:
            say(kMsgWrite1Failed);
            return false;
        case TransferResult::CommandBlockFailed:
            say(kMsgWrite2Failed);
            return false;
    }
    return false;
}

bool PanelTransport::ReadReg(int reg, uint8_t& value, uint8_t slave) {
    uint8_t byte = 0;
    bool ok = I2CRead(slave, static_cast<uint8_t>(reg), 1, &byte, 1);
    value = ok ? byte : 0;
    return ok;
}

uint8_t PanelTransport::ReadReg(int reg) {
    uint8_t value = 0;
    ReadReg(reg, value);
    return value;
}

bool PanelTransport::writeRegister(uint8_t reg, uint8_t slave, uint8_t value) {
    return I2CWrite(slave, reg, 1, &value, 1);
}

void PanelTransport::readyWaitFailed() { say(kMsgLongFailed); }

bool PanelTransport::WaitCommandIdle() { return RegisterProtocol::waitCommandIdle(*this, clock_); }

bool PanelTransport::WriteReg(int reg, int value) {
    return RegisterProtocol::writeReg(*this, clock_, reg, value);
}

bool PanelTransport::transact(const CommandBlock& block, uint8_t& result) {
    result = 0;
    if (!unit_) return false;
    if (!BridgeRequests::writeCommandBlock(*unit_, block)) return false;
    CommandBlock answer{};
    if (!BridgeRequests::readCommandBlock(*unit_, answer)) return false;
    result = answer[BlockByte::FlashResult];
    return true;
}

bool PanelTransport::FlashQuery(uint8_t& result) {
    return transact(BridgeRequests::flashQueryBlock(), result);
}

bool PanelTransport::FlashStatus(uint8_t operation, uint8_t& result) {
    return transact(BridgeRequests::flashStatusBlock(operation), result);
}

bool PanelTransport::waitFlashReady(uint8_t operation) {
    const uint64_t start = clock_.getTickCount64();
    for (;;) {
        uint8_t result = 0;
        // A status request that does not go through means the box is gone: no point waiting.
        if (!FlashStatus(operation, result)) return false;
        clock_.sleep(kFlashPollMs);
        if (result == kFlashResultReady) return true;
        if (clock_.getTickCount64() - start >= kFlashPollTimeoutMs) return false;
    }
}

bool PanelTransport::FlashErase(int64_t length) {
    if (!unit_) return false;
    flashAddress_ = 0;
    if (length <= 0) return true;
    // Sector addresses are 32-bit: a longer erase cannot be said, and a 32-bit address counted
    // past the last sector would wrap to 0 and go round for ever.
    if (static_cast<uint64_t>(length) > kFlashAddressSpace) return false;
    for (uint64_t sector = 0; sector < static_cast<uint64_t>(length); sector += kFlashSectorBytes) {
        flashAddress_ = static_cast<uint32_t>(sector);
        if (!BridgeRequests::writeCommandBlock(*unit_,
                                               BridgeRequests::flashEraseBlock(flashAddress_))) {
            return false;
        }
        if (!waitFlashReady(kFlashOpErase)) return false;
    }
    flashAddress_ = 0;
    return true;
}

bool PanelTransport::FlashProgram(const uint8_t* bytes, int32_t count) {
    if (!unit_) return false;
    if (count <= 0) return true;
    if (bytes == nullptr) return false;
    int32_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<uint16_t>(std::min<int32_t>(count - done, kFlashChunkBytes));
        if (!BridgeRequests::writeDataBuffer(*unit_, bytes + done, chunk)) return false;
        if (!BridgeRequests::writeCommandBlock(
                *unit_, BridgeRequests::flashProgramBlock(flashAddress_, chunk))) {
            return false;
        }
        flashAddress_ += chunk;
        if (!waitFlashReady(kFlashOpProgram)) return false;
        done += chunk;
    }
    return true;
}

}  // namespace tovrel::device
