#include "platform/media/device_list_enumerator.h"

#include <algorithm>

#include "platform/media/mf_guids.h"

namespace tovrel::platform {

void DeviceListEnumerator::addDevice(Entry entry) {
    Slot slot;
    slot.entry = std::make_unique<Entry>(std::move(entry));
    slots_.push_back(std::move(slot));
}

void DeviceListEnumerator::addEnumerator(std::unique_ptr<MediaDeviceEnumerator> enumerator) {
    if (!enumerator) return;
    Slot slot;
    slot.enumerator = std::move(enumerator);
    slots_.push_back(std::move(slot));
}

void DeviceListEnumerator::removeDevice(const std::string& friendlyName) {
    slots_.erase(std::remove_if(slots_.begin(), slots_.end(),
                                [&](const Slot& slot) {
                                    return slot.entry && slot.entry->friendlyName == friendlyName;
                                }),
                 slots_.end());
}

HRESULT DeviceListEnumerator::EnumDeviceSources(const Attributes& attributes,
                                                std::vector<std::unique_ptr<Activate>>* devices) {
    if (devices == nullptr) return E_POINTER;
    Guid sourceType;
    HRESULT hr = attributes.GetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, &sourceType);
    if (FAILED(hr)) return hr;
    Kind kind;
    if (sourceType == MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID) {
        kind = Kind::Video;
    } else if (sourceType == MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID) {
        kind = Kind::Audio;
    } else {
        return E_INVALIDARG;
    }
    for (const Slot& slot : slots_) {
        if (slot.enumerator) {
            std::vector<std::unique_ptr<Activate>> more;
            // A backend that cannot list its devices contributes none; the others still count.
            if (SUCCEEDED(slot.enumerator->EnumDeviceSources(attributes, &more))) {
                for (auto& device : more) devices->push_back(std::move(device));
            }
            continue;
        }
        const Entry& entry = *slot.entry;
        if (entry.kind != kind) continue;
        auto device = std::make_unique<Activate>(entry.activation);
        device->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, sourceType);
        if (!entry.nameUnreadable)
            device->SetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, entry.friendlyName);
        device->SetString(kind == Kind::Video
                              ? MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK
                              : MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID,
                          entry.symbolicLink);
        devices->push_back(std::move(device));
    }
    return S_OK;
}

}  // namespace tovrel::platform
