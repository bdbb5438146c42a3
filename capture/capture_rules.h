#pragma once

namespace tovrel::capture {

// How strictly a program takes the capture devices it finds and which formats it offers: the
// full program falls back to the first device of each kind and knows the box's models and NV12;
// the reduced one takes only the box's own devices by name, derives only the USB 3.0 bridge from
// them, offers YUY2 and MJPEG alone, reads the video device's picture controls, and has no use
// for the desktop. Pure data.
struct CaptureRules {
    bool firstDeviceFallback = true;  // no name matches: use the first device
    bool boxModelFlags = true;        // register-capable and PX40 flags from the audio name
    bool nv12 = true;                 // NV12 types catalogued and chosen
    bool pictureControls = false;     // read the video device's picture controls on activation
    bool desktop = true;              // the desktop's recording and snapshots beside the box's
};

}  // namespace tovrel::capture
