#include "platform/v4l2/v4l2_video_proc_amp.h"

#include <linux/videodev2.h>

#include <array>
#include <cerrno>

#include "platform/media/mf_constants.h"

namespace tovrel::platform {

namespace {

// The V4L2 control behind each property, in the properties' order.
constexpr std::array<uint32_t, 5> kControlIds{
    V4L2_CID_BRIGHTNESS, V4L2_CID_CONTRAST, V4L2_CID_HUE, V4L2_CID_SATURATION, V4L2_CID_SHARPNESS,
};

bool controlOf(int32_t property, uint32_t* controlId) {
    if (property < 0 || static_cast<size_t>(property) >= kControlIds.size()) return false;
    *controlId = kControlIds[static_cast<size_t>(property)];
    return true;
}

}  // namespace

HRESULT V4l2VideoProcAmp::queryLocked(uint32_t controlId, v4l2_queryctrl* query) {
    *query = v4l2_queryctrl{};
    query->id = controlId;
    // EINVAL is the driver's way of saying it has no such control: an answer, not a fault.
    if (const int error = node_->ioctl(VIDIOC_QUERYCTRL, query, "VIDIOC_QUERYCTRL", EINVAL)) {
        return error == EINVAL ? E_PROP_ID_UNSUPPORTED : E_FAIL;
    }
    // A driver may enumerate a control it cannot honour (flagged disabled), or one of another
    // kind under the same id; neither can back a slider.
    if ((query->flags & V4L2_CTRL_FLAG_DISABLED) || query->type != V4L2_CTRL_TYPE_INTEGER)
        return E_PROP_ID_UNSUPPORTED;
    return S_OK;
}

HRESULT V4l2VideoProcAmp::GetRange(int32_t property, int32_t* minimum, int32_t* maximum,
                                   int32_t* step, int32_t* defaultValue, int32_t* capsFlags) {
    if (!minimum || !maximum || !step || !defaultValue || !capsFlags) return E_POINTER;
    uint32_t controlId = 0;
    if (!controlOf(property, &controlId)) return E_PROP_ID_UNSUPPORTED;
    std::lock_guard lock(mutex_);
    if (!node_) return MF_E_SHUTDOWN;
    v4l2_queryctrl query;
    if (const HRESULT hr = queryLocked(controlId, &query); FAILED(hr)) return hr;
    *minimum = query.minimum;
    *maximum = query.maximum;
    *step = query.step;
    *defaultValue = query.default_value;
    *capsFlags = VideoProcAmp_Flags_Manual;
    return S_OK;
}

HRESULT V4l2VideoProcAmp::Get(int32_t property, int32_t* value, int32_t* flags) {
    if (!value || !flags) return E_POINTER;
    uint32_t controlId = 0;
    if (!controlOf(property, &controlId)) return E_PROP_ID_UNSUPPORTED;
    std::lock_guard lock(mutex_);
    if (!node_) return MF_E_SHUTDOWN;
    // A control GetRange calls unsupported is unsupported here too, whatever G_CTRL would say.
    v4l2_queryctrl query;
    if (const HRESULT hr = queryLocked(controlId, &query); FAILED(hr)) return hr;
    v4l2_control control{};
    control.id = controlId;
    if (const int error = node_->ioctl(VIDIOC_G_CTRL, &control, "VIDIOC_G_CTRL", EINVAL)) {
        return error == EINVAL ? E_PROP_ID_UNSUPPORTED : E_FAIL;
    }
    *value = control.value;
    *flags = VideoProcAmp_Flags_Manual;
    return S_OK;
}

HRESULT V4l2VideoProcAmp::Set(int32_t property, int32_t value, int32_t flags) {
    uint32_t controlId = 0;
    if (!controlOf(property, &controlId)) return E_PROP_ID_UNSUPPORTED;
    if (flags != VideoProcAmp_Flags_Manual) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    if (!node_) return MF_E_SHUTDOWN;
    // The range is checked here rather than left to the driver: some drivers clamp silently,
    // and the caller is told the value was not taken either way.
    v4l2_queryctrl query;
    if (const HRESULT hr = queryLocked(controlId, &query); FAILED(hr)) return hr;
    if (value < query.minimum || value > query.maximum) return E_INVALIDARG;
    v4l2_control control{};
    control.id = controlId;
    control.value = value;
    if (const int error = node_->ioctl(VIDIOC_S_CTRL, &control, "VIDIOC_S_CTRL")) {
        return error == ERANGE ? E_INVALIDARG : E_FAIL;
    }
    return S_OK;
}

}  // namespace tovrel::platform
