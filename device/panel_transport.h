#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "device/register_map.h"
#include "device/register_port.h"
#include "device/register_protocol.h"
#include "platform/system/clock.h"
#include "platform/usb/extension_unit_bus.h"

namespace tovrel::device {

// The control panel's own transport: one box opened over its extension unit, I2C transfers,
// the shared RegisterProtocol (ready wait, value then command number) over them and the flash
// operations.
// Diagnostic lines ("Read1 Failed", "Long Failed" ...) go to the message sink, standard output
// by default. Every action opens the box, makes its transfers and closes it again.
// One thread at a time (the panel's main thread, under its lock).
class PanelTransport final : public RegisterPort {
  public:
    using MessageSink = std::function<void(std::string_view)>;

    // The flash status polls have no end of their own: a box that never reports ready (or has
    // gone) would hold the panel forever. Each erase or program step gives up after this.
    static constexpr uint64_t kFlashPollTimeoutMs = 3000;
    static constexpr uint32_t kFlashPollMs = 1;
    static constexpr uint32_t kIdlePollMs = RegisterProtocol::kIdlePollMs;
    static constexpr uint64_t kFlashAddressSpace = uint64_t{1} << 32;

    PanelTransport(platform::ExtensionUnitBus& bus, platform::Clock& clock,
                   MessageSink messages = {});
    ~PanelTransport() override;

    // Tries the panel's two boxes in order; the first found is opened.
    bool OpenBox();
    void CloseBox();
    bool isOpen() const { return unit_ != nullptr; }
    int32_t deviceType() const { return deviceType_; }
    uint32_t flashAddress() const { return flashAddress_; }

    bool I2CRead(uint8_t slave, uint32_t address, uint8_t addressLength, uint8_t* destination,
                 uint16_t length);
    bool I2CWrite(uint8_t slave, uint32_t address, uint8_t addressLength, const uint8_t* source,
                  uint16_t length);
    // The byte of one register (0 when the read failed: see the overload to tell failures).
    uint8_t ReadReg(int reg);
    bool ReadReg(int reg, uint8_t& value, uint8_t slave = kMicrocontrollerSlave) override;
    bool WaitCommandIdle();
    bool WriteReg(int reg, int value);

    bool FlashQuery(uint8_t& result);
    bool FlashStatus(uint8_t operation, uint8_t& result);
    // Erases ceil(length / 4096) sectors from flash address 0; a length of 0 or less erases
    // nothing, one beyond the 32-bit flash addresses fails at once. Leaves flashAddress at 0, or
    // at the failed sector's address on failure.
    bool FlashErase(int64_t length);
    // Programs `count` bytes from flashAddress on, in chunks of at most 256 bytes.
    bool FlashProgram(const uint8_t* bytes, int32_t count);

    bool writeRegister(uint8_t reg, uint8_t slave, uint8_t value) override;

  private:
    // Every failed ready wait prints "Long Failed".
    void readyWaitFailed() override;
    void say(std::string_view message);
    bool transact(const std::array<uint8_t, 30>& block, uint8_t& result);
    bool waitFlashReady(uint8_t operation);

    platform::ExtensionUnitBus& bus_;
    platform::Clock& clock_;
    MessageSink messages_;
    std::unique_ptr<platform::ExtensionUnit> unit_;
    int32_t deviceType_;
    uint32_t flashAddress_ = 0;
};

}  // namespace tovrel::device
