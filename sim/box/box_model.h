#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace tovrel::sim {

// Pixel formats a simulated box offers natively.
enum class SimPixelFormat : uint8_t { Yuy2, Mjpg, Nv12 };

// One native video mode: format, frame size and rate as a ratio (60000/1001 for 59.94).
struct SimVideoMode {
    SimPixelFormat format;
    uint32_t width;
    uint32_t height;
    uint32_t rateNumerator;
    uint32_t rateDenominator;
};

// One picture control of the box's video device as its UVC processing unit reports it; the
// five are in VideoProcAmp's order: brightness, contrast, hue, saturation, sharpness.
struct SimPictureControl {
    bool supported;
    int32_t minimum;
    int32_t maximum;
    int32_t step;
    int32_t defaultValue;
};
using SimPictureControls = std::array<SimPictureControl, 5>;

// One supported box as the computer sees it: the two capture devices' friendly names, the
// USB ids, what kind of box the names tell the capture logic, and the native modes of its video
// device in the order the device lists them (format by format, sizes large to small, rates high
// to low, as UVC descriptors are laid out), and its picture controls.
struct BoxModel {
    std::string_view model;
    std::string_view videoFriendlyName;
    std::string_view audioFriendlyName;
    uint16_t vendorId;
    uint16_t productId;
    bool registerCapable;
    bool px40;
    bool usb3Bridge;
    std::span<const SimVideoMode> modes;
    SimPictureControls pictureControls;
};

namespace detail {
using F = SimPixelFormat;
// USB 2.0 boxes: YUY2 only at small sizes or low rates, MJPEG up to 1080p60.
inline constexpr std::array<SimVideoMode, 14> kUsb2Modes{{
    {F::Yuy2, 1920, 1080, 5, 1},
    {F::Yuy2, 1280, 720, 10, 1},
    {F::Yuy2, 720, 480, 30, 1},
    {F::Yuy2, 640, 480, 60, 1},
    {F::Yuy2, 640, 480, 30000, 1001},
    {F::Mjpg, 1920, 1080, 60, 1},
    {F::Mjpg, 1920, 1080, 60000, 1001},
    {F::Mjpg, 1920, 1080, 30, 1},
    {F::Mjpg, 1920, 1080, 30000, 1001},
    {F::Mjpg, 1280, 720, 60, 1},
    {F::Mjpg, 1280, 720, 30, 1},
    {F::Mjpg, 720, 480, 60, 1},
    {F::Mjpg, 640, 480, 60, 1},
    {F::Mjpg, 640, 480, 30, 1},
}};
// USB 3.0 boxes: uncompressed 1080p60 in YUY2 and NV12, MJPEG beside them.
inline constexpr std::array<SimVideoMode, 15> kUsb3Modes{{
    {F::Yuy2, 1920, 1080, 60, 1},
    {F::Yuy2, 1920, 1080, 60000, 1001},
    {F::Yuy2, 1920, 1080, 30, 1},
    {F::Yuy2, 1280, 720, 60, 1},
    {F::Yuy2, 720, 480, 60, 1},
    {F::Yuy2, 640, 480, 60, 1},
    {F::Nv12, 1920, 1080, 60, 1},
    {F::Nv12, 1920, 1080, 30, 1},
    {F::Nv12, 1280, 720, 60, 1},
    {F::Nv12, 640, 480, 60, 1},
    {F::Mjpg, 1920, 1080, 60, 1},
    {F::Mjpg, 1920, 1080, 30000, 1001},
    {F::Mjpg, 1280, 720, 60, 1},
    {F::Mjpg, 720, 480, 60, 1},
    {F::Mjpg, 640, 480, 60, 1},
}};
// The USB 3.0 video bridge: uncompressed only.
inline constexpr std::array<SimVideoMode, 8> kBridgeModes{{
    {F::Yuy2, 1920, 1080, 60, 1},
    {F::Yuy2, 1920, 1080, 50, 1},
    {F::Yuy2, 1280, 720, 60, 1},
    {F::Yuy2, 640, 480, 60, 1},
    {F::Nv12, 1920, 1080, 60, 1},
    {F::Nv12, 1920, 1080, 50, 1},
    {F::Nv12, 1280, 720, 60, 1},
    {F::Nv12, 640, 480, 60, 1},
}};
// The USB 2.0 boxes and the bridge report signed controls centred on zero where a control
// shifts (brightness, hue), unsigned ones centred on 128 where it scales (contrast, saturation)
// and sharpness from 0 (nothing added), as the common grabber chips do.
inline constexpr SimPictureControls kSignedControls{{
    {true, -128, 127, 1, 0},
    {true, 0, 255, 1, 128},
    {true, -128, 127, 1, 0},
    {true, 0, 255, 1, 128},
    {true, 0, 255, 1, 0},
}};
// The USB 3.0 box reports every control as 0 to 255 around 128 and has no sharpness: its
// processing unit does not declare the control, so the picture settings show that bar disabled.
inline constexpr SimPictureControls kUnsignedControls{{
    {true, 0, 255, 1, 128},
    {true, 0, 255, 1, 128},
    {true, 0, 255, 1, 128},
    {true, 0, 255, 1, 128},
    {false, 0, 0, 0, 0},
}};
}  // namespace detail

inline constexpr std::array<BoxModel, 5> kBoxModels{{
    {"Ambrix", "Ambrix USB Video Device", "Digital Audio Interface (Ambrix USB Audio Device)",
     0x7B30, 0x4E11, true, false, false, detail::kUsb2Modes, detail::kSignedControls},
    {"Norvik", "Norvik USB Video Device", "Norvik USB Audio Device", 0x7B30, 0x4E12, true, false,
     false, detail::kUsb2Modes, detail::kSignedControls},
    {"QUORVA PX40", "QUORVA PX40 Video", "Digital Audio Interface (QUORVA PX40 Audio)", 0x5D42,
     0x0A60, true, true, false, detail::kUsb2Modes, detail::kSignedControls},
    {"QUORVA PX50h", "QUORVA PX50h Video", "QUORVA PX50h Audio", 0x5D42, 0x0A50, false, false, true,
     detail::kUsb3Modes, detail::kUnsignedControls},
    {"Sorvane", "Sorvane USB 3.0 Video Bridge", "Sorvane USB 3.0 Audio Bridge", 0x6A21, 0x1C07,
     false, false, true, detail::kBridgeModes, detail::kSignedControls},
}};

// The model the demo plugs in: the USB 3.0 box, whose YUY2 1080p60 shows the whole pipeline.
inline constexpr const BoxModel& kDefaultBoxModel = kBoxModels[3];

// Null when no model has this name.
const BoxModel* findBoxModel(std::string_view model);

}  // namespace tovrel::sim
