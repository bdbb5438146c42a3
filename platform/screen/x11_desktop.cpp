#include "platform/screen/x11_desktop.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

#include "platform/screen/x11_output_duplication.h"
#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {

xcb_screen_t* screenOf(xcb_connection_t* connection, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == number) return it.data;
    }
    return nullptr;
}

// The root window as the one output of a server without RandR, or whose RandR outputs show
// nothing.
OutputDesc wholeRoot(const xcb_screen_t& screen) {
    OutputDesc desc;
    desc.DeviceName = "root";
    desc.DesktopCoordinates = {0, 0, screen.width_in_pixels, screen.height_in_pixels};
    desc.AttachedToDesktop = true;
    desc.Primary = true;
    return desc;
}

}  // namespace

std::unique_ptr<X11Desktop> X11Desktop::open(const char* display) {
    const char* name = display != nullptr ? display : std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') return nullptr;
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(name, &screen);
    if (xcb_connection_has_error(connection)) {
        logCallFailure(std::string("X11 display ") + name, "xcb_connect", "no connection");
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<X11Desktop>(new X11Desktop(connection, screen, name));
}

X11Desktop::X11Desktop(xcb_connection_t* connection, int screen, std::string display)
    : connection_(connection), screen_(screen), display_(std::move(display)) {}

X11Desktop::~X11Desktop() { xcb_disconnect(connection_); }

HRESULT X11Desktop::outputsOf(xcb_connection_t* c, int screenNumber,
                              std::vector<OutputDesc>* outputs) {
    outputs->clear();
    if (xcb_connection_has_error(c)) return DXGI_ERROR_ACCESS_LOST;
    xcb_screen_t* screen = screenOf(c, screenNumber);
    if (screen == nullptr) return E_FAIL;
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr == nullptr || !randr->present) {
        outputs->push_back(wholeRoot(*screen));
        return S_OK;
    }
    xcb_randr_query_version_reply_t* version =
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 3), nullptr);
    const bool current =
        version != nullptr && (version->major_version > 1 || version->minor_version >= 3);
    std::free(version);
    if (!current) {
        outputs->push_back(wholeRoot(*screen));
        return S_OK;
    }
    xcb_randr_get_screen_resources_current_reply_t* resources =
        xcb_randr_get_screen_resources_current_reply(
            c, xcb_randr_get_screen_resources_current(c, screen->root), nullptr);
    if (resources == nullptr) return xcb_connection_has_error(c) ? DXGI_ERROR_ACCESS_LOST : E_FAIL;
    xcb_randr_get_output_primary_reply_t* primaryReply = xcb_randr_get_output_primary_reply(
        c, xcb_randr_get_output_primary(c, screen->root), nullptr);
    const xcb_randr_output_t primary = primaryReply != nullptr ? primaryReply->output : XCB_NONE;
    std::free(primaryReply);

    const xcb_randr_output_t* ids = xcb_randr_get_screen_resources_current_outputs(resources);
    const int count = xcb_randr_get_screen_resources_current_outputs_length(resources);
    bool anyPrimary = false;
    for (int i = 0; i < count; ++i) {
        xcb_randr_get_output_info_reply_t* info = xcb_randr_get_output_info_reply(
            c, xcb_randr_get_output_info(c, ids[i], resources->config_timestamp), nullptr);
        if (info == nullptr) continue;
        OutputDesc desc;
        desc.DeviceName.assign(reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info)),
                               static_cast<size_t>(xcb_randr_get_output_info_name_length(info)));
        if (info->connection == XCB_RANDR_CONNECTION_CONNECTED && info->crtc != XCB_NONE) {
            xcb_randr_get_crtc_info_reply_t* crtc = xcb_randr_get_crtc_info_reply(
                c, xcb_randr_get_crtc_info(c, info->crtc, resources->config_timestamp), nullptr);
            if (crtc != nullptr && crtc->width > 0 && crtc->height > 0) {
                // The root window may be smaller than the CRTC's mode (a screen resized with
                // "xrandr --fb"): only what the root holds can be read.
                const int32_t right =
                    std::min<int32_t>(crtc->x + crtc->width, screen->width_in_pixels);
                const int32_t bottom =
                    std::min<int32_t>(crtc->y + crtc->height, screen->height_in_pixels);
                desc.DesktopCoordinates = {crtc->x, crtc->y, right, bottom};
                desc.AttachedToDesktop = right > crtc->x && bottom > crtc->y;
                desc.Primary = desc.AttachedToDesktop && ids[i] == primary;
                anyPrimary = anyPrimary || desc.Primary;
            }
            std::free(crtc);
        }
        std::free(info);
        outputs->push_back(std::move(desc));
    }
    std::free(resources);
    const bool anyAttached = std::any_of(outputs->begin(), outputs->end(),
                                         [](const OutputDesc& d) { return d.AttachedToDesktop; });
    if (!anyAttached) {
        // No monitor shows the screen (a headless server whose screen was resized past its
        // CRTC, as "xrandr --fb" does under Xvfb): the root window is the desktop there is.
        outputs->push_back(wholeRoot(*screen));
        return S_OK;
    }
    if (!anyPrimary) {
        OutputDesc* chosen = nullptr;
        for (OutputDesc& desc : *outputs) {
            if (!desc.AttachedToDesktop) continue;
            if (chosen == nullptr) chosen = &desc;
            if (desc.DesktopCoordinates.left == 0 && desc.DesktopCoordinates.top == 0) {
                chosen = &desc;
                break;
            }
        }
        if (chosen != nullptr) chosen->Primary = true;
    }
    return S_OK;
}

HRESULT X11Desktop::EnumOutputs(std::vector<OutputDesc>* outputs) {
    if (outputs == nullptr) return E_POINTER;
    std::lock_guard lock(lock_);
    return outputsOf(connection_, screen_, outputs);
}

HRESULT X11Desktop::DuplicateOutput(const std::string& deviceName,
                                    std::unique_ptr<OutputDuplication>* duplication) {
    if (duplication == nullptr) return E_POINTER;
    return X11OutputDuplication::create(display_, deviceName, duplication);
}

}  // namespace tovrel::platform
