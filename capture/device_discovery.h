#pragma once

#include <cstdint>

#include "platform/backends/backends.h"
#include "platform/system/hresult.h"

namespace tovrel::capture {

// PLACEHOLDER until the media layer lands: finds no capture device, so start-up takes the
// "no device" road. Replaced by the real discovery over the media device enumerator.
// GUI thread only.
class DeviceDiscovery {
public:
    explicit DeviceDiscovery(platform::Backends& backends) : backends_(backends) {}

    platform::HRESULT createAudioCapture();
    platform::HRESULT createVideoCapture(uint32_t requestedFormat);
    int releaseCaptureSources();

    uint32_t registerCapableBox = 0;
    uint32_t px40Model = 0;
    uint32_t usb3Bridge = 0;

private:
    platform::Backends& backends_;
};

}  // namespace tovrel::capture
