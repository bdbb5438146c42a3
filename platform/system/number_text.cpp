#include "platform/system/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace tovrel::platform {

std::string NumberText::fixed(double value, int decimals) {
    decimals = std::clamp(decimals, 0, 100);
    // The largest double has 309 digits before the point; room for a sign, the point and the
    // decimals.
    std::array<char, 320 + 100> text;
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return std::string();
    return std::string(text.data(), result.ptr);
}

}  // namespace tovrel::platform
