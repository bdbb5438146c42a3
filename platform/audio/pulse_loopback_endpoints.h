#pragma once

#include "platform/audio/loopback_capture.h"

namespace tovrel::platform {

// The sound server's default-sink monitor as the programs' loopback (PulseLoopbackCapture).
// Any thread.
class PulseLoopbackEndpoints final : public LoopbackEndpoints {
  public:
    // S_OK; E_FAIL without a server or a default sink (logged by the capture).
    HRESULT ActivateLoopback(std::unique_ptr<LoopbackCapture>* capture) override;
};

}  // namespace tovrel::platform
