#pragma once

#include <atomic>
#include <cstdint>

#include "device/box_controls.h"
#include "device/kelm_uvc_library.h"
#include "device/register_worker.h"
#include "platform/audio/capture_endpoints.h"
#include "platform/system/clock.h"
#include "platform/usb/extension_unit_bus.h"

namespace tovrel::device {

// The full program's register access for its whole run: the vendor library over the extension
// unit, the box controls, and the one worker that every register operation of the program runs
// on (the Settings window, the recording notices, the audio source), in the order they were
// asked for. One worker is what keeps the four transfers of one command write (idle wait, value,
// idle wait, command) from interleaving with another operation's on the box's I2C bus.
// Made and destroyed on the GUI thread; the notices and the audio source are queued from it; the
// members' own headers say where each may be called. The worker is destroyed first, finishing
// what is queued.
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

    // The menu's audio source, written behind the work already queued; no lock, as the menu's
    // commands cannot run while the Settings window is open.
    void setAudioSource(BoxControls::AudioSource source);
    // The box's audio source, read behind the work already queued. The window's thread waits at
    // most `waitMs` for it; a box still busy then (a ready wait lasts up to about 5 s) answers
    // with the last source read or written, HDMI before any. Either way the read goes on and
    // leaves its answer for the next call.
    BoxControls::AudioSource readAudioSource(uint32_t waitMs);

  private:
    KelmUvcLibrary library_;
    platform::Clock& clock_;
    BoxControls controls_;
    std::atomic<BoxControls::AudioSource> lastAudioSource_{BoxControls::AudioSource::Hdmi};
    RegisterWorker worker_;
};

}  // namespace tovrel::device
