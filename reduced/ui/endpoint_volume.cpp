#include "reduced/ui/endpoint_volume.h"

#include <algorithm>
#include <string>

#include "device/box_controls.h"

namespace tovrel::reduced::ui {

float EndpointVolume::levelForPercent(int32_t percent, float minimumDb, float maximumDb) {
    const int32_t p = std::clamp(percent, 0, kMaximum);
    return minimumDb + static_cast<float>(p) * (maximumDb - minimumDb) / kMaximum;
}

int32_t EndpointVolume::percentForLevel(float levelDb, float minimumDb, float maximumDb) {
    if (!(maximumDb > minimumDb)) return 0;
    // A whole percent set is read back as itself: the float steps may land a hair below it.
    const float percent = kMaximum * (levelDb - minimumDb) / (maximumDb - minimumDb) + 1e-3f;
    return std::clamp(static_cast<int32_t>(percent), 0, kMaximum);
}

int32_t EndpointVolume::getVolume() const {
    int32_t volume = 0;
    if (endpoints_ == nullptr) return volume;
    for (const std::string& name : endpoints_->EnumAudioEndpoints()) {
        if (!device::BoxControls::isBoxEndpoint(name)) continue;
        float minimum = 0, maximum = 0, step = 0, level = 0;
        if (platform::FAILED(endpoints_->GetVolumeRange(name, &minimum, &maximum, &step)) ||
            platform::FAILED(endpoints_->GetMasterVolumeLevel(name, &level)))
            continue;
        volume = percentForLevel(level, minimum, maximum);
    }
    return volume;
}

void EndpointVolume::setVolume(int32_t percent) {
    if (endpoints_ == nullptr) return;
    for (const std::string& name : endpoints_->EnumAudioEndpoints()) {
        if (!device::BoxControls::isBoxEndpoint(name)) continue;
        float minimum = 0, maximum = 0, step = 0;
        if (platform::FAILED(endpoints_->GetVolumeRange(name, &minimum, &maximum, &step))) continue;
        endpoints_->SetMasterVolumeLevel(name, levelForPercent(percent, minimum, maximum));
    }
}

bool EndpointVolume::getMute() const {
    bool muted = false;
    if (endpoints_ == nullptr) return muted;
    for (const std::string& name : endpoints_->EnumAudioEndpoints()) {
        bool m = false;
        if (device::BoxControls::isBoxEndpoint(name) &&
            platform::SUCCEEDED(endpoints_->GetMute(name, &m)))
            muted = m;
    }
    return muted;
}

void EndpointVolume::setMute(bool mute) {
    if (endpoints_ == nullptr) return;
    for (const std::string& name : endpoints_->EnumAudioEndpoints())
        if (device::BoxControls::isBoxEndpoint(name)) endpoints_->SetMute(name, mute);
}

}  // namespace tovrel::reduced::ui
