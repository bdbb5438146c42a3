#pragma once

#include "device/box_controls.h"
#include "device/kelm_uvc_library.h"
#include "device/register_worker.h"
#include "platform/audio/capture_endpoints.h"
#include "platform/system/clock.h"
#include "platform/usb/extension_unit_bus.h"

namespace tovrel::device {

// The full program's register access for its whole run: the vendor library over the extension
// unit, the box controls, and the one worker that every register operation of the Settings
// window and the recording notices runs on, in the order they were asked for.
// Made and destroyed on the GUI thread; the notices are queued from it; the members' own headers
// say where each may be called. The worker is destroyed first, finishing what is queued.
class BoxOperations {
  public:
    // `endpoints` may be null (no endpoint calls).
    BoxOperations(platform::ExtensionUnitBus& bus, platform::Clock& clock,
                  platform::CaptureEndpoints* endpoints);

    KelmUvcLibrary& library() { return library_; }
    platform::Clock& clock() { return clock_; }
    BoxControls& controls() { return controls_; }
    RegisterWorker& worker() { return worker_; }

    // The recording notices, queued behind any register work still waiting. The caller keeps
    // the once-per-recording flag; nothing is queued for a box without a register interface.
    void recordStart(bool registerCapable, bool settingsOpen);
    void recordStop(bool registerCapable, bool px40, bool settingsOpen);

  private:
    KelmUvcLibrary library_;
    platform::Clock& clock_;
    BoxControls controls_;
    RegisterWorker worker_;
};

}  // namespace tovrel::device
