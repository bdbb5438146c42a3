#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/system/clock.h"
#include "platform/system/hresult.h"

namespace tovrel::capture {

// PLACEHOLDER until the capture session lands: the members the shell's start-up and shutdown
// touch, with no session behind them.
// GUI thread, except the atomics, which the workers read.
class MFManager {
public:
    static constexpr size_t kSilenceBufferBytes = 1 << 20;

    MFManager() : silenceBuffer(kSilenceBufferBytes, 0) {}

    platform::HRESULT openSession(bool useSystemClock, bool keepAspect, uint32_t width,
                                  uint32_t height, double frameRate, uint32_t pixelFormat);
    platform::HRESULT closeSession();
    platform::HRESULT startStreaming();
    // Clears `streaming`, wakes the render thread, stops the monitor and polls every 10 ms until
    // it has finished.
    void stopStreaming(platform::Clock& clock);

    std::atomic<bool> streaming{false};
    std::atomic<bool> monitorRunning{false};
    std::atomic<bool> monitorFinished{true};
    std::atomic<bool> previewVisible{true};
    std::atomic<bool> recording{false};
    std::atomic<bool> screenRecording{false};
    uint32_t width = 0;
    uint32_t height = 0;
    double frameRate = 0.0;
    std::vector<uint8_t> silenceBuffer;
};

}  // namespace tovrel::capture
