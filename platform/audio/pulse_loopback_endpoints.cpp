#include "platform/audio/pulse_loopback_endpoints.h"

#include "platform/audio/pulse_loopback_capture.h"

namespace tovrel::platform {

HRESULT PulseLoopbackEndpoints::ActivateLoopback(std::unique_ptr<LoopbackCapture>* capture) {
    if (capture == nullptr) return E_POINTER;
    std::unique_ptr<PulseLoopbackCapture> made = PulseLoopbackCapture::connect();
    if (!made) return E_FAIL;
    *capture = std::move(made);
    return S_OK;
}

}  // namespace tovrel::platform
