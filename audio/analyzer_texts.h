#pragma once

#include <string_view>

namespace tovrel::audio {

// The analyzer window's own texts, each written once here (the time-base, gain and format
// labels are in analyzer_tables.h).
struct AnalyzerTexts {
    static constexpr std::string_view kTitle = "Audio";
    static constexpr std::string_view kFontFamily = "MS Shell Dlg";

    static constexpr std::string_view kGainOffsetHeading = "Gain Offset";
    static constexpr std::string_view kLeftGroup = "Left";
    static constexpr std::string_view kRightGroup = "Right";
    static constexpr std::string_view kGainLabel = "G";
    static constexpr std::string_view kOffsetLabel = "O";
    static constexpr std::string_view kStartTime = "StartTime";
    static constexpr std::string_view kEndTime = "EndTime";
    static constexpr std::string_view kTimebaseGroup = "Timebase";
    static constexpr std::string_view kFreeze = "&Freeze";
    static constexpr std::string_view kTrigger = "&Trigger";
    static constexpr std::string_view kTimePerDiv = "Time/Div";
    static constexpr std::string_view kFormatGroup = "Format";
    static constexpr std::string_view kBufferSizeGroup = "Buffer Size";
    static constexpr std::string_view kDeltaGroup = "Delta";
    static constexpr std::string_view kMark1k = "1";
    static constexpr std::string_view kMark5k = "5";
    static constexpr std::string_view kMark10k = "10";
    static constexpr std::string_view kMark15k = "15";
    static constexpr std::string_view kMark20k = "20";
    static constexpr std::string_view kKiloHertz = "KHz";
};

}  // namespace tovrel::audio
