#pragma once

#include <cstdint>
#include <string>

namespace tovrel::platform {

// A 128-bit identifier with the platform's layout, so that attribute keys, major types and
// subtypes keep their familiar values and names. Plain value; any thread.
struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};

    friend constexpr bool operator==(const Guid& a, const Guid& b) {
        if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
        for (int i = 0; i < 8; ++i) {
            if (a.data4[i] != b.data4[i]) return false;
        }
        return true;
    }
    friend constexpr bool operator!=(const Guid& a, const Guid& b) { return !(a == b); }

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", for diagnostics.
    std::string toString() const;
};

// The platform builds the subtypes of uncompressed and common compressed formats from their
// FourCC: {fourcc-0000-0010-8000-00AA00389B71}.
constexpr Guid fourccGuid(char a, char b, char c, char d) {
    return Guid{static_cast<uint32_t>(static_cast<uint8_t>(a)) |
                    (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
                    (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
                    (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24),
                0x0000,
                0x0010,
                {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

constexpr Guid numberGuid(uint32_t value) {
    return Guid{value, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

}  // namespace tovrel::platform
