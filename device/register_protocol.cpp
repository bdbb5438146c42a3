#include "device/register_protocol.h"

#include "device/register_map.h"

namespace tovrel::device {

bool RegisterProtocol::waitCommandIdle(RegisterPort& port, platform::Clock& clock) {
    for (int read = 1; read <= kMaxIdleReads; ++read) {
        uint8_t command = 0;
        if (!port.ReadReg(Reg::Command, command, kMicrocontrollerSlave)) break;
        clock.sleep(kIdlePollMs);
        if (command == kCommandIdle) {
            if (read <= kIdleReadsInTime) return true;
            break;
        }
    }
    port.readyWaitFailed();
    return false;
}

bool RegisterProtocol::writeReg(RegisterPort& port, platform::Clock& clock, int reg, int value) {
    const auto number = static_cast<uint8_t>(reg);
    const auto byte = static_cast<uint8_t>(value);
    if (!waitCommandIdle(port, clock)) return false;
    port.writeRegister(number, kMicrocontrollerSlave, byte);
    if (!waitCommandIdle(port, clock)) return false;
    port.writeRegister(Reg::Command, kMicrocontrollerSlave, number);
    return true;
}

}  // namespace tovrel::device
