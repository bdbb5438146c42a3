#pragma once

#include <cstdint>

#include "capture/frame_scaler.h"

namespace tovrel::capture {

// The stretching renderer's target: its pixel size (never more than the video's) and the scaler
// that turns the video frame into the client-sized image the window shows. Drawing the frame
// into the smaller target and stretching the target to the client area scales each axis once,
// so the scaler goes from the video to the client size in one pass.
// Owned by MFManager; GUI thread creates and resizes it, the render thread draws with it, both
// inside frameLock.
struct StretchTarget {
    uint32_t pixelWidth = 0;
    uint32_t pixelHeight = 0;
    FrameScaler scaler;
};

}  // namespace tovrel::capture
