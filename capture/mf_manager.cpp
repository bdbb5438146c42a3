#include "capture/mf_manager.h"

namespace tovrel::capture {

platform::HRESULT MFManager::openSession(bool, bool, uint32_t, uint32_t, double, uint32_t) {
    return platform::E_UNEXPECTED;
}

platform::HRESULT MFManager::closeSession() { return platform::S_OK; }

platform::HRESULT MFManager::startStreaming() { return platform::E_UNEXPECTED; }

void MFManager::stopStreaming(platform::Clock& clock) {
    streaming = false;
    monitorRunning = false;
    while (!monitorFinished) clock.sleep(10);
}

}  // namespace tovrel::capture
