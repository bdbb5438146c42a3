#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "device/box_status.h"
#include "device/device_texts.h"
#include "device/register_map.h"
#include "device/ui/io_dialog_texts.h"

namespace tovrel::device::ui {

// The Settings window's template in dialog units (a quarter of the dialog font's average
// character width across, an eighth of its height down): its size and every control, in tab
// order. Identifier -1: static texts and the group box that nothing addresses.
enum class IOControlKind {
    Radio,        // not automatic: the window sets the checks
    HiddenRadio,  // the same, never shown
    DropList,     // the height includes the opened list
    Button,
    Label,
    CentredLabel,
    ScrollBar,  // horizontal
    CheckBox,   // not automatic
    GroupBox,
    Edit,
};

struct IOControlSpec {
    int32_t id;
    IOControlKind kind;
    std::string_view text;
    int32_t x, y, w, h;
};

struct IODialogLayout {
    static constexpr int32_t kYuy2 = 1059;
    static constexpr int32_t kMjpeg = 1060;
    static constexpr int32_t kNv12 = 1061;
    static constexpr int32_t kResolutionList = 1038;
    static constexpr int32_t kResolutionSet = 1039;
    static constexpr int32_t kBrightness = 1043;
    static constexpr int32_t kBrightnessValue = 1048;
    static constexpr int32_t kContrast = 1044;
    static constexpr int32_t kContrastValue = 1049;
    static constexpr int32_t kHue = 1045;
    static constexpr int32_t kHueValue = 1050;
    static constexpr int32_t kSaturation = 1046;
    static constexpr int32_t kSaturationValue = 1052;
    static constexpr int32_t kSharpness = 1053;
    static constexpr int32_t kSharpnessValue = 1054;
    static constexpr int32_t kVolume = 1064;
    static constexpr int32_t kVolumeValue = 1066;
    static constexpr int32_t kMute = 1067;
    static constexpr int32_t kDefault = 1047;
    static constexpr int32_t kRawCommand = 1026;
    static constexpr int32_t kRawData = 1027;
    static constexpr int32_t kRawSet = 1029;
    static constexpr int32_t kRawGet = 1030;
    static constexpr int32_t kOsMode = 1042;
    static constexpr int32_t kSourceTiming = 1057;
    static constexpr int32_t kDdcVoltage = 1040;
    static constexpr int32_t kHpdVoltage = 1041;
    static constexpr int32_t kAudioFormatType = 1062;
    static constexpr int32_t kAudioSampleRate = 1063;
    static constexpr int32_t kFirmwareVersion = 1051;

    static constexpr int32_t kWidth = 183;
    static constexpr int32_t kHeight = 302;
    static constexpr int kFontPoints = 8;
    // The closed drop-down list: the height of one edit line of the dialog font.
    static constexpr int32_t kDropListClosedHeight = 13;
    // Dialog base units of the 8-point dialog font at 96 dots per inch, in pixels: one dialog
    // unit is 6/4 pixels across and 13/8 down. The window measures its own font the way the
    // dialog manager does (baseUnits) and picks a size that fits these.
    static constexpr int32_t kBaseUnitX = 6;
    static constexpr int32_t kBaseUnitY = 13;
    static constexpr int kMinimumFontPixels = 8;
    static constexpr std::string_view kAverageWidthSample =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

    struct BaseUnits {
        int32_t x = kBaseUnitX;
        int32_t y = kBaseUnitY;
    };
    // The dialog manager's base units of a font: the sample's width averaged and rounded up to
    // whole pixels, and the font's height.
    static constexpr BaseUnits baseUnits(int32_t sampleWidth, int32_t fontHeight) {
        return {(sampleWidth / 26 + 1) / 2, fontHeight};
    }

    // Dialog units to pixels, rounded as the dialog manager rounds each edge.
    static constexpr int32_t pixelsX(int32_t units, BaseUnits base) {
        return mulDiv(units, base.x, 4);
    }
    static constexpr int32_t pixelsY(int32_t units, BaseUnits base) {
        return mulDiv(units, base.y, 8);
    }
    static constexpr int32_t mulDiv(int32_t value, int32_t numerator, int32_t denominator) {
        const int64_t p = int64_t{value} * numerator;
        const int64_t half = denominator / 2;
        return static_cast<int32_t>(p >= 0 ? (p + half) / denominator
                                           : -((-p + half) / denominator));
    }

    // The groups the window enables and disables together.
    static constexpr std::array<int32_t, 8> kDeviceControls{
        kBrightness, kContrast, kHue, kSaturation, kSharpness, kVolume, kMute, kDefault};
    static constexpr std::array<int32_t, 4> kRawControls{kRawCommand, kRawData, kRawSet, kRawGet};
    static constexpr std::array<int32_t, 5> kFormatControls{kResolutionSet, kResolutionList, kYuy2,
                                                            kMjpeg, kNv12};
    // The format radio buttons by family code (0 YUY2, 1 MJPEG, 2 NV12).
    static constexpr std::array<int32_t, 3> kFormatRadios{kYuy2, kMjpeg, kNv12};

    // Each scroll bar with its value label and the register it sets.
    struct Bar {
        int32_t id;
        int32_t valueLabel;
        uint8_t reg;
    };
    static constexpr std::array<Bar, 6> kBars{{
        {kBrightness, kBrightnessValue, Reg::Brightness},
        {kContrast, kContrastValue, Reg::Contrast},
        {kHue, kHueValue, Reg::Hue},
        {kSaturation, kSaturationValue, Reg::Saturation},
        {kSharpness, kSharpnessValue, Reg::Sharpness},
        {kVolume, kVolumeValue, Reg::Volume},
    }};

    // The status labels in their refresh order, each with its field.
    struct StatusLabel {
        int32_t id;
        BoxStatus::Field field;
    };
    static constexpr std::array<StatusLabel, 7> kStatusLabels{{
        {kDdcVoltage, BoxStatus::DdcVoltage},
        {kHpdVoltage, BoxStatus::HpdVoltage},
        {kFirmwareVersion, BoxStatus::FirmwareVersion},
        {kOsMode, BoxStatus::OsMode},
        {kSourceTiming, BoxStatus::SourceTiming},
        {kAudioSampleRate, BoxStatus::AudioSampleRate},
        {kAudioFormatType, BoxStatus::AudioFormatType},
    }};

    using T = IODialogTexts;
    using K = IOControlKind;
    static constexpr std::array<IOControlSpec, 46> kControls{{
        {kYuy2, K::Radio, T::kYuy2, 15, 9, 33, 10},
        {kMjpeg, K::Radio, T::kMjpeg, 55, 9, 37, 10},
        {kNv12, K::HiddenRadio, T::kNv12, 98, 9, 33, 10},
        {kResolutionList, K::DropList, {}, 12, 24, 101, 219},
        {kResolutionSet, K::Button, T::kSet, 122, 23, 50, 14},
        {-1, K::Label, T::kBrightness, 13, 43, 34, 8},
        {kBrightness, K::ScrollBar, {}, 60, 43, 81, 11},
        {kBrightnessValue, K::Label, T::kInitialValue, 143, 43, 13, 8},
        {-1, K::Label, T::kContrast, 13, 61, 29, 8},
        {kContrast, K::ScrollBar, {}, 60, 61, 81, 11},
        {kContrastValue, K::Label, T::kInitialValue, 143, 61, 13, 8},
        {-1, K::Label, T::kHue, 13, 79, 14, 8},
        {kHue, K::ScrollBar, {}, 60, 79, 81, 11},
        {kHueValue, K::Label, T::kInitialValue, 143, 79, 13, 8},
        {-1, K::Label, T::kSaturation, 13, 97, 34, 8},
        {kSaturation, K::ScrollBar, {}, 60, 97, 81, 11},
        {kSaturationValue, K::Label, T::kInitialValue, 143, 97, 13, 8},
        {-1, K::Label, T::kSharpness, 13, 116, 34, 8},
        {kSharpness, K::ScrollBar, {}, 60, 116, 81, 11},
        {kSharpnessValue, K::Label, T::kInitialValue, 143, 116, 13, 8},
        {-1, K::Label, T::kVolume, 13, 134, 24, 8},
        {kVolume, K::ScrollBar, {}, 60, 134, 81, 11},
        {kVolumeValue, K::Label, T::kInitialValue, 143, 134, 33, 8},
        {kMute, K::CheckBox, T::kMute, 13, 152, 32, 10},
        {kDefault, K::Button, T::kDefault, 66, 149, 50, 14},
        {-1, K::GroupBox, {}, 7, 163, 169, 46},
        {-1, K::Label, T::kCommand, 14, 173, 32, 8},
        {-1, K::Label, T::kData, 72, 173, 16, 8},
        {kRawCommand, K::Edit, {}, 14, 185, 40, 14},
        {kRawData, K::Edit, {}, 72, 185, 40, 14},
        {kRawSet, K::Button, T::kSet, 122, 171, 50, 14},
        {kRawGet, K::Button, T::kGet, 122, 190, 50, 14},
        {-1, K::Label, BoxStatus::kFields[BoxStatus::OsMode].label, 14, 213, 75, 8},
        {kOsMode, K::Label, kTextUnknow, 102, 213, 74, 8},
        {-1, K::Label, BoxStatus::kFields[BoxStatus::SourceTiming].label, 14, 223, 75, 8},
        {kSourceTiming, K::Label, kTextUnknow, 102, 223, 74, 8},
        {-1, K::Label, BoxStatus::kFields[BoxStatus::DdcVoltage].label, 14, 243, 75, 8},
        {kDdcVoltage, K::Label, T::kInitialMillivolts, 102, 243, 74, 8},
        {-1, K::Label, BoxStatus::kFields[BoxStatus::HpdVoltage].label, 14, 254, 75, 8},
        {kHpdVoltage, K::Label, T::kInitialMillivolts, 102, 254, 74, 8},
        {-1, K::Label, BoxStatus::kFields[BoxStatus::AudioFormatType].label, 14, 265, 75, 8},
        {kAudioFormatType, K::Label, kTextUnknow, 102, 265, 74, 8},
        {-1, K::Label, BoxStatus::kFields[BoxStatus::AudioSampleRate].label, 14, 275, 75, 8},
        {kAudioSampleRate, K::Label, kTextUnknow, 102, 275, 74, 8},
        {-1, K::Label, BoxStatus::kFields[BoxStatus::FirmwareVersion].label, 14, 286, 75, 8},
        {kFirmwareVersion, K::Label, kTextUnknow, 102, 286, 74, 8},
    }};
};

}  // namespace tovrel::device::ui
