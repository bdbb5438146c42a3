#include "capture/device_discovery.h"

namespace tovrel::capture {

platform::HRESULT DeviceDiscovery::createAudioCapture() {
    registerCapableBox = px40Model = usb3Bridge = 0;
    return platform::E_UNEXPECTED;
}

platform::HRESULT DeviceDiscovery::createVideoCapture(uint32_t /*requestedFormat*/) {
    return platform::E_UNEXPECTED;
}

int DeviceDiscovery::releaseCaptureSources() { return 0; }

}  // namespace tovrel::capture
