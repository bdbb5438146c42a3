#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tovrel::device {

// Which of the box's two operating modes an image is built for. Constants only, any thread.
enum class FirmwareTarget : uint8_t { Windows, Mac };

struct FirmwareImageName {
    FirmwareTarget target;
    int32_t deviceType;
    std::string_view name;  // the image's name in the firmware folder, without ".bin"
};

inline constexpr std::string_view kFirmwareImageExtension = ".bin";

inline constexpr std::array<FirmwareImageName, 4> kFirmwareImageNames{{
    {FirmwareTarget::Windows, 0, "KOVA_ROM_FILE"},
    {FirmwareTarget::Windows, 1, "KOVA_ROM_FILE_QUORVA"},
    {FirmwareTarget::Mac, 0, "KOVA_ROM_FILE_MAC"},
    {FirmwareTarget::Mac, 1, "KOVA_ROM_FILE_MAC_QUORVA"},
}};

// The image for a box of `deviceType` in `target` mode; none for a box the panel does not know.
constexpr std::optional<std::string_view> firmwareImageName(FirmwareTarget target,
                                                            int32_t deviceType) {
    for (const auto& entry : kFirmwareImageNames) {
        if (entry.target == target && entry.deviceType == deviceType) return entry.name;
    }
    return std::nullopt;
}

}  // namespace tovrel::device
