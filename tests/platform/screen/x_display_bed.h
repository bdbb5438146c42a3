#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct xcb_connection_t;

namespace tovrel::testing {

// The test display driven as a user and the programs would drive it: the root window painted,
// the pointer warped, the root cursor chosen from the cursor font, the screen resized through
// RandR. Test helper; one thread.
class XDisplayBed {
  public:
    // Glyphs of the standard cursor font.
    static constexpr uint16_t kLeftArrow = 68;  // XC_left_ptr
    static constexpr uint16_t kIBeam = 152;     // XC_xterm
    // The test display's size (scripts/components.sh).
    static constexpr int kDisplayWidth = 1920;
    static constexpr int kDisplayHeight = 1080;

    // Null without a display.
    static std::unique_ptr<XDisplayBed> open();
    ~XDisplayBed();

    int width() const;
    int height() const;
    // The whole root window in one colour (0xRRGGBB), as its background.
    void fillRoot(uint32_t rgb);
    // A rectangle of the root window in one colour.
    void fillRect(int x, int y, int w, int h, uint32_t rgb);
    void warpPointer(int x, int y);
    void setRootCursor(uint16_t glyph);
    // The screen's size through xrandr; false when it did not change. The display's own size
    // turns its output on again.
    bool resizeScreen(int width, int height);
    // Waits until the server has carried out everything sent.
    void sync();

  private:
    explicit XDisplayBed(xcb_connection_t* connection, int screen);
    xcb_connection_t* connection_;
    int screen_;
    uint32_t root_ = 0;
    uint32_t gc_ = 0;
    uint32_t cursor_ = 0;
};

}  // namespace tovrel::testing
