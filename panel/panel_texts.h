#pragma once

#include <string_view>

namespace tovrel::panel {

// The panel's own texts, each written once here.
inline constexpr std::string_view kLogLineIn = "Line-In";
inline constexpr std::string_view kLogHdmi = "HDMI";
inline constexpr const char* kValueFormat = "%d";
inline constexpr const char* kVolumeFormat = "%.1fdB";
inline constexpr std::string_view kModeSwitched = " The box was switched to the new mode.";
inline constexpr std::string_view kModeNotSwitched = " The box's mode was not switched.";

}  // namespace tovrel::panel
