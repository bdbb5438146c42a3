#pragma once

#include <array>
#include <string_view>

namespace tovrel::capture {

// How the box's capture devices are told apart from every other device, by friendly name.
// Case-sensitive. Audio names are searched for the words; video names must match whole.

// Audio words that make the device the candidate and mark a register-capable box.
inline constexpr std::array<std::string_view, 3> kRegisterCapableAudioWords{"Ambrix", "Norvik",
                                                                            "QUORVA PX40"};
// Tested again after a register-capable match: the PX40 model.
inline constexpr std::string_view kPx40AudioWord = "QUORVA PX40";
// Audio words that make the device the candidate and mark the USB 3.0 bridge.
inline constexpr std::array<std::string_view, 2> kUsb3BridgeAudioWords{"Sorvane", "QUORVA PX50h"};

inline constexpr std::array<std::string_view, 5> kBoxVideoNames{
    "Ambrix USB Video Device", "Norvik USB Video Device",      "QUORVA PX40 Video",
    "QUORVA PX50h Video",      "Sorvane USB 3.0 Video Bridge",
};

}  // namespace tovrel::capture
