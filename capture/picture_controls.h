#pragma once

#include <array>
#include <cstdint>

#include "platform/media/video_proc_amp.h"

namespace tovrel::capture {

// The video device's five picture controls as read at its last activation: each property's
// range, default and current value, and whether the device has it at all. GUI thread.
struct PictureControls {
    struct Property {
        bool supported = true;
        int32_t minimum = 0;
        int32_t maximum = 0;
        int32_t defaultValue = 0;
        int32_t value = 0;
    };
    // Brightness, Contrast, Hue, Saturation, Sharpness: indexed by VideoProcAmpProperty.
    std::array<Property, 5> properties{};

    // Zeroes everything (supported set), then reads each property through `amp`; a property
    // whose range cannot be read is unsupported, and so is every property of a device without
    // picture controls (a null `amp`).
    void read(platform::VideoProcAmp* amp) {
        properties = {};
        if (amp == nullptr) {
            for (Property& property : properties) property.supported = false;
            return;
        }
        for (int32_t p = 0; p < static_cast<int32_t>(properties.size()); ++p) {
            Property& property = properties[static_cast<size_t>(p)];
            int32_t step = 0, caps = 0, flags = 0;
            if (platform::FAILED(amp->GetRange(p, &property.minimum, &property.maximum, &step,
                                               &property.defaultValue, &caps))) {
                property.supported = false;
                continue;
            }
            amp->Get(p, &property.value, &flags);
        }
    }
};

}  // namespace tovrel::capture
