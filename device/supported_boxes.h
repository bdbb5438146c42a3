#pragma once

#include <array>
#include <cstdint>

namespace tovrel::device {

// The boxes the register transports recognise, in the order they are tried.
// deviceType 255: no supported box was found.
inline constexpr int32_t kNoDevice = 255;

struct SupportedBox {
    uint16_t vendorId;
    uint16_t productId;
    int32_t deviceType;
};

// The vendor-library transport (the full program and tovrelctl).
inline constexpr std::array<SupportedBox, 6> kSupportedBoxes{{
    {0x7B30, 0x4E11, 0},
    {0x5D42, 0x0A60, 1},
    {0x7B30, 0x4E12, 2},
    {0x6F05, 0x4E11, 0},
    {0x6F05, 0x4E12, 2},
    {0x6F05, 0xE2A9, 3},
}};

// The control panel knows only the first two.
inline constexpr std::array<SupportedBox, 2> kPanelBoxes{{
    {0x7B30, 0x4E11, 0},
    {0x5D42, 0x0A60, 1},
}};

}  // namespace tovrel::device
