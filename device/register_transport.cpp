#include "device/register_transport.h"

#include <cstdio>

#include "device/register_protocol.h"

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

bool RegisterTransport::writeRegister(uint8_t reg, uint8_t slave, uint8_t value) {
    if (!usable()) return false;
    return library_.UVC_I2CM_Write(handleList_.front(), slave, 1, reg, 1, &value) != 0;
}

bool RegisterTransport::WaitCommandIdle() {
    return RegisterProtocol::waitCommandIdle(*this, clock_);
}

bool RegisterTransport::WriteReg(int reg, int value) {
    return RegisterProtocol::writeReg(*this, clock_, reg, value);
}

void RegisterTransport::CloseDeviceSession(std::unique_ptr<DeviceSession> session) {
    library_.CloseKelmUVCHandle(handleList_);
    session.reset();
}

}  // namespace tovrel::device
