#include "sim/video/simulated_video_proc_amp.h"

#include "platform/media/mf_constants.h"

namespace tovrel::sim {

using namespace platform;

HRESULT SimulatedVideoProcAmp::GetRange(int32_t property, int32_t* minimum, int32_t* maximum,
                                        int32_t* step, int32_t* defaultValue, int32_t* capsFlags) {
    if (!minimum || !maximum || !step || !defaultValue || !capsFlags) return E_POINTER;
    if (stream_.isShutDown()) return MF_E_SHUTDOWN;
    int32_t value = 0;
    if (const HRESULT hr = controls_->get(property, &value); FAILED(hr)) return hr;
    const SimPictureControl& range = controls_->ranges()[static_cast<size_t>(property)];
    *minimum = range.minimum;
    *maximum = range.maximum;
    *step = range.step;
    *defaultValue = range.defaultValue;
    *capsFlags = VideoProcAmp_Flags_Manual;
    return S_OK;
}

HRESULT SimulatedVideoProcAmp::Get(int32_t property, int32_t* value, int32_t* flags) {
    if (!value || !flags) return E_POINTER;
    if (stream_.isShutDown()) return MF_E_SHUTDOWN;
    const HRESULT hr = controls_->get(property, value);
    if (SUCCEEDED(hr)) *flags = VideoProcAmp_Flags_Manual;
    return hr;
}

HRESULT SimulatedVideoProcAmp::Set(int32_t property, int32_t value, int32_t flags) {
    if (stream_.isShutDown()) return MF_E_SHUTDOWN;
    int32_t current = 0;
    if (const HRESULT hr = controls_->get(property, &current); FAILED(hr)) return hr;
    if (flags != VideoProcAmp_Flags_Manual) return E_INVALIDARG;
    return controls_->set(property, value);
}

}  // namespace tovrel::sim
