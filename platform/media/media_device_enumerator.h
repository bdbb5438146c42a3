#pragma once

#include <memory>
#include <vector>

#include "platform/media/activate.h"

namespace tovrel::platform {

// Lists the capture devices of one kind: `attributes` carries MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE
// = MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID or _VIDCAP_GUID. Devices come in the system's
// order. An enumerator with no device of that kind answers S_OK and an empty list; a missing
// source type answers MF_E_ATTRIBUTENOTFOUND. GUI thread.
class MediaDeviceEnumerator {
  public:
    virtual ~MediaDeviceEnumerator() = default;
    virtual HRESULT EnumDeviceSources(const Attributes& attributes,
                                      std::vector<std::unique_ptr<Activate>>* devices) = 0;
};

// The platform's name for the enumeration, over the enumerator the backends chose.
HRESULT MFEnumDeviceSources(MediaDeviceEnumerator& enumerator, const Attributes& attributes,
                            std::vector<std::unique_ptr<Activate>>* devices);

}  // namespace tovrel::platform
