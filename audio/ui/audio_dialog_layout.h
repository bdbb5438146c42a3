#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "audio/analyzer_texts.h"

namespace tovrel::audio::ui {

// The analyzer window's layout in dialog units (a quarter of the dialog font's average character
// width, an eighth of its height), its size and every control. Identifier -1: static texts and
// group boxes that nothing addresses.
enum class ControlKind {
    SunkenLabel,   // static, centred, sunken
    CentredLabel,  // static, centred
    Label,         // static
    GroupBox,
    VerticalSlider,  // no ticks, minimum at the top
    PositionSlider,  // horizontal, with a selection range
    ImagePane,       // black frame holding a pane image
    CheckBox,
};

struct ControlSpec {
    int32_t id;
    ControlKind kind;
    std::string_view text;
    int32_t x, y, w, h;
};

struct AudioDialogLayout {
    // Control identifiers the window addresses.
    static constexpr int32_t kLeftGain = 1001;
    static constexpr int32_t kLeftGainLabel = 1002;
    static constexpr int32_t kLeftOffset = 1003;
    static constexpr int32_t kTimeBaseLabel = 1004;
    static constexpr int32_t kRightGain = 1006;
    static constexpr int32_t kRightGainLabel = 1007;
    static constexpr int32_t kRightOffset = 1008;
    static constexpr int32_t kLeftOffsetLabel = 1009;
    static constexpr int32_t kEndTime = 1011;
    static constexpr int32_t kPosition = 1012;
    static constexpr int32_t kFreeze = 1013;
    static constexpr int32_t kTimeBase = 1014;
    static constexpr int32_t kRightOffsetLabel = 1015;
    static constexpr int32_t kStartTime = 1016;
    static constexpr int32_t kDelta = 1017;
    static constexpr int32_t kScopePane = 1019;
    static constexpr int32_t kTrigger = 1022;
    static constexpr int32_t kFormat = 1023;
    static constexpr int32_t kBufferSize = 1024;
    static constexpr int32_t kSpectrumPane = 1025;

    static constexpr int32_t kWidth = 597;
    static constexpr int32_t kHeight = 225;
    static constexpr int kFontPoints = 8;
    // Dialog base units of the 8-point dialog font at 96 dots per inch, in pixels: one dialog
    // unit is 6/4 pixels across and 13/8 down.
    static constexpr int32_t kBaseUnitX = 6;
    static constexpr int32_t kBaseUnitY = 13;

    // Dialog units to pixels, rounded as the dialog manager rounds each edge.
    static constexpr int32_t pixelsX(int32_t units) { return mulDiv(units, kBaseUnitX, 4); }
    static constexpr int32_t pixelsY(int32_t units) { return mulDiv(units, kBaseUnitY, 8); }
    static constexpr int32_t mulDiv(int32_t value, int32_t numerator, int32_t denominator) {
        const int64_t p = int64_t{value} * numerator;
        const int64_t half = denominator / 2;
        return static_cast<int32_t>(p >= 0 ? (p + half) / denominator
                                           : -((-p + half) / denominator));
    }

    using T = AnalyzerTexts;
    using K = ControlKind;
    static constexpr std::array<ControlSpec, 33> kControls{{
        {-1, K::SunkenLabel, T::kGainOffsetHeading, 7, 7, 38, 10},
        {-1, K::GroupBox, T::kLeftGroup, 6, 15, 40, 90},
        {kLeftGain, K::VerticalSlider, {}, 12, 24, 12, 68},
        {kLeftOffset, K::VerticalSlider, {}, 30, 24, 12, 68},
        {kLeftGainLabel, K::SunkenLabel, T::kGainLabel, 10, 93, 16, 10},
        {kLeftOffsetLabel, K::SunkenLabel, T::kOffsetLabel, 26, 93, 16, 10},
        {-1, K::GroupBox, T::kRightGroup, 6, 108, 40, 96},
        {kRightGain, K::VerticalSlider, {}, 12, 120, 12, 68},
        {kRightOffset, K::VerticalSlider, {}, 30, 120, 12, 68},
        {kRightGainLabel, K::SunkenLabel, T::kGainLabel, 10, 189, 16, 10},
        {kRightOffsetLabel, K::SunkenLabel, T::kOffsetLabel, 26, 189, 16, 10},
        {kScopePane, K::ImagePane, {}, 47, 4, 208, 200},
        {kStartTime, K::SunkenLabel, T::kStartTime, 7, 209, 38, 10},
        {kPosition, K::PositionSlider, {}, 46, 206, 210, 16},
        {kEndTime, K::SunkenLabel, T::kEndTime, 261, 209, 42, 10},
        {-1, K::GroupBox, T::kTimebaseGroup, 257, 2, 50, 116},
        {kFreeze, K::CheckBox, T::kFreeze, 263, 12, 37, 10},
        {kTrigger, K::CheckBox, T::kTrigger, 263, 22, 39, 10},
        {kTimeBase, K::VerticalSlider, {}, 275, 34, 17, 82},
        {kTimeBaseLabel, K::SunkenLabel, T::kTimePerDiv, 259, 121, 46, 10},
        {-1, K::GroupBox, T::kFormatGroup, 257, 137, 50, 20},
        {kFormat, K::CentredLabel, {}, 260, 145, 44, 10},
        {-1, K::GroupBox, T::kBufferSizeGroup, 257, 161, 50, 20},
        {kBufferSize, K::CentredLabel, {}, 263, 169, 40, 10},
        {-1, K::GroupBox, T::kDeltaGroup, 257, 183, 50, 20},
        {kDelta, K::CentredLabel, {}, 261, 191, 42, 10},
        {kSpectrumPane, K::ImagePane, {}, 309, 4, 280, 200},
        {-1, K::Label, T::kMark1k, 322, 206, 8, 8},
        {-1, K::Label, T::kMark5k, 378, 206, 8, 8},
        {-1, K::Label, T::kMark10k, 446, 206, 10, 8},
        {-1, K::Label, T::kMark15k, 516, 206, 10, 8},
        {-1, K::Label, T::kMark20k, 584, 206, 10, 8},
        {-1, K::Label, T::kKiloHertz, 444, 214, 13, 8},
    }};
};

}  // namespace tovrel::audio::ui
