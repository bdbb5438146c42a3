#pragma once

#include <cstddef>
#include <string_view>

namespace tovrel::device {

// Every text of the register transports and the status decoders, in one place.

inline constexpr std::string_view kTextUnknow = "Unknow";
inline constexpr std::string_view kTextNoDevice = "No Device";
inline constexpr std::string_view kTextMacOsMode = "MacOS Mode";
inline constexpr std::string_view kTextWindowsMode = "Widnows Mode";
inline constexpr const char* kMillivoltsFormat = "%d mV";
inline constexpr const char* kFirmwareRawFormat = "%d.%d.%d.%d";
inline constexpr std::string_view kFirmwarePrefix = "2.";

// The control panel's transport messages (standard output, never shown to the user).
inline constexpr std::string_view kMsgRead1Failed = "Read1 Failed";
inline constexpr std::string_view kMsgRead2Failed = "Read2 Failed";
inline constexpr std::string_view kMsgRead3Failed = "Read3 Failed";
inline constexpr std::string_view kMsgWrite1Failed = "Write1 Failed";
inline constexpr std::string_view kMsgWrite2Failed = "Write2 Failed";
inline constexpr std::string_view kMsgWrite3Failed = "Write3 Failed";
inline constexpr std::string_view kMsgLongFailed = "Long Failed";
// The bus could not be opened (no device list); a box with the ids could not be opened.
inline constexpr std::string_view kMsgCreateServiceFailed = "Failed to create service";
inline constexpr std::string_view kMsgGetInterfaceFailed = "Failed to get interface";

// The named system mutex that serialises register work between the Settings window, the
// recording notices and any other program on the box.
inline constexpr const char* kRegisterLockName = "Norvik";

// Width of a status text in the full program's Settings window.
inline constexpr size_t kStatusTextCapacity = 100;

}  // namespace tovrel::device
