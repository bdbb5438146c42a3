#include "device/register_transport.h"

#include <cstdio>

namespace tovrel::device {

namespace {

// The vendor library takes the ids as text of four lower-case hexadecimal digits.
void idText(uint16_t id, char (&text)[5]) { std::snprintf(text, sizeof text, "%04x", id); }

}  // namespace

RegisterTransport::RegisterTransport(KelmUvcLibrary& library, platform::Clock& clock)
    : library_(library), clock_(clock) {}

RegisterTransport::~RegisterTransport() { library_.CloseKelmUVCHandle(handleList_); }

std::unique_ptr<DeviceSession> RegisterTransport::IdentifyDevice() {
    auto session = std::make_unique<DeviceSession>();
    session->text = kTextUnknow;
    for (const SupportedBox& box : kSupportedBoxes) {
        // Closing, not just dropping: a pair with four boxes would otherwise leak their handles.
        library_.CloseKelmUVCHandle(handleList_);
        char vid[5];
        char pid[5];
        idText(box.vendorId, vid);
        idText(box.productId, pid);
        library_.GetKelmUVCHandle(handleList_, vid, pid);
        if (usable()) {
            session->deviceType = box.deviceType;
            return session;
        }
    }
    session->deviceType = kNoDevice;
    return session;
}

bool RegisterTransport::ReadReg(int reg, uint8_t& value, uint8_t slave) {
    value = 0;
    if (!usable()) return false;
    uint8_t byte = 0;
    if (library_.UVC_I2CM_Read(handleList_.front(), slave, 1, static_cast<uint8_t>(reg), 1,
                               &byte) == 0) {
        return false;
    }
    value = byte;
    return true;
}

bool RegisterTransport::readRegister(uint8_t reg, uint8_t slave, uint8_t& value) {
    return ReadReg(reg, value, slave);
}

bool RegisterTransport::WaitCommandIdle() {
    for (int read = 1; read <= kMaxIdleReads; ++read) {
        if (!usable()) return false;
        uint8_t command = 0;
        if (!ReadReg(Reg::Command, command)) return false;
        clock_.sleep(kIdlePollMs);
        if (command == kCommandIdle) return read <= kIdleReadsInTime;
    }
    return false;
}

bool RegisterTransport::WriteReg(int reg, int value) {
    const uint8_t number = static_cast<uint8_t>(reg);
    const uint8_t byte = static_cast<uint8_t>(value);
    if (!WaitCommandIdle()) return false;
    if (usable()) {
        // The write's own result is not consulted: the ready wait that follows tells whether the
        // box is still there.
        library_.UVC_I2CM_Write(handleList_.front(), kMicrocontrollerSlave, 1, number, 1, &byte);
    }
    if (!WaitCommandIdle()) return false;
    if (usable()) {
        library_.UVC_I2CM_Write(handleList_.front(), kMicrocontrollerSlave, 1, Reg::Command, 1,
                                &number);
    }
    return true;
}

void RegisterTransport::CloseDeviceSession(std::unique_ptr<DeviceSession> session) {
    library_.CloseKelmUVCHandle(handleList_);
    session.reset();
}

}  // namespace tovrel::device
