#pragma once

#include <cstdint>

namespace tovrel::capture {

// Where the capture session's preview goes: the main window implements it (drawing on the GUI
// thread), tests use an off-screen one. The render thread calls present() once per shown frame
// while it holds the session's frameLock, so the frame is stable for the whole call but is
// overwritten as soon as it returns: an implementation copies what it needs (into a buffer it
// allocated beforehand) and hands the drawing to its own thread. present() must not block on
// the GUI thread, which may itself be waiting for the session to close.
class PreviewSurface {
  public:
    struct Frame {
        const uint8_t* bgra = nullptr;  // B, G, R, A bytes per pixel
        int32_t stride = 0;             // bytes per row
        uint32_t width = 0;
        uint32_t height = 0;
        bool keepAspect = false;          // letterbox instead of stretching to the client area
        bool recordingIndicator = false;  // a recording or screen recording runs
    };

    virtual ~PreviewSurface() = default;
    // Render thread, inside frameLock.
    virtual void present(const Frame& frame) = 0;
};

}  // namespace tovrel::capture
