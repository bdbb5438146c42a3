#pragma once

#include <cstdint>

#include "device/register_port.h"
#include "platform/system/clock.h"

namespace tovrel::device {

// The command protocol through register 0, the same over every transport: the ready wait
// (register 0 reads 0xFF when the box is idle) and the command write (the value into register N,
// then N into register 0, each behind a ready wait). Sleeps on the given clock.
// Stateless; runs on the thread that owns the port.
class RegisterProtocol {
  public:
    static constexpr int kMaxIdleReads = 51;
    static constexpr int kIdleReadsInTime = 49;  // an idle answer after these counts as late
    static constexpr uint32_t kIdlePollMs = 100;

    // At most 51 reads of register 0, each followed by 100 ms; true only when 0xFF comes on
    // one of the first 49. A failed read ends the wait at once.
    static bool waitCommandIdle(RegisterPort& port, platform::Clock& clock);

    // Register and value are used as bytes (their low 8 bits). False when either wait fails:
    // after the first nothing is written, after the second the value stays written and no
    // command is issued. The results of the two writes are not examined; the ready wait that
    // follows tells whether the box is still there.
    static bool writeReg(RegisterPort& port, platform::Clock& clock, int reg, int value);
};

}  // namespace tovrel::device
