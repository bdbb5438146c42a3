#include "platform/media/media_device_enumerator.h"

namespace tovrel::platform {

HRESULT MFEnumDeviceSources(MediaDeviceEnumerator& enumerator, const Attributes& attributes,
                            std::vector<std::unique_ptr<Activate>>* devices) {
    if (devices == nullptr) return E_POINTER;
    devices->clear();
    return enumerator.EnumDeviceSources(attributes, devices);
}

}  // namespace tovrel::platform
