#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tovrel::shell {

// The window caption: program name, capture state and video mode, "%s-%s-%s".
// Pure functions; any thread.
class Caption {
  public:
    static constexpr size_t kMaxTextUnits = 100;

    // "1920x1080p@59.94": the rate with two decimals and a decimal point whatever the locale;
    // width and height are unsigned in the session and printed as signed.
    static std::string modeText(uint32_t width, uint32_t height, double frameRate);
    static std::string compose(std::string_view programName, std::string_view stateText,
                               std::string_view formatText);
    // "Capture(%02d:%02d:%02d)" or "Capture Screen(...)" for the elapsed milliseconds; hours are
    // not limited to two digits.
    static std::string elapsedState(bool screen, uint64_t elapsedMs);
    // Cuts a text to what a 100-unit member holds (99 units and the terminator), never inside a
    // UTF-8 sequence.
    static std::string limit(std::string_view text);
};

}  // namespace tovrel::shell
