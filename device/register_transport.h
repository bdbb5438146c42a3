#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "device/device_session.h"
#include "device/kelm_uvc_library.h"
#include "device/register_map.h"
#include "device/register_port.h"
#include "device/register_protocol.h"
#include "platform/system/clock.h"

namespace tovrel::device {

// Register access to the box's microcontroller through the vendor library: identification by
// USB ids and one-byte reads and writes; the ready wait and the command write are the shared
// RegisterProtocol over those.
// Every operation runs IdentifyDevice, any reads and writes, then CloseDeviceSession; no handle
// outlives it. The waits sleep on the injected clock.
// One thread at a time (the full program: the window thread, under the "Norvik" lock).
class RegisterTransport final : public RegisterPort {
  public:
    static constexpr int kMaxIdleReads = RegisterProtocol::kMaxIdleReads;
    static constexpr int kIdleReadsInTime = RegisterProtocol::kIdleReadsInTime;
    static constexpr uint32_t kIdlePollMs = RegisterProtocol::kIdlePollMs;

    RegisterTransport(KelmUvcLibrary& library, platform::Clock& clock);
    ~RegisterTransport() override;

    // Tries the supported boxes in order; the first pair that yields 1 to 3 handles sets the
    // device type. Handles of a pair that did not count are closed before the next try.
    std::unique_ptr<DeviceSession> IdentifyDevice();
    // One read transfer; register and slave are bytes (low 8 bits of `reg`).
    bool ReadReg(int reg, uint8_t& value, uint8_t slave = kMicrocontrollerSlave) override;
    bool WaitCommandIdle();
    // Value into register N, then N into register 0, each behind a ready wait. Both numbers are
    // used as bytes (their low 8 bits).
    bool WriteReg(int reg, int value);
    void CloseDeviceSession(std::unique_ptr<DeviceSession> session);

    // One write transfer; nothing is sent while the handle list is not usable.
    bool writeRegister(uint8_t reg, uint8_t slave, uint8_t value) override;

    const std::vector<void*>& handleList() const { return handleList_; }
    // 1 to 3 handles: more means the box cannot be told apart from the others.
    bool usable() const { return !handleList_.empty() && handleList_.size() <= 3; }

  private:
    KelmUvcLibrary& library_;
    platform::Clock& clock_;
    std::vector<void*> handleList_;
};

}  // namespace tovrel::device
