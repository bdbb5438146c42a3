#pragma once

#include <string_view>

namespace tovrel::device::ui {

// Every text of the Settings window that is not a status text (those are the status decoders'
// and BoxStatus's labels), in one place.
struct IODialogTexts {
    static constexpr std::string_view kTitle = "Settings";
    static constexpr std::string_view kFontFamily = "MS Shell Dlg";

    static constexpr std::string_view kYuy2 = "YUY2";
    static constexpr std::string_view kMjpeg = "MJPEG";
    static constexpr std::string_view kNv12 = "NV12";
    static constexpr std::string_view kSet = "Set";
    static constexpr std::string_view kGet = "Get";
    static constexpr std::string_view kBrightness = "Brightness";
    static constexpr std::string_view kContrast = "Contrast";
    static constexpr std::string_view kHue = "Hue";
    static constexpr std::string_view kSaturation = "Saturation";
    static constexpr std::string_view kSharpness = "Sharpness";
    static constexpr std::string_view kVolume = "Volume";
    static constexpr std::string_view kMute = "Mute";
    static constexpr std::string_view kDefault = "Default";
    static constexpr std::string_view kCommand = "Command";
    static constexpr std::string_view kData = "Data";
    // What the value labels and the status labels show before anything was read.
    static constexpr std::string_view kInitialValue = "128";
    static constexpr std::string_view kInitialMillivolts = "0 mV";

    // The volume label: (value - 219) x 0.5 with one decimal, then this unit.
    static constexpr std::string_view kDecibelUnit = "dB";
    // A resolution list entry: width "x" height "p@" rate.
    static constexpr std::string_view kModeSeparator = "x";
    static constexpr std::string_view kModeRateSeparator = "p@";
};

}  // namespace tovrel::device::ui
