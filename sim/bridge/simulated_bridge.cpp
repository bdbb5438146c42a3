#include "sim/bridge/simulated_bridge.h"

#include <algorithm>
#include <cstring>

#include "device/bridge_requests.h"
#include "device/register_map.h"

namespace tovrel::sim {

namespace dev = tovrel::device;

namespace {

bool isStatusRegister(uint8_t reg) {
    switch (reg) {
        case dev::Reg::SrcTiming:
        case dev::Reg::DdcVoltageLo:
        case dev::Reg::DdcVoltageHi:
        case dev::Reg::HpdVoltageLo:
        case dev::Reg::HpdVoltageHi:
        case dev::Reg::FwVersion:
        case dev::Reg::AudRate:
        case dev::Reg::AudType:
            return true;
        default:
            return false;
    }
}

BridgeRequestKind kindOf(const platform::DeviceRequest& request) {
    const bool in = request.isDeviceToHost();
    if (request.wValue == dev::kCommandBlockControl)
        return in ? BridgeRequestKind::CommandBlockRead : BridgeRequestKind::CommandBlockWrite;
    return in ? BridgeRequestKind::DataBufferRead : BridgeRequestKind::DataBufferWrite;
}

}  // namespace

SimulatedBridge::SimulatedBridge(platform::Clock& clock) : SimulatedBridge(clock, Config{}) {}

SimulatedBridge::SimulatedBridge(platform::Clock& clock, Config config)
    : clock_(clock), config_(config), macMode_(config.macMode), flash_(config.flashBytes, 0xFF) {
    registers_[dev::Reg::Command] = dev::kCommandIdle;
    for (const auto& info : dev::kRegisterMap) {
        if (info.slave == dev::kMicrocontrollerSlave && info.defaultValue >= 0)
            registers_[info.number] = static_cast<uint8_t>(info.defaultValue);
    }
}

int SimulatedBridge::handleRequest(const platform::DeviceRequest& request) {
    std::lock_guard lock(mutex_);
    if (faults_.unplugged) return platform::kDeviceRequestFailed;
    if (request.wIndex != dev::kExtensionUnitIndex) return platform::kDeviceRequestFailed;
    if (request.wValue != dev::kCommandBlockControl && request.wValue != dev::kDataBufferControl)
        return platform::kDeviceRequestFailed;
    if (request.wLength > 0 && request.data == nullptr) return platform::kDeviceRequestFailed;
    const bool in = request.isDeviceToHost();
    if (in ? (request.bmRequestType != platform::kClassInterfaceIn ||
              request.bRequest != platform::kUvcGetCur)
           : (request.bmRequestType != platform::kClassInterfaceOut ||
              request.bRequest != platform::kUvcSetCur)) {
        return platform::kDeviceRequestFailed;
    }
    if (faults_.failingRequests & bit(kindOf(request))) return platform::kDeviceRequestFailed;

    switch (kindOf(request)) {
        case BridgeRequestKind::CommandBlockWrite:
            return handleCommandBlockWrite(request);
        case BridgeRequestKind::CommandBlockRead: {
            size_t length = std::min<size_t>(request.wLength, lastBlock_.size());
            if (faults_.shortTransfers) length /= 2;
            std::memcpy(request.data, lastBlock_.data(), length);
            return static_cast<int>(length);
        }
        case BridgeRequestKind::DataBufferWrite:
            if (request.wLength > dataBuffer_.size()) return platform::kDeviceRequestFailed;
            std::memcpy(dataBuffer_.data(), request.data, request.wLength);
            return request.wLength;
        case BridgeRequestKind::DataBufferRead: {
            size_t length = std::min<size_t>(request.wLength, dataBuffer_.size());
            if (faults_.shortTransfers) length /= 2;
            std::memcpy(request.data, dataBuffer_.data(), length);
            return static_cast<int>(length);
        }
    }
    return platform::kDeviceRequestFailed;
}

int SimulatedBridge::handleCommandBlockWrite(const platform::DeviceRequest& request) {
    if (request.wLength != dev::kCommandBlockLength) return platform::kDeviceRequestFailed;
    dev::CommandBlock block{};
    std::memcpy(block.data(), request.data, block.size());
    bool ok = false;
    switch (block[dev::BlockByte::Kind]) {
        case dev::kBlockI2c:
            ok = runI2c(block);
            break;
        case dev::kBlockFlashQuery:
            block[dev::BlockByte::FlashResult] = config_.flashQueryResult;
            ok = true;
            break;
        case dev::kBlockFlashStatus:
            block[dev::BlockByte::FlashResult] = flashBusyLocked() ? 0 : dev::kFlashResultReady;
            ok = true;
            break;
        case dev::kBlockFlashOperation:
            ok = runFlash(block);
            break;
        default:
            break;
    }
    if (!ok) return platform::kDeviceRequestFailed;
    lastBlock_ = block;
    return dev::kCommandBlockLength;
}

bool SimulatedBridge::runI2c(const dev::CommandBlock& block) {
    const dev::I2cTransfer transfer = dev::BridgeRequests::decodeI2cBlock(block);
    const uint8_t slave = transfer.slave;
    if (transfer.length > dataBuffer_.size()) return false;
    if (slave != dev::kMicrocontrollerSlave && slave != dev::kBridgeSlave) return false;  // NAK
    if (transfer.addressLength != 1) return false;  // both targets take one register byte
    const auto first = static_cast<uint8_t>(transfer.address);

    if (slave == dev::kMicrocontrollerSlave && transfer.length > 0 &&
        (transfer.direction == dev::kI2cRead || transfer.direction == dev::kI2cWrite)) {
        // Bounded: the demo's Settings window polls the status for as long as it is open.
        if (i2cTransfers_.size() >= kI2cLogLimit)
            i2cTransfers_.erase(i2cTransfers_.begin(), i2cTransfers_.begin() + kI2cLogLimit / 2);
        const bool write = transfer.direction == dev::kI2cWrite;
        i2cTransfers_.push_back({write, first, write ? dataBuffer_[0] : uint8_t{0}});
    }
    if (transfer.direction == dev::kI2cRead) {
        dataBuffer_.fill(0);
        for (uint16_t i = 0; i < transfer.length; ++i) {
            const auto reg = static_cast<uint8_t>(first + i);
            dataBuffer_[i] =
                slave == dev::kBridgeSlave ? readBridgeRegister(reg) : readRegisterLocked(reg);
        }
        return true;
    }
    if (transfer.direction == dev::kI2cWrite) {
        if (slave == dev::kBridgeSlave) return false;  // the bridge's registers are not written
        for (uint16_t i = 0; i < transfer.length; ++i)
            writeRegisterLocked(static_cast<uint8_t>(first + i), dataBuffer_[i]);
        return true;
    }
    return false;
}

bool SimulatedBridge::runFlash(const dev::CommandBlock& block) {
    const dev::FlashStep step = dev::BridgeRequests::decodeFlashBlock(block);
    const uint8_t operation = step.operation;
    const uint32_t address = step.address;
    if (flashBusyLocked()) ++operationsWhileBusy_;
    if (operation == dev::kFlashOpErase) {
        if (address >= flash_.size()) return false;
        const uint32_t sector = address - address % dev::kFlashSectorBytes;
        const uint32_t end = std::min<uint32_t>(sector + dev::kFlashSectorBytes,
                                                static_cast<uint32_t>(flash_.size()));
        std::fill(flash_.begin() + sector, flash_.begin() + end, 0xFF);
        flashReadyAtMs_ = now() + config_.eraseBusyMs;
        flashOperations_.push_back({operation, address, 0});
        return true;
    }
    if (operation == dev::kFlashOpProgram) {
        const uint16_t length = step.length;
        if (length > dataBuffer_.size()) return false;
        if (static_cast<uint64_t>(address) + length > flash_.size()) return false;
        for (uint16_t i = 0; i < length; ++i) flash_[address + i] &= dataBuffer_[i];
        flashReadyAtMs_ = now() + config_.programBusyMs;
        flashOperations_.push_back({operation, address, length});
        return true;
    }
    return false;
}

bool SimulatedBridge::flashBusyLocked() const {
    return faults_.flashBusyForever || now() < flashReadyAtMs_;
}

uint8_t SimulatedBridge::readRegisterLocked(uint8_t reg) {
    switch (reg) {
        case dev::Reg::Command:
            if (faults_.commandNeverIdle) return runningCommand_;
            return now() < commandDoneAtMs_ ? runningCommand_ : dev::kCommandIdle;
        case dev::Reg::SrcTiming:
            return hdmi_.timingIndex;
        case dev::Reg::CapRes:
            return hdmi_.captureResIndex;
        case dev::Reg::DdcVoltageLo:
            return static_cast<uint8_t>(hdmi_.ddcReading);
        case dev::Reg::DdcVoltageHi:
            return static_cast<uint8_t>(hdmi_.ddcReading >> 8);
        case dev::Reg::HpdVoltageLo:
            return static_cast<uint8_t>(hdmi_.hpdReading);
        case dev::Reg::HpdVoltageHi:
            return static_cast<uint8_t>(hdmi_.hpdReading >> 8);
        case dev::Reg::FwVersion:
            return config_.fwVersion;
        case dev::Reg::AudRate:
            return hdmi_.audioRateCode;
        case dev::Reg::AudType:
            return hdmi_.audioTypeCode;
        default:
            return registers_[reg];
    }
}

void SimulatedBridge::writeRegisterLocked(uint8_t reg, uint8_t value) {
    if (reg == dev::Reg::Command) {
        if (value != dev::kCommandIdle) runCommandLocked(value);
        return;
    }
    // Status registers are refreshed by the microcontroller itself; a write does not stick.
    if (isStatusRegister(reg)) return;
    registers_[reg] = value;
}

void SimulatedBridge::runCommandLocked(uint8_t number) {
    const uint8_t parameter = registers_[number];
    runningCommand_ = number;
    commandDoneAtMs_ = now() + config_.commandBusyMs;
    executed_.push_back({number, parameter});
    switch (number) {
        case dev::Cmd::RecordStart:
            recording_ = true;
            break;
        case dev::Cmd::RecordStop:
            recording_ = false;
            break;
        case dev::Cmd::FwTarget:
            fwTarget_ = parameter;
            break;
        case dev::Cmd::Mode:
            if (parameter == dev::kModeSwitchToMac) macMode_ = true;
            if (parameter == dev::kModeSwitchToWindows) macMode_ = false;
            break;
        default:
            // Picture, volume, mute and audio input take effect from their registers; other
            // numbers are accepted and do nothing, as on the box.
            break;
    }
}

uint8_t SimulatedBridge::readBridgeRegister(uint8_t reg) const {
    if (reg == device::BridgeReg::BridgeMode) return macMode_ ? device::kBridgeModeMac : 0x00;
    if (reg == device::BridgeReg::BridgeVersion) return config_.bridgeVersion;
    return 0;
}

void SimulatedBridge::setHdmiSource(const HdmiSourceState& state) {
    std::lock_guard lock(mutex_);
    hdmi_ = state;
}

HdmiSourceState SimulatedBridge::hdmiSource() const {
    std::lock_guard lock(mutex_);
    return hdmi_;
}

void SimulatedBridge::setFaults(const BridgeFaults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

BridgeFaults SimulatedBridge::faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

void SimulatedBridge::setPlugged(bool plugged) {
    std::lock_guard lock(mutex_);
    faults_.unplugged = !plugged;
}

bool SimulatedBridge::plugged() const {
    std::lock_guard lock(mutex_);
    return !faults_.unplugged;
}

void SimulatedBridge::setMacMode(bool macMode) {
    std::lock_guard lock(mutex_);
    macMode_ = macMode;
}

bool SimulatedBridge::macMode() const {
    std::lock_guard lock(mutex_);
    return macMode_;
}

uint8_t SimulatedBridge::readRegister(uint8_t reg) {
    std::lock_guard lock(mutex_);
    return readRegisterLocked(reg);
}

bool SimulatedBridge::commandBusy() {
    std::lock_guard lock(mutex_);
    return readRegisterLocked(dev::Reg::Command) != dev::kCommandIdle;
}

bool SimulatedBridge::recording() const {
    std::lock_guard lock(mutex_);
    return recording_;
}

uint8_t SimulatedBridge::fwTarget() const {
    std::lock_guard lock(mutex_);
    return fwTarget_;
}

std::vector<SimulatedBridge::ExecutedCommand> SimulatedBridge::executedCommands() const {
    std::lock_guard lock(mutex_);
    return executed_;
}

std::vector<SimulatedBridge::I2cTransfer> SimulatedBridge::i2cTransfers() const {
    std::lock_guard lock(mutex_);
    return i2cTransfers_;
}

std::vector<SimulatedBridge::FlashOperation> SimulatedBridge::flashOperations() const {
    std::lock_guard lock(mutex_);
    return flashOperations_;
}

std::vector<uint8_t> SimulatedBridge::flashContents(uint32_t address, uint32_t length) const {
    std::lock_guard lock(mutex_);
    if (address >= flash_.size()) return {};
    const uint32_t end = std::min<uint64_t>(static_cast<uint64_t>(address) + length, flash_.size());
    return {flash_.begin() + address, flash_.begin() + end};
}

int SimulatedBridge::operationsWhileBusy() const {
    std::lock_guard lock(mutex_);
    return operationsWhileBusy_;
}

}  // namespace tovrel::sim
