#include "audio/analyzer_readouts.h"

#include <charconv>

#include "audio/analyzer_tables.h"

namespace tovrel::audio {

std::string AnalyzerReadouts::integerText(int64_t value) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, r.ptr);
}

std::string AnalyzerReadouts::secondsText(int32_t ms) {
    const int64_t v = ms;
    const int64_t magnitude = v < 0 ? -v : v;
    std::string text = v < 0 ? "-" : "";
    text += integerText(magnitude / 1000);
    text += '.';
    const int64_t fraction = magnitude % 1000;
    if (fraction < 100) text += '0';
    if (fraction < 10) text += '0';
    text += integerText(fraction);
    return text;
}

std::string AnalyzerReadouts::formatText(int32_t channels, int32_t bits, int32_t rate) {
    const bool known = (channels == 1 || channels == 2) && (bits == 8 || bits == 16);
    if (!known) return {};
    for (const auto& row : kFormatPrefixTable) {
        if (row.channelsPlusBits == channels + bits) {
            return std::string(row.prefix) + integerText(rate);
        }
    }
    return {};
}

}  // namespace tovrel::audio
