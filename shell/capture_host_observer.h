#pragma once

namespace tovrel::capture {
class PreviewSurface;
}

namespace tovrel::shell {

// What the capture host needs of the main window: the surface the preview draws into, the
// device messages (owned by the window), the recordings to finish before a teardown (they are
// the commands' entry points), and the word that capture came up again. GUI thread.
class CaptureHostObserver {
  public:
    // A step of the start-up, shutdown, teardown or build-up as it begins (diagnostics, tests).
    virtual void captureStep(const char* name) = 0;
    // A capture device could not be opened: one of the two device message texts.
    virtual void deviceMissing(const char* text) = 0;
    virtual capture::PreviewSurface* previewSurface() = 0;
    // Stop the box recording and the screen recording, each only when it runs.
    virtual void finishRecordings() = 0;
    // A box arrival, a resume or a restart has built capture up again (or tried to).
    virtual void captureRebuilt() = 0;

  protected:
    ~CaptureHostObserver() = default;
};

}  // namespace tovrel::shell
