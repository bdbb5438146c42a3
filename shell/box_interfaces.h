#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tovrel::shell {

// The capture interfaces of the supported boxes, as substrings of a device-interface name
// (case-sensitive), with the interfaceMask bit each sets on arrival. A box has arrived when both
// bits of its family are set; it is gone when its video interface is.
struct BoxInterfaces {
    static constexpr uint8_t kVideo = 0x01;
    static constexpr uint8_t kAudio = 0x02;
    static constexpr uint8_t kSecondVideo = 0x10;
    static constexpr uint8_t kSecondAudio = 0x20;
    static constexpr uint8_t kFirstFamily = kVideo | kAudio;
    static constexpr uint8_t kSecondFamily = kSecondVideo | kSecondAudio;

    struct Interface {
        std::string_view text;
        uint8_t bit;
    };

    static constexpr std::array<Interface, 12> kInterfaces{{
        {"VID_6A21&PID_1C07&MI_00", kVideo},
        {"VID_7B30&PID_4E11&MI_00", kVideo},
        {"VID_7B30&PID_4E12&MI_00", kVideo},
        {"VID_5D42&PID_0A60&MI_00", kVideo},
        {"VID_5D42&PID_0A50&MI_00", kVideo},
        {"VID_6A21&PID_1C07&MI_02", kAudio},
        {"VID_7B30&PID_4E11&MI_02", kAudio},
        {"VID_7B30&PID_4E12&MI_02", kAudio},
        {"VID_5D42&PID_0A60&MI_02", kAudio},
        {"VID_5D42&PID_0A50&MI_02", kAudio},
        {"VID_3C19&PID_0B8F&MI_00", kSecondVideo},
        {"VID_3C19&PID_0B8F&MI_03", kSecondAudio},
    }};

    // The bits among `bits` whose texts the name contains.
    static constexpr uint8_t bitsIn(std::string_view name, uint8_t bits) {
        uint8_t found = 0;
        for (const Interface& interface : kInterfaces) {
            if ((interface.bit & bits) != 0 && name.find(interface.text) != std::string_view::npos)
                found |= interface.bit;
        }
        return found;
    }
};

}  // namespace tovrel::shell
