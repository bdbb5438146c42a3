#pragma once

#include <cstdint>
#include <string>

#include "device/device_texts.h"
#include "device/supported_boxes.h"

namespace tovrel::device {

// Made for one register operation and freed at its end: the device type found by the
// identification and the decoders' scratch text. Owned by the thread running the operation.
struct DeviceSession {
    std::string text{kTextUnknow};
    int32_t deviceType = kNoDevice;
};

}  // namespace tovrel::device
