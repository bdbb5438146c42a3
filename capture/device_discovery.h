#pragma once

#include <cstdint>
#include <memory>

#include "capture/capture_rules.h"
#include "capture/picture_controls.h"
#include "capture/video_mode.h"
#include "platform/media/device_list_enumerator.h"
#include "platform/media/media_source.h"
#include "platform/system/hresult.h"

namespace tovrel::capture {

// Finds the box's two capture devices among all capture devices by friendly name, opens them
// as media sources and keeps them, and tells from the audio device's name which kind of box is
// attached. The message boxes of a failure are the caller's. GUI thread only.
class DeviceDiscovery {
  public:
    // `enumerator` lists the capture devices (MFEnumDeviceSources goes through it); it outlives
    // this object. Null stands for a platform without capture devices.
    explicit DeviceDiscovery(platform::DeviceListEnumerator* enumerator)
        : enumerator_(enumerator) {}
    ~DeviceDiscovery() { releaseCaptureSources(); }
    DeviceDiscovery(const DeviceDiscovery&) = delete;
    DeviceDiscovery& operator=(const DeviceDiscovery&) = delete;

    // Clears the three flags, scans the audio devices (last matching name wins, else the first
    // device, unless the rules forbid it: E_FAIL) and keeps the chosen one in audioSource.
    // E_UNEXPECTED when there is no audio device; a failed activation releases both sources and
    // returns the failure.
    platform::HRESULT createAudioCapture();
    // The same over the video devices with whole-name matches; then scans the source's types
    // into firstIndices, chooses videoFormat from `requestedFormat` and, when the rules ask,
    // reads the device's picture controls.
    platform::HRESULT createVideoCapture(uint32_t requestedFormat);
    // Stops, shuts down and releases videoSource, then audioSource. Always 0.
    int releaseCaptureSources();

    CaptureRules rules;
    std::shared_ptr<platform::MediaSource> audioSource;
    std::shared_ptr<platform::MediaSource> videoSource;
    uint32_t registerCapableBox = 0;
    uint32_t px40Model = 0;
    uint32_t usb3Bridge = 0;
    FirstFormatIndices firstIndices;
    int32_t videoFormat = kFormatNone;
    PictureControls pictureControls;

  private:
    platform::DeviceListEnumerator* enumerator_;
};

}  // namespace tovrel::capture
