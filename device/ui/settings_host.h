#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "capture/video_mode.h"

namespace tovrel::device::ui {

// What the Settings window needs of the main window that opens it: the format catalogue and the
// running session as they are now, the capture restart, and the "Control" setting. The main
// window fills it; the functions run on the GUI thread.
struct SettingsHost {
    struct Capture {
        // The catalogue's mode lists by family code (0 YUY2, 1 MJPEG, 2 NV12), in its order.
        std::array<std::vector<capture::VideoMode>, 3> modes;
        capture::FirstFormatIndices firstIndices;
        int32_t videoFormat = capture::kFormatNone;
        uint32_t width = 0;
        uint32_t height = 0;
        float frameRate = 0.0f;
    };

    std::function<Capture()> capture;
    // Width, height, frames per second, family code.
    std::function<void(int32_t, int32_t, int32_t, int32_t)> restartCapture;
    int32_t settingControl = 0;
};

}  // namespace tovrel::device::ui
