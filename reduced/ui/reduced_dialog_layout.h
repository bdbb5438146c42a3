#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "device/ui/io_dialog_layout.h"
#include "device/ui/io_dialog_texts.h"
#include "platform/media/video_proc_amp.h"

namespace tovrel::reduced::ui {

// The reduced program's Settings window template in dialog units: the format buttons and the
// resolution list, the five picture bars of the video device, the capture endpoint's volume and
// mute, and Default. Identifier -1: static texts and group boxes that nothing addresses.
struct ReducedDialogLayout {
    using Control = device::ui::IOControlSpec;
    using K = device::ui::IOControlKind;
    using T = device::ui::IODialogTexts;

    static constexpr std::string_view kVideo = "Video";
    static constexpr std::string_view kColors = "Colors";
    static constexpr std::string_view kAudio = "Audio";

    static constexpr int32_t kYuy2 = 1059;
    static constexpr int32_t kMjpeg = 1060;
    static constexpr int32_t kResolutionList = 1038;
    static constexpr int32_t kResolutionSet = 1039;
    static constexpr int32_t kBrightness = 1043;
    static constexpr int32_t kContrast = 1044;
    static constexpr int32_t kHue = 1045;
    static constexpr int32_t kSaturation = 1046;
    static constexpr int32_t kSharpness = 1053;
    static constexpr int32_t kVolume = 1064;
    static constexpr int32_t kVolumeValue = 1066;
    static constexpr int32_t kMute = 1067;
    static constexpr int32_t kDefault = 1047;

    static constexpr int32_t kWidth = 183;
    static constexpr int32_t kHeight = 211;
    static constexpr int32_t kVolumeMaximum = 100;

    // Each picture bar with its value label and the device's property, in the device's order.
    struct PictureBar {
        int32_t id;
        int32_t valueLabel;
        int32_t property;
    };
    static constexpr std::array<PictureBar, 5> kPictureBars{{
        {kBrightness, 1048, platform::VideoProcAmp_Brightness},
        {kContrast, 1049, platform::VideoProcAmp_Contrast},
        {kHue, 1050, platform::VideoProcAmp_Hue},
        {kSaturation, 1052, platform::VideoProcAmp_Saturation},
        {kSharpness, 1054, platform::VideoProcAmp_Sharpness},
    }};
    // The format radio buttons by family code (0 YUY2, 1 MJPEG).
    static constexpr std::array<int32_t, 2> kFormatRadios{kYuy2, kMjpeg};

    static constexpr std::array<Control, 27> kControls{{
        {-1, K::GroupBox, kVideo, 7, 8, 169, 40},
        {kYuy2, K::Radio, T::kYuy2, 15, 16, 33, 10},
        {kMjpeg, K::Radio, T::kMjpeg, 55, 16, 37, 10},
        {kResolutionList, K::DropList, {}, 12, 31, 101, 219},
        {kResolutionSet, K::Button, T::kSet, 122, 30, 50, 14},
        {-1, K::GroupBox, kColors, 7, 49, 169, 100},
        {-1, K::Label, T::kBrightness, 13, 61, 34, 8},
        {kBrightness, K::ScrollBar, {}, 60, 61, 81, 11},
        {1048, K::CentredLabel, T::kInitialValue, 143, 61, 25, 8},
        {-1, K::Label, T::kContrast, 13, 79, 29, 8},
        {kContrast, K::ScrollBar, {}, 60, 79, 81, 11},
        {1049, K::CentredLabel, T::kInitialValue, 143, 79, 25, 8},
        {-1, K::Label, T::kHue, 13, 97, 14, 8},
        {kHue, K::ScrollBar, {}, 60, 97, 81, 11},
        {1050, K::CentredLabel, T::kInitialValue, 143, 97, 25, 8},
        {-1, K::Label, T::kSaturation, 13, 115, 34, 8},
        {kSaturation, K::ScrollBar, {}, 60, 115, 81, 11},
        {1052, K::CentredLabel, T::kInitialValue, 143, 115, 25, 8},
        {-1, K::Label, T::kSharpness, 13, 134, 34, 8},
        {kSharpness, K::ScrollBar, {}, 60, 134, 81, 11},
        {1054, K::CentredLabel, T::kInitialValue, 143, 134, 25, 8},
        {-1, K::GroupBox, kAudio, 7, 152, 169, 35},
        {-1, K::Label, T::kVolume, 13, 163, 24, 8},
        {kVolume, K::ScrollBar, {}, 60, 163, 81, 11},
        {kVolumeValue, K::CentredLabel, T::kInitialValue, 143, 163, 25, 8},
        {kMute, K::CheckBox, T::kMute, 13, 175, 32, 10},
        {kDefault, K::Button, T::kDefault, 66, 189, 50, 14},
    }};
};

}  // namespace tovrel::reduced::ui
