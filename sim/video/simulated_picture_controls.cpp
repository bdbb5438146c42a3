#include "sim/video/simulated_picture_controls.h"

#include <algorithm>

#include "platform/media/video_proc_amp.h"

namespace tovrel::sim {

using namespace platform;

SimulatedPictureControls::SimulatedPictureControls(const SimPictureControls& ranges)
    : ranges_(ranges) {
    for (size_t i = 0; i < ranges_.size(); ++i)
        values_[i] = ranges_[i].supported ? ranges_[i].defaultValue : 0;
}

const SimPictureControl* SimulatedPictureControls::control(int32_t property) const {
    if (property < 0 || static_cast<size_t>(property) >= ranges_.size()) return nullptr;
    const SimPictureControl& control = ranges_[static_cast<size_t>(property)];
    return control.supported ? &control : nullptr;
}

HRESULT SimulatedPictureControls::get(int32_t property, int32_t* value) const {
    if (control(property) == nullptr) return E_PROP_ID_UNSUPPORTED;
    std::lock_guard lock(mutex_);
    *value = values_[static_cast<size_t>(property)];
    return S_OK;
}

HRESULT SimulatedPictureControls::set(int32_t property, int32_t value) {
    const SimPictureControl* range = control(property);
    if (range == nullptr) return E_PROP_ID_UNSUPPORTED;
    if (value < range->minimum || value > range->maximum) return E_INVALIDARG;
    const int32_t step = std::max(1, range->step);
    const int32_t steps = (value - range->minimum + step / 2) / step;
    std::lock_guard lock(mutex_);
    values_[static_cast<size_t>(property)] =
        std::min(range->maximum, range->minimum + steps * step);
    return S_OK;
}

SimulatedPictureControls::Values SimulatedPictureControls::values() const {
    std::lock_guard lock(mutex_);
    return values_;
}

}  // namespace tovrel::sim
