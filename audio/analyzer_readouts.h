#pragma once

#include <cstdint>
#include <string>

namespace tovrel::audio {

// The analyzer's read-out texts, in the same digits whatever the user's locale.
// Pure functions; any thread.
class AnalyzerReadouts {
  public:
    // "Buffer Size": the last block's bytes.
    static std::string integerText(int64_t value);
    // "Delta", "StartTime", "EndTime": milliseconds as seconds with three decimals ("1.005",
    // "-0.250"), so the digits after the point always mean milliseconds.
    static std::string secondsText(int32_t ms);
    // The Format box: "S-16-48000" and the like for the four formats, empty for any other.
    static std::string formatText(int32_t channels, int32_t bits, int32_t rate);
    // The offset label: the negated offset, signed.
    static std::string offsetText(int32_t offset) { return integerText(-int64_t{offset}); }
};

}  // namespace tovrel::audio
