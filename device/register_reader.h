#pragma once

#include <cstdint>

namespace tovrel::device {

// A one-byte register read through whichever transport has the box open; the status decoders
// are written against it so that both programs' transports share them.
// Called on the thread that owns the open transport.
class RegisterReader {
  public:
    virtual ~RegisterReader() = default;
    // One read transfer of `reg` (its low 8 bits) of `slave`. False when the read did not go
    // through; `value` is then 0.
    virtual bool ReadReg(int reg, uint8_t& value, uint8_t slave) = 0;
};

}  // namespace tovrel::device
