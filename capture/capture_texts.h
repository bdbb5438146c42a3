#pragma once

#include <string_view>

namespace tovrel::capture {

// The capture pipeline's own texts, all for the debug output.
struct CaptureTexts {
    static constexpr std::string_view kTypeChange = "Type change";
    static constexpr std::string_view kEndOfInput = "End of input file.";
    static constexpr std::string_view kVideoNoSample = "Video No sample";
    static constexpr std::string_view kEvent = "Event";
    static constexpr std::string_view kAudioNoSample = "Audio No sample";
    static constexpr std::string_view kAudioTypeChange =
        "Type change - not supported by WAVE file format.";
};

}  // namespace tovrel::capture
