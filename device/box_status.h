#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/register_reader.h"

namespace tovrel::device {

// One refresh of the box's status texts, read in the Settings window's order (DDC, HPD,
// firmware, OS mode, source timing, sample rate, format type), plus the capture resolution that
// the control panel shows. Plain record; read on the caller's thread with the box open.
struct BoxStatus {
    enum Field : size_t {
        OsMode,
        SourceTiming,
        DdcVoltage,
        HpdVoltage,
        AudioFormatType,
        AudioSampleRate,
        FirmwareVersion,
        CaptureResolution,
        kFieldCount,
    };

    struct FieldInfo {
        Field field;
        std::string_view key;    // machine-readable name (tovrelctl --json)
        std::string_view label;  // the Settings window's label
    };

    // In the Settings window's top-to-bottom order.
    static constexpr std::array<FieldInfo, kFieldCount> kFields{{
        {OsMode, "os_mode", "Current OS Mode:"},
        {SourceTiming, "source_resolution", "Source Resolution:"},
        {DdcVoltage, "ddc_voltage", "DDC Voltage Level:"},
        {HpdVoltage, "hpd_voltage", "HPD Voltage Level:"},
        {AudioFormatType, "audio_format_type", "Audio Format Type:"},
        {AudioSampleRate, "audio_sample_rate", "Audio Sample Rate:"},
        {FirmwareVersion, "firmware_version", "Firmware Version:"},
        {CaptureResolution, "capture_resolution", "Capture Resolution:"},
    }};

    std::array<std::string, kFieldCount> texts;

    const std::string& operator[](Field field) const { return texts[field]; }

    static BoxStatus read(RegisterReader& reader, int32_t deviceType);
};

}  // namespace tovrel::device
