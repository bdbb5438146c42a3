#pragma once

#include <cstdint>

namespace tovrel::platform {

// One class request on the box's default control pipe, shaped like a USB setup packet plus its
// data stage. `data` holds at least wLength bytes: the source of an OUT request, the destination
// of an IN request (bit 7 of bmRequestType).
struct DeviceRequest {
    uint8_t bmRequestType = 0;
    uint8_t bRequest = 0;
    uint16_t wValue = 0;
    uint16_t wIndex = 0;
    uint16_t wLength = 0;
    uint8_t* data = nullptr;

    bool isDeviceToHost() const { return (bmRequestType & 0x80) != 0; }
};

// The request codes the extension unit answers; they double as uvcvideo's query codes.
inline constexpr uint8_t kUvcSetCur = 0x01;
inline constexpr uint8_t kUvcGetCur = 0x81;
inline constexpr uint8_t kUvcGetLen = 0x85;
inline constexpr uint8_t kUvcGetInfo = 0x86;

// Class request to an interface or entity: host to device, device to host.
inline constexpr uint8_t kClassInterfaceOut = 0x21;
inline constexpr uint8_t kClassInterfaceIn = 0xA1;

// A request that did not go through (stall, time-out, device gone, driver refusal).
inline constexpr int kDeviceRequestFailed = -1;

}  // namespace tovrel::platform
