#pragma once

#include <cstdint>

#include "capture/frame_scaler.h"

namespace tovrel::capture {

// The aspect-keeping renderer's device: the back buffer's size (the client area when it was
// created or last reset) and the scaler from the video into destRect of it.
// Owned by MFManager; GUI thread creates and resets it, the render thread draws with it, both
// inside frameLock.
struct AspectPresenter {
    int32_t backBufferWidth = 0;
    int32_t backBufferHeight = 0;
    FrameScaler scaler;
};

}  // namespace tovrel::capture
