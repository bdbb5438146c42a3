#pragma once

#include <cstdint>

namespace tovrel::device {

// A one-byte register read through whichever transport has the box open; the status decoders
// are written against it so that both programs' transports share them.
// Called on the thread that owns the open transport.
class RegisterReader {
  public:
    virtual ~RegisterReader() = default;
    // False when the read did not go through; `value` is then 0.
    virtual bool readRegister(uint8_t reg, uint8_t slave, uint8_t& value) = 0;
};

}  // namespace tovrel::device
