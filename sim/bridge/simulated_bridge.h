#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "device/bridge_requests.h"
#include "platform/system/clock.h"
#include "platform/usb/device_request.h"
#include "sim/bridge/bridge_faults.h"
#include "sim/bridge/hdmi_source_state.h"

namespace tovrel::sim {

// The simulated box's USB bridge and the microcontroller behind its I2C master, answering the
// extension unit's two controls byte for byte: the 30-byte command block (I2C transfers 0xD4,
// flash query 0xC9, flash status 0xCC, flash erase and program 0xCA) and the data buffer.
// Writing a command number into register 0 runs that command with the parameter found in the
// register of the same number; register 0 reads the number while the command runs and 0xFF
// after Config::commandBusyMs. The flash has 4096-byte sectors, programs like NOR (bits only
// clear) and stays busy for a while after each operation. Time comes from the injected clock,
// so a manual clock steps it in tests. Thread-safe: the video, audio and control code of the
// simulated box may reach it from any thread.
class SimulatedBridge {
  public:
    struct Config {
        uint16_t vendorId = 0x7B30;
        uint16_t productId = 0x4E11;
        uint32_t commandBusyMs = 20;
        uint32_t eraseBusyMs = 30;
        uint32_t programBusyMs = 2;
        uint32_t flashBytes = 2u << 20;
        uint8_t flashQueryResult = 1;
        uint8_t fwVersion = 0x12;      // register 21
        uint8_t bridgeVersion = 0x05;  // bridge register 92
        bool macMode = false;          // bridge register 60 reads 0x33 when set
    };

    struct ExecutedCommand {
        uint8_t number;
        uint8_t parameter;
    };

    // One I2C transfer to the microcontroller as it reached the bus: its first register and
    // first data byte.
    struct I2cTransfer {
        bool write;
        uint8_t reg;
        uint8_t value;  // 0 for a read
    };
    static constexpr size_t kI2cLogLimit = 1u << 16;

    struct FlashOperation {
        uint8_t operation;  // 0xFD erase, 0x02 program
        uint32_t address;
        uint16_t length;
    };

    explicit SimulatedBridge(platform::Clock& clock);
    SimulatedBridge(platform::Clock& clock, Config config);

    // The extension unit: bytes transferred, or kDeviceRequestFailed (a stall).
    int handleRequest(const platform::DeviceRequest& request);

    uint16_t vendorId() const { return config_.vendorId; }
    uint16_t productId() const { return config_.productId; }

    void setHdmiSource(const HdmiSourceState& state);
    HdmiSourceState hdmiSource() const;
    void setFaults(const BridgeFaults& faults);
    BridgeFaults faults() const;
    void setPlugged(bool plugged);
    bool plugged() const;
    void setMacMode(bool macMode);
    bool macMode() const;

    // What a read of a microcontroller register or a bridge register would give now.
    uint8_t readRegister(uint8_t reg);
    uint8_t readBridgeRegister(uint8_t reg) const;
    bool commandBusy();
    bool recording() const;
    uint8_t fwTarget() const;

    std::vector<ExecutedCommand> executedCommands() const;
    // Every transfer to the microcontroller in the order it arrived, for tests that check
    // which operations' transfers interleave.
    std::vector<I2cTransfer> i2cTransfers() const;
    std::vector<FlashOperation> flashOperations() const;
    std::vector<uint8_t> flashContents(uint32_t address, uint32_t length) const;
    // Erase or program requests that arrived while the flash was still busy.
    int operationsWhileBusy() const;

  private:
    int handleCommandBlockWrite(const platform::DeviceRequest& request);
    bool runI2c(const device::CommandBlock& block);
    bool runFlash(const device::CommandBlock& block);
    uint8_t readRegisterLocked(uint8_t reg);
    void writeRegisterLocked(uint8_t reg, uint8_t value);
    void runCommandLocked(uint8_t number);
    bool flashBusyLocked() const;
    uint64_t now() const { return clock_.getTickCount64(); }

    platform::Clock& clock_;
    const Config config_;
    mutable std::mutex mutex_;

    BridgeFaults faults_;
    HdmiSourceState hdmi_;
    bool macMode_;
    bool recording_ = false;
    uint8_t fwTarget_ = 0;

    std::array<uint8_t, 256> registers_{};
    uint8_t runningCommand_ = 0;
    uint64_t commandDoneAtMs_ = 0;
    std::vector<ExecutedCommand> executed_;
    std::vector<I2cTransfer> i2cTransfers_;

    device::CommandBlock lastBlock_{};
    device::RequestBuffer dataBuffer_{};

    std::vector<uint8_t> flash_;
    uint64_t flashReadyAtMs_ = 0;
    std::vector<FlashOperation> flashOperations_;
    int operationsWhileBusy_ = 0;
};

}  // namespace tovrel::sim
