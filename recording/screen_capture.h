#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/screen/desktop_duplication.h"
#include "platform/system/clock.h"
#include "recording/duplicated_output.h"

namespace tovrel::recording {

// The computer's desktop as a plain 32-bit picture with the pointer drawn in: finds the outputs,
// chooses one (the primary), and on request delivers the next desktop frame as BGRA at the
// output's size, or says why there is none. A lost duplication is replaced inside AcquireFrame.
//
// Threads: takes no lock of its own. Its users serialise every call (the screen recording's
// video thread and the screen snapshots) under the capture manager's screenCaptureLock; the
// object is made and destroyed by whoever owns it, under the same lock when shared.
class ScreenCapture {
  public:
    static constexpr uint32_t kMaxOutputs = 100;
    static constexpr uint32_t kSelectAttempts = 4;
    static constexpr uint32_t kSelectPauseMs = 400;
    static constexpr uint32_t kDefaultAcquireTimeoutMs = 100;

    // Results of AcquireFrame.
    enum AcquireResult : int {
        kNewFrame = 0,      // a new frame is in frameBuffer
        kAccessDenied = 1,  // the desktop may not be read
        kReselected = 2,    // access lost; outputs chosen again, successfully
        kNoOutput = 3,      // access lost and no output could be chosen: currentOutput null
        kNoNewFrame = 4,    // nothing changed within the time-out
        kOtherFailure = 5,  // any other failure; outputs chosen again
    };

    ScreenCapture(platform::DesktopDuplication& desktop, platform::Clock& clock);
    // Frees the frame buffer, then ReleaseOutputs.
    ~ScreenCapture();
    ScreenCapture(const ScreenCapture&) = delete;
    ScreenCapture& operator=(const ScreenCapture&) = delete;

    // Rebuilds `outputs`: every output attached to the desktop whose duplication could be made,
    // at most kMaxOutputs (the rest are left out).
    void EnumerateOutputs();
    // True when an output was chosen into currentOutput: the preferred one (1-based) when set,
    // else the first primary. Up to four attempts 400 ms apart: a failing selection takes 1.6 s.
    bool SelectOutput();
    // One of AcquireResult. On kNewFrame `buffer` and `size` give frameBuffer and
    // frameBufferSize; otherwise they are left as they were. Without a current output (a
    // selection failed before) it makes one attempt to choose again, without pauses: kReselected
    // when that found one (no frame yet), kNoOutput otherwise.
    int AcquireFrame(uint8_t** buffer, uint32_t* size);
    // The same waiting at most timeoutMs instead of acquireTimeout.
    int AcquireFrame(uint8_t** buffer, uint32_t* size, uint32_t timeoutMs);
    // Releases every output and empties the list; frameBuffer stays.
    void ReleaseOutputs();
    // Composites currentOutput's pointer into a frame of width x height BGRA pixels.
    void DrawPointer(uint8_t* buffer, uint32_t width, uint32_t height) const;
    // Asks the chosen output for its description and stores its size in width and height.
    // False without a chosen output or when the output is gone.
    bool ReadOutputSize();

    // Frames delivered so far (a reader tells a new frame from the last by it).
    uint64_t framesDelivered() const { return framesDelivered_; }
    const platform::DesktopDuplication& desktop() const { return desktop_; }

    uint32_t outputCount = 0;
    DuplicatedOutput* currentOutput = nullptr;
    std::vector<std::unique_ptr<DuplicatedOutput>> outputs;
    uint16_t preferredOutput = 0;  // 1-based; 0 the primary
    // The last delivered frame: height rows of 4·width bytes, 64-byte aligned.
    struct Freer {
        void operator()(uint8_t* block) const;
    };
    std::unique_ptr<uint8_t, Freer> frameBuffer;
    uint32_t frameBufferSize = 0;
    uint32_t acquireTimeout = kDefaultAcquireTimeoutMs;
    uint32_t width = 0;
    uint32_t height = 0;

  private:
    bool chooseOutput();
    int failure(platform::HRESULT hr);

    platform::DesktopDuplication& desktop_;
    platform::Clock& clock_;
    uint64_t framesDelivered_ = 0;
};

}  // namespace tovrel::recording
