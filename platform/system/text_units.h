#pragma once

#include <cstddef>
#include <string_view>

namespace tovrel::platform {

// UTF-16 units of a UTF-8 text (a 4-byte sequence counts two), for the limits that the platform
// states in UTF-16 units. Any thread.
inline size_t utf16Units(std::string_view utf8) {
    size_t units = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) == 0x80) continue;  // continuation byte
        units += (c >= 0xF0) ? 2 : 1;
    }
    return units;
}

}  // namespace tovrel::platform
