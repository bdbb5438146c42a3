#pragma once

#include <cstdint>

#include "device/register_reader.h"

namespace tovrel::device {

// Byte reads and writes of the box's registers through whichever transport has it open: what
// the register protocol is written against, so that both programs' transports share it.
// Called on the thread that owns the open transport.
class RegisterPort : public RegisterReader {
  public:
    // One write transfer of `value` into `reg` of `slave`. False when it did not go through,
    // or when nothing was sent because no box is open.
    virtual bool writeRegister(uint8_t reg, uint8_t slave, uint8_t value) = 0;

    // Told each time a ready wait gives up (a failed read or the time-out), before the wait
    // returns false.
    virtual void readyWaitFailed() {}
};

}  // namespace tovrel::device
