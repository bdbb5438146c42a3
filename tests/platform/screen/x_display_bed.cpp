#include "x_display_bed.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace tovrel::testing {
namespace {

xcb_screen_t* screenOf(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == number) return it.data;
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<XDisplayBed> XDisplayBed::open() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return nullptr;
    int screen = 0;
    xcb_connection_t* c = xcb_connect(display, &screen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    return std::unique_ptr<XDisplayBed>(new XDisplayBed(c, screen));
}

XDisplayBed::XDisplayBed(xcb_connection_t* connection, int screen)
    : connection_(connection), screen_(screen) {
    xcb_screen_t* s = screenOf(connection_, screen_);
    root_ = s->root;
    gc_ = xcb_generate_id(connection_);
    // Drawing on the root draws over its children too, as a desktop's own drawing would.
    const uint32_t values[] = {0, XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS};
    xcb_create_gc(connection_, gc_, root_, XCB_GC_FOREGROUND | XCB_GC_SUBWINDOW_MODE, values);
}

XDisplayBed::~XDisplayBed() {
    xcb_free_gc(connection_, gc_);
    if (cursor_ != 0) xcb_free_cursor(connection_, cursor_);
    xcb_disconnect(connection_);
}

// Asked of the server each time: the set-up block keeps the size the screen had at connection.
int XDisplayBed::width() const {
    xcb_get_geometry_reply_t* g =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, root_), nullptr);
    const int w = g != nullptr ? g->width : 0;
    std::free(g);
    return w;
}

int XDisplayBed::height() const {
    xcb_get_geometry_reply_t* g =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, root_), nullptr);
    const int h = g != nullptr ? g->height : 0;
    std::free(g);
    return h;
}

void XDisplayBed::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void XDisplayBed::fillRoot(uint32_t rgb) {
    xcb_change_window_attributes(connection_, root_, XCB_CW_BACK_PIXEL, &rgb);
    xcb_clear_area(connection_, 0, root_, 0, 0, 0, 0);
    sync();
}

void XDisplayBed::fillRect(int x, int y, int w, int h, uint32_t rgb) {
    xcb_change_gc(connection_, gc_, XCB_GC_FOREGROUND, &rgb);
    const xcb_rectangle_t rect{static_cast<int16_t>(x), static_cast<int16_t>(y),
                               static_cast<uint16_t>(w), static_cast<uint16_t>(h)};
    xcb_poly_fill_rectangle(connection_, root_, gc_, 1, &rect);
    sync();
}

void XDisplayBed::warpPointer(int x, int y) {
    xcb_warp_pointer(connection_, XCB_NONE, root_, 0, 0, 0, 0, static_cast<int16_t>(x),
                     static_cast<int16_t>(y));
    sync();
}

void XDisplayBed::setRootCursor(uint16_t glyph) {
    const uint32_t font = xcb_generate_id(connection_);
    xcb_open_font(connection_, font, 6, "cursor");
    const uint32_t cursor = xcb_generate_id(connection_);
    xcb_create_glyph_cursor(connection_, cursor, font, font, glyph, glyph + 1, 0, 0, 0, 0xFFFF,
                            0xFFFF, 0xFFFF);
    xcb_change_window_attributes(connection_, root_, XCB_CW_CURSOR, &cursor);
    xcb_close_font(connection_, font);
    if (cursor_ != 0) xcb_free_cursor(connection_, cursor_);
    cursor_ = cursor;
    sync();
}

bool XDisplayBed::resizeScreen(int width, int height) {
    // As a user does it, with xrandr: under Xvfb a smaller screen first turns its one output
    // off, a restored one turns it on again.
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::string command = "xrandr --fb " + size;
    if (width == kDisplayWidth && height == kDisplayHeight)
        command += " --output screen --mode " + size;
    command += " >/dev/null 2>&1";
    std::system(command.c_str());
    sync();
    return this->width() == width && this->height() == height;
}

}  // namespace tovrel::testing
