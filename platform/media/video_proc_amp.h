#pragma once

#include <cstdint>

#include "platform/system/hresult.h"

namespace tovrel::platform {

// The picture controls of a video capture device (brightness, contrast, hue, saturation,
// sharpness) as the device itself implements them: the standard controls of a USB video class
// device, on Linux its V4L2 controls. Obtained from the activated source (MediaSource::
// videoProcAmp) and valid while the source is. GUI thread.
enum VideoProcAmpProperty : int32_t {
    VideoProcAmp_Brightness = 0,
    VideoProcAmp_Contrast = 1,
    VideoProcAmp_Hue = 2,
    VideoProcAmp_Saturation = 3,
    VideoProcAmp_Sharpness = 4,
};
inline constexpr int32_t VideoProcAmp_Flags_Auto = 0x1;
inline constexpr int32_t VideoProcAmp_Flags_Manual = 0x2;

// The property is not one the device has.
inline constexpr HRESULT E_PROP_ID_UNSUPPORTED = static_cast<HRESULT>(0x80070490u);

class VideoProcAmp {
  public:
    virtual ~VideoProcAmp() = default;
    // The property's range, step and default, and whether it can be automatic (capsFlags).
    // S_OK; E_PROP_ID_UNSUPPORTED when the device lacks it; E_POINTER for a null argument;
    // MF_E_SHUTDOWN once the source is shut down; E_FAIL when the device does not answer.
    virtual HRESULT GetRange(int32_t property, int32_t* minimum, int32_t* maximum, int32_t* step,
                             int32_t* defaultValue, int32_t* capsFlags) = 0;
    // The current value. The same codes as GetRange.
    virtual HRESULT Get(int32_t property, int32_t* value, int32_t* flags) = 0;
    // Sets a value within the range (flags VideoProcAmp_Flags_Manual). The same codes, and
    // E_INVALIDARG for a value outside the range.
    virtual HRESULT Set(int32_t property, int32_t value, int32_t flags) = 0;
};

}  // namespace tovrel::platform
