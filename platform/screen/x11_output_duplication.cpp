#include "platform/screen/x11_output_duplication.h"

#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/screen/x11_desktop.h"
#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

xcb_screen_t* screenOf(xcb_connection_t* connection, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == number) return it.data;
    }
    return nullptr;
}

// Bits per pixel of the server's images at a depth; 0 when it has no format for it.
uint8_t bitsPerPixel(xcb_connection_t* connection, uint8_t depth) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_format_iterator_t it = xcb_setup_pixmap_formats_iterator(setup);
    for (; it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == depth) return it.data->bits_per_pixel;
    }
    return 0;
}

bool sameRect(const DesktopRect& a, const DesktopRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

HRESULT X11OutputDuplication::create(const std::string& display, const std::string& outputName,
                                     std::unique_ptr<OutputDuplication>* duplication) {
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(display.c_str(), &screen);
    if (xcb_connection_has_error(connection)) {
        logCallFailure("X11 display " + display, "xcb_connect", "no connection");
        xcb_disconnect(connection);
        return E_FAIL;
    }
    std::vector<OutputDesc> outputs;
    HRESULT hr = X11Desktop::outputsOf(connection, screen, &outputs);
    const OutputDesc* found = nullptr;
    for (const OutputDesc& desc : outputs) {
        if (desc.DeviceName == outputName && desc.AttachedToDesktop) found = &desc;
    }
    if (SUCCEEDED(hr) && found == nullptr) hr = DXGI_ERROR_NOT_FOUND;
    if (FAILED(hr)) {
        xcb_disconnect(connection);
        return hr;
    }
    std::unique_ptr<X11OutputDuplication> made(
        new X11OutputDuplication(connection, screen, display, *found));
    hr = made->setUp();
    if (FAILED(hr)) return hr;
    *duplication = std::move(made);
    return S_OK;
}

X11OutputDuplication::X11OutputDuplication(xcb_connection_t* connection, int screen,
                                           std::string display, OutputDesc desc)
    : connection_(connection),
      screen_(screen),
      display_(std::move(display)),
      desc_(std::move(desc)) {}

X11OutputDuplication::~X11OutputDuplication() {
    std::free(plainImage_);
    if (shmSegment_ != 0) xcb_shm_detach(connection_, shmSegment_);
    if (damage_ != 0) xcb_damage_destroy(connection_, damage_);
    xcb_flush(connection_);
    if (shmAddress_ != nullptr) shmdt(shmAddress_);
    xcb_disconnect(connection_);
}

void X11OutputDuplication::logFailure(const char* call, const char* what) const {
    logCallFailure("X11 display " + display_ + " output " + desc_.DeviceName, call, what);
}

HRESULT X11OutputDuplication::setUp() {
    xcb_connection_t* c = connection_;
    xcb_screen_t* screen = screenOf(c, screen_);
    if (screen == nullptr) return E_FAIL;
    if (bitsPerPixel(c, screen->root_depth) != 32) {
        logFailure("xcb_get_setup", "the root window's pixels are not 32-bit");
        return DXGI_ERROR_UNSUPPORTED;
    }
    root_ = screen->root;
    rootWidth_ = screen->width_in_pixels;
    rootHeight_ = screen->height_in_pixels;

    // Size changes of the screen: RandR's notice where it exists, the root's own otherwise.
    const uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root_, XCB_CW_EVENT_MASK, &structure);
    if (const auto* randr = xcb_get_extension_data(c, &xcb_randr_id); randr && randr->present) {
        randrEvent_ = randr->first_event;
        xcb_randr_select_input(c, root_, XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE);
    }

    const auto* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (xfixes == nullptr || !xfixes->present) {
        logFailure("xcb_get_extension_data", "the server has no XFixes");
        return DXGI_ERROR_UNSUPPORTED;
    }
    std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    xfixesEvent_ = xfixes->first_event;
    xcb_xfixes_select_cursor_input(c, root_, XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);

    const auto* damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (damage == nullptr || !damage->present) {
        logFailure("xcb_get_extension_data", "the server has no DAMAGE");
        return DXGI_ERROR_UNSUPPORTED;
    }
    std::free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    damageEvent_ = damage->first_event;
    damage_ = xcb_generate_id(c);
    // Non-empty: one notice when the region becomes non-empty, and another only after the
    // region has been emptied again (the subtract before each image).
    xcb_void_cookie_t created =
        xcb_damage_create_checked(c, damage_, root_, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    if (xcb_generic_error_t* error = xcb_request_check(c, created)) {
        std::free(error);
        damage_ = 0;
        logFailure("xcb_damage_create", "refused");
        return E_FAIL;
    }
    attachSharedMemory();
    return S_OK;
}

void X11OutputDuplication::attachSharedMemory() {
    xcb_connection_t* c = connection_;
    const auto* shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (shm == nullptr || !shm->present) return;
    const size_t bytes = static_cast<size_t>(desc_.DesktopCoordinates.width()) *
                         static_cast<size_t>(desc_.DesktopCoordinates.height()) * 4;
    shmId_ = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shmId_ < 0) {
        logErrno("X11 display " + display_, "shmget", errno);
        return;
    }
    void* address = shmat(shmId_, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        logErrno("X11 display " + display_, "shmat", errno);
        shmctl(shmId_, IPC_RMID, nullptr);
        shmId_ = -1;
        return;
    }
    shmAddress_ = static_cast<uint8_t*>(address);
    const uint32_t segment = xcb_generate_id(c);
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_shm_attach_checked(c, segment, static_cast<uint32_t>(shmId_), 0));
    // Marked for removal once both sides hold it: the segment goes with the last detach, also
    // when this process is killed.
    shmctl(shmId_, IPC_RMID, nullptr);
    if (error != nullptr) {
        // A server on another machine cannot see our memory: the plain request serves.
        std::free(error);
        shmdt(shmAddress_);
        shmAddress_ = nullptr;
        return;
    }
    shmSegment_ = segment;
}

void X11OutputDuplication::readEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == damageEvent_ + XCB_DAMAGE_NOTIFY) {
            damaged_ = true;
        } else if (type == xfixesEvent_ + XCB_XFIXES_CURSOR_NOTIFY) {
            const auto* notify = reinterpret_cast<xcb_xfixes_cursor_notify_event_t*>(event);
            if (notify->cursor_serial != cursorSerial_) cursorChanged_ = true;
        } else if ((randrEvent_ != 0 && type == randrEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY) ||
                   type == XCB_CONFIGURE_NOTIFY) {
            // Whatever changed, the output's rectangle is looked at again below.
            std::vector<OutputDesc> outputs;
            if (FAILED(X11Desktop::outputsOf(connection_, screen_, &outputs))) {
                lost_ = true;
            } else {
                bool same = false;
                for (const OutputDesc& desc : outputs) {
                    if (desc.DeviceName == desc_.DeviceName && desc.AttachedToDesktop &&
                        sameRect(desc.DesktopCoordinates, desc_.DesktopCoordinates)) {
                        same = true;
                    }
                }
                if (!same) lost_ = true;
            }
        }
        std::free(event);
    }
    if (xcb_connection_has_error(connection_)) lost_ = true;
}

bool X11OutputDuplication::queryPointer() {
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    if (reply == nullptr) return false;
    const bool moved = reply->root_x != pointerRootX_ || reply->root_y != pointerRootY_ ||
                       reply->same_screen != pointerOnScreen_;
    pointerRootX_ = reply->root_x;
    pointerRootY_ = reply->root_y;
    pointerOnScreen_ = reply->same_screen != 0;
    std::free(reply);
    return moved;
}

HRESULT X11OutputDuplication::fetchCursor() {
    xcb_xfixes_get_cursor_image_reply_t* reply = xcb_xfixes_get_cursor_image_reply(
        connection_, xcb_xfixes_get_cursor_image(connection_), nullptr);
    if (reply == nullptr) {
        logFailure("xcb_xfixes_get_cursor_image", "no reply");
        return E_FAIL;
    }
    // XCB hands the pixels as 32-bit premultiplied ARGB, which in memory is B, G, R, A.
    const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply);
    const size_t count = static_cast<size_t>(reply->width) * reply->height;
    shape_.resize(count * 4);
    std::memcpy(shape_.data(), pixels, count * 4);
    shapeInfo_.Type = DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR;
    shapeInfo_.Width = reply->width;
    shapeInfo_.Height = reply->height;
    shapeInfo_.Pitch = reply->width * 4u;
    shapeInfo_.HotSpotX = reply->xhot;
    shapeInfo_.HotSpotY = reply->yhot;
    cursorSerial_ = reply->cursor_serial;
    std::free(reply);
    return S_OK;
}

HRESULT X11OutputDuplication::grab(MappedDesktop* image) {
    xcb_connection_t* c = connection_;
    const DesktopRect& r = desc_.DesktopCoordinates;
    const auto w = static_cast<uint16_t>(r.width());
    const auto h = static_cast<uint16_t>(r.height());
    const auto x = static_cast<int16_t>(r.left);
    const auto y = static_cast<int16_t>(r.top);
    xcb_generic_error_t* error = nullptr;
    if (shmSegment_ != 0) {
        xcb_shm_get_image_reply_t* reply = xcb_shm_get_image_reply(
            c,
            xcb_shm_get_image(c, root_, x, y, w, h, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, shmSegment_, 0),
            &error);
        std::free(reply);
        if (reply == nullptr) {
            std::free(error);
            return xcb_connection_has_error(c) ? DXGI_ERROR_ACCESS_LOST : E_FAIL;
        }
        image->pBits = shmAddress_;
    } else {
        plainImage_ = xcb_get_image_reply(
            c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, x, y, w, h, ~0u), &error);
        if (plainImage_ == nullptr) {
            std::free(error);
            return xcb_connection_has_error(c) ? DXGI_ERROR_ACCESS_LOST : E_FAIL;
        }
        image->pBits = xcb_get_image_data(plainImage_);
    }
    image->Pitch = static_cast<int32_t>(w) * 4;
    image->Width = w;
    image->Height = h;
    return S_OK;
}

HRESULT X11OutputDuplication::GetDesc(OutputDesc* desc) {
    if (desc == nullptr) return E_POINTER;
    readEvents();
    if (lost_) return DXGI_ERROR_ACCESS_LOST;
    *desc = desc_;
    return S_OK;
}

HRESULT X11OutputDuplication::AcquireNextFrame(uint32_t timeoutMs, OutduplFrameInfo* info,
                                               MappedDesktop* image) {
    if (info == nullptr || image == nullptr) return E_POINTER;
    if (held_) return DXGI_ERROR_INVALID_CALL;
    const int64_t deadline = nowMs() + timeoutMs;
    bool moved = false;
    for (;;) {
        readEvents();
        if (lost_) return DXGI_ERROR_ACCESS_LOST;
        moved = queryPointer() || moved;
        if (first_ || damaged_ || moved || cursorChanged_) break;
        const int64_t left = deadline - nowMs();
        if (left <= 0) return DXGI_ERROR_WAIT_TIMEOUT;
        pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(std::min<int64_t>(left, kPointerPollMs)));
    }

    const bool drawn = first_ || damaged_;
    if (damaged_) {
        // Emptied before the image is read, so that drawing during the read notifies again.
        xcb_damage_subtract(connection_, damage_, XCB_NONE, XCB_NONE);
        damaged_ = false;
    }
    uint32_t shapeBytes = 0;
    if (cursorChanged_) {
        cursorChanged_ = false;
        if (SUCCEEDED(fetchCursor())) shapeBytes = static_cast<uint32_t>(shape_.size());
    }
    MappedDesktop mapped;
    const HRESULT hr = grab(&mapped);
    if (FAILED(hr)) {
        if (hr == DXGI_ERROR_ACCESS_LOST) lost_ = true;
        logFailure(shmSegment_ != 0 ? "xcb_shm_get_image" : "xcb_get_image", "no image");
        return hr;
    }
    first_ = false;
    held_ = true;

    const DesktopRect& r = desc_.DesktopCoordinates;
    OutduplFrameInfo frame;
    frame.AccumulatedFrames = drawn ? 1 : 0;
    frame.PointerVisible = pointerOnScreen_ && pointerRootX_ >= r.left && pointerRootX_ < r.right &&
                           pointerRootY_ >= r.top && pointerRootY_ < r.bottom;
    if (frame.PointerVisible) {
        frame.PointerX = pointerRootX_ - r.left - shapeInfo_.HotSpotX;
        frame.PointerY = pointerRootY_ - r.top - shapeInfo_.HotSpotY;
    }
    frame.PointerShapeBufferSize = shapeBytes;
    *info = frame;
    *image = mapped;
    return S_OK;
}

HRESULT X11OutputDuplication::GetFramePointerShape(uint32_t bufferSize, uint8_t* buffer,
                                                   uint32_t* requiredSize,
                                                   OutduplPointerShapeInfo* shapeInfo) {
    if (requiredSize == nullptr || shapeInfo == nullptr) return E_POINTER;
    if (!held_) return DXGI_ERROR_INVALID_CALL;
    *requiredSize = static_cast<uint32_t>(shape_.size());
    if (bufferSize < shape_.size() || (buffer == nullptr && !shape_.empty()))
        return DXGI_ERROR_MORE_DATA;
    if (!shape_.empty()) std::memcpy(buffer, shape_.data(), shape_.size());
    *shapeInfo = shapeInfo_;
    return S_OK;
}

HRESULT X11OutputDuplication::ReleaseFrame() {
    if (!held_) return DXGI_ERROR_INVALID_CALL;
    held_ = false;
    std::free(plainImage_);
    plainImage_ = nullptr;
    return S_OK;
}

}  // namespace tovrel::platform
