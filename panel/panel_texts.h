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

// Window captions.
inline constexpr const char* kWindowTitle = "TovrelPanel";
inline constexpr const char* kStatusCaption = "Status";
inline constexpr const char* kControlsCaption = "Picture and sound";
inline constexpr const char* kMuteCaption = "Mute";
inline constexpr const char* kDefaultCaption = "Default";
inline constexpr const char* kWindowsCaption = "Configure for Windows";
inline constexpr const char* kMacCaption = "Configure for macOS";
inline constexpr const char* kWaitForUpdate =
    "The firmware update is running: wait for it to finish before closing.";

}  // namespace tovrel::panel
