#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/screen/desktop_duplication.h"

struct xcb_connection_t;

namespace tovrel::platform {

// The X server's desktop: the outputs that RandR lists (each attached output with its CRTC's
// rectangle; the whole root window as one output on a server without RandR), the primary as
// RandR names it, and duplications that read the root window (X11OutputDuplication). A server
// that names no primary (Xvfb, a desktop never configured) gets the attached output at the
// desktop's origin, or else the first attached one, as its primary: the X desktop has no other
// notion of a main monitor, and a desktop without one must still be recordable.
// Any thread: the enumeration connection is used under a lock.
class X11Desktop final : public DesktopDuplication {
  public:
    // Null when no X server answers on `display` (null: $DISPLAY).
    static std::unique_ptr<X11Desktop> open(const char* display = nullptr);
    ~X11Desktop() override;
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    std::string name() const override { return "x11 " + display_; }
    // S_OK; DXGI_ERROR_ACCESS_LOST when the server connection broke.
    HRESULT EnumOutputs(std::vector<OutputDesc>* outputs) override;
    // S_OK; DXGI_ERROR_NOT_FOUND for an output not attached now; DXGI_ERROR_UNSUPPORTED for a
    // root window whose pixels are not 32-bit; E_FAIL when the server cannot be reached.
    HRESULT DuplicateOutput(const std::string& deviceName,
                            std::unique_ptr<OutputDuplication>* duplication) override;

    // The outputs of a connection, for the duplications that check theirs. Caller serialises
    // its use of the connection.
    static HRESULT outputsOf(xcb_connection_t* connection, int screen,
                             std::vector<OutputDesc>* outputs);

  private:
    X11Desktop(xcb_connection_t* connection, int screen, std::string display);

    std::mutex lock_;
    xcb_connection_t* connection_;
    const int screen_;
    const std::string display_;
};

}  // namespace tovrel::platform
