#pragma once

#include <cstdint>

#include "capture/preview_images.h"

namespace tovrel::capture {

// Where the capture session's preview goes: the main window implements it, tests and the
// benchmark use an off-screen one. The renderers draw each frame, already at the window's pixel
// size, into one of the surface's images on the render thread and then call imageReady(); the
// surface puts that image on screen on its own thread without scaling. imageReady() must not
// block: the GUI thread may itself be waiting for the session to close.
class PreviewSurface {
  public:
    struct ClientSize {
        int32_t width = 0;
        int32_t height = 0;
    };

    virtual ~PreviewSurface() = default;
    // GUI thread: the client area in pixels (GetClientRect's width and height).
    virtual ClientSize clientSize() const = 0;
    // Any thread: false while the window is hidden, minimised or otherwise not on screen, when
    // nothing is drawn (the occluded state).
    virtual bool exposed() const = 0;
    // The images the renderers draw into; they outlive every session, so the window keeps the
    // last picture after capture stops.
    virtual PreviewImages& images() = 0;
    // Render thread, inside frameLock: a new image was published.
    virtual void imageReady() = 0;
};

}  // namespace tovrel::capture
