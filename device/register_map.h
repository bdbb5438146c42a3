#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tovrel::device {

// The box's microcontroller, one-byte registers behind the bridge's I2C master. Shared by every
// program; free of platform code. Constants only, usable from any thread.

inline constexpr uint8_t kMicrocontrollerSlave = 0xB4;
// The bridge answers its own two registers on slave byte 0 through the same read.
inline constexpr uint8_t kBridgeSlave = 0x00;

// Registers that are read, by the names the rest of the system uses.
struct Reg {
    enum : uint8_t {
        Command = 0,
        Brightness = 6,
        Contrast = 7,
        Hue = 8,
        Saturation = 9,
        SrcTiming = 11,
        CapRes = 12,
        AudioInput = 15,
        DdcVoltageLo = 16,
        DdcVoltageHi = 17,
        HpdVoltageLo = 18,
        HpdVoltageHi = 19,
        FwVersion = 21,
        Sharpness = 22,
        AudRate = 24,
        AudType = 25,
        Volume = 26,
        Mute = 27,
    };
};

// Bridge-side registers (slave byte 0); never written.
struct BridgeReg {
    enum : uint8_t {
        BridgeMode = 60,
        BridgeVersion = 92,
    };
};

// Commands: writing the number into register 0 makes the box carry out the command with the
// parameter found in the register of the same number.
struct Cmd {
    enum : uint8_t {
        RecordStop = 2,
        RecordStart = 3,
        Brightness = 6,
        Contrast = 7,
        Hue = 8,
        Saturation = 9,
        FwTarget = 12,
        AudioInput = 15,
        Sharpness = 22,
        Volume = 26,
        Mute = 27,
        Mode = 60,
    };
};

inline constexpr uint8_t kCommandIdle = 0xFF;
inline constexpr uint8_t kBridgeModeMac = 0x33;

inline constexpr uint8_t kAudioInputLineIn = 5;
inline constexpr uint8_t kAudioInputHdmi = 6;
inline constexpr uint8_t kRecordFlag = 1;
inline constexpr uint8_t kMuted = 1;
inline constexpr uint8_t kNotMuted = 0;
inline constexpr uint8_t kFwTargetWindows = 16;
inline constexpr uint8_t kFwTargetMac = 15;
inline constexpr uint8_t kModeApply = 1;  // after the defaults and after a firmware image
inline constexpr uint8_t kModeSwitchToMac = 15;
inline constexpr uint8_t kModeSwitchToWindows = 16;

inline constexpr uint8_t kDefaultPicture = 128;  // brightness, contrast, hue, saturation
inline constexpr uint8_t kDefaultSharpness = 154;
inline constexpr uint8_t kDefaultVolume = 219;  // 0.0 dB; each step is 0.5 dB

enum class Access : uint8_t { Read, ReadCommand };

struct RegisterInfo {
    uint8_t number;
    uint8_t slave;
    std::string_view name;
    Access access;     // ReadCommand: read as status and also written as a command parameter
    int defaultValue;  // -1: none (status register)
};

inline constexpr std::array<RegisterInfo, 20> kRegisterMap{{
    {Reg::Command, kMicrocontrollerSlave, "Command", Access::Read, kCommandIdle},
    {Reg::Brightness, kMicrocontrollerSlave, "Brightness", Access::ReadCommand, kDefaultPicture},
    {Reg::Contrast, kMicrocontrollerSlave, "Contrast", Access::ReadCommand, kDefaultPicture},
    {Reg::Hue, kMicrocontrollerSlave, "Hue", Access::ReadCommand, kDefaultPicture},
    {Reg::Saturation, kMicrocontrollerSlave, "Saturation", Access::ReadCommand, kDefaultPicture},
    {Reg::SrcTiming, kMicrocontrollerSlave, "SrcTiming", Access::Read, -1},
    {Reg::CapRes, kMicrocontrollerSlave, "CapRes", Access::Read, -1},
    {Reg::AudioInput, kMicrocontrollerSlave, "AudioInput", Access::ReadCommand, kAudioInputHdmi},
    {Reg::DdcVoltageLo, kMicrocontrollerSlave, "DdcVoltageLo", Access::Read, -1},
    {Reg::DdcVoltageHi, kMicrocontrollerSlave, "DdcVoltageHi", Access::Read, -1},
    {Reg::HpdVoltageLo, kMicrocontrollerSlave, "HpdVoltageLo", Access::Read, -1},
    {Reg::HpdVoltageHi, kMicrocontrollerSlave, "HpdVoltageHi", Access::Read, -1},
    {Reg::FwVersion, kMicrocontrollerSlave, "FwVersion", Access::Read, -1},
    {Reg::Sharpness, kMicrocontrollerSlave, "Sharpness", Access::ReadCommand, kDefaultSharpness},
    {Reg::AudRate, kMicrocontrollerSlave, "AudRate", Access::Read, -1},
    {Reg::AudType, kMicrocontrollerSlave, "AudType", Access::Read, -1},
    {Reg::Volume, kMicrocontrollerSlave, "Volume", Access::ReadCommand, kDefaultVolume},
    {Reg::Mute, kMicrocontrollerSlave, "Mute", Access::ReadCommand, kNotMuted},
    {BridgeReg::BridgeMode, kBridgeSlave, "BridgeMode", Access::Read, -1},
    {BridgeReg::BridgeVersion, kBridgeSlave, "BridgeVersion", Access::Read, -1},
}};

struct CommandInfo {
    uint8_t number;
    std::string_view name;
};

inline constexpr std::array<CommandInfo, 12> kCommandTable{{
    {Cmd::RecordStop, "RecordStop"},
    {Cmd::RecordStart, "RecordStart"},
    {Cmd::Brightness, "Brightness"},
    {Cmd::Contrast, "Contrast"},
    {Cmd::Hue, "Hue"},
    {Cmd::Saturation, "Saturation"},
    {Cmd::FwTarget, "FwTarget"},
    {Cmd::AudioInput, "AudioInput"},
    {Cmd::Sharpness, "Sharpness"},
    {Cmd::Volume, "Volume"},
    {Cmd::Mute, "Mute"},
    {Cmd::Mode, "Mode"},
}};

struct CodeText {
    uint8_t code;
    std::string_view text;
};

inline constexpr std::array<CodeText, 8> kAudRateNames{{
    {0, "32k"},
    {1, "44.1k"},
    {2, "48k"},
    {3, "88.2k"},
    {4, "96k"},
    {5, "176.4k"},
    {6, "192k"},
    {7, "768k"},
}};

inline constexpr std::array<CodeText, 3> kAudTypeNames{{
    {1, "NLPCM"},
    {3, "HBR"},
    {8, "LPCM"},
}};

// Indexed by SrcTiming.
inline constexpr std::array<std::string_view, 118> kTimingNames{{
    "640x350p@85",      "640x480p@59",     "640x480p@72",      "640x480p@75",     "640x480p@85",
    "720x400p@70",      "720x400p@85",     "720x480i@59",      "720x480i@60",     "720x480p@59",
    "720x480p@60",      "720x576i@50",     "720x576p@50",      "800x600p@56",     "800x600p@60",
    "800x600p@72",      "800x600p@75",     "800x600p@85",      "848x480p@60",     "1024x768p@60",
    "1024x768p@70",     "1024x768p@75",    "1024x768p@85",     "1152x864p@70g",   "1152x864p@70",
    "1152x864p@75",     "1152x864p@85g",   "1152x864p@85",     "1280x720p@23",    "1280x720p@24",
    "1280x720p@25",     "1280x720p@29",    "1280x720p@30",     "1280x720p@50",    "1280x720p@50d3",
    "1280x720p@59",     "1280x720p@59d3",  "1280x720p@60",     "1280x720p@60pc",  "1280x720p@60d3",
    "1280x720p@60cvt",  "1280x768p@60rb",  "1280x768p@60",     "1280x768p@75",    "1280x768p@85",
    "1280x800p@60rb",   "1280x800p@60",    "1280x800p@75",     "1280x800p@85",    "1280x960p@60",
    "1280x960p@85",     "1280x1024p@60",   "1280x1024p@60cvt", "1280x1024p@75",   "1280x1024p@85",
    "1360x768p@60",     "1366x768p@60rb",  "1366x768p@60",     "1400x1050p@60rb", "1400x1050p@60",
    "1440x900p@60rb",   "1440x900p@60",    "1440x900p@75",     "1600x900p@60rb",  "1600x1200p@50",
    "1600x1200p@60",    "1600x1200p@65",   "1600x1200p@70",    "1600x1200p@75",   "1600x1200p@85",
    "1680x1050p@60rb",  "1680x1050p@60",   "1920x1080p@23",    "1920x1080p@24",   "1920x1080p@24d3",
    "1920x1080p@25",    "1920x1080p@29",   "1920x1080p@30",    "1920x1080i@50",   "1920x1080p@50",
    "1920x1080i@59",    "1920x1080i@60",   "1920x1080p@59",    "1920x1080p@60",   "1920x1080p@60pc",
    "1920x1080p@60cvt", "1920x1200p@60rb", "2048x1080p@23",    "2048x1080p@24",   "2048x1080p@25",
    "2048x1080p@29",    "2048x1080p@30",   "2048x1080p@50",    "2048x1080p@59",   "2048x1080p@60",
    "2560x1600p@60rb",  "3840x2160p@23",   "3840x2160p@24",    "3840x2160p@25",   "3840x2160p@29",
    "3840x2160p@30",    "3840x2160p@50",   "3840x2160p@59",    "3840x2160p@60",   "3840x2160p@50y",
    "3840x2160p@59y",   "3840x2160p@60Y",  "4096x2160p@23",    "4096x2160p@24",   "4096x2160p@25",
    "4096x2160p@29",    "4096x2160p@30",   "4096x2160p@50",    "4096x2160p@59",   "4096x2160p@60",
    "4096x2160p@50y",   "4096x2160p@59y",  "4096x2160p@60y",
}};

// Indexed by CapRes; the gaps (0, 1, 4, 12, 13, 32 and up) have no entry.
inline constexpr std::array<CodeText, 27> kCapResNames{{
    {2, "720x480p@30"},    {3, "720x480p@60"},    {5, "720x576p@25"},    {6, "720x576p@50"},
    {7, "1280x720p@60"},   {8, "1280x720p@50"},   {9, "1280x720p@30"},   {10, "1280x720p@25"},
    {11, "1280x720p@24"},  {14, "1920x1080p@25"}, {15, "1920x1080p@30"}, {16, "1920x1080p@60"},
    {17, "1920x1080p@50"}, {18, "1920x1080p@24"}, {19, "640x480p@60"},   {20, "800x600p@60"},
    {21, "1024x768p@60"},  {22, "1152x864p@60"},  {23, "1280x768p@60"},  {24, "1280x800p@60"},
    {25, "1280x960p@60"},  {26, "1280x1024p@60"}, {27, "1360x768p@60"},  {28, "1440x900p@60"},
    {29, "1600x900p@60"},  {30, "1680x1050p@60"}, {31, "1600x1200p@60"},
}};

}  // namespace tovrel::device
