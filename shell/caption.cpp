#include "shell/caption.h"

#include <cstdio>

#include "platform/system/number_text.h"
#include "platform/system/text_units.h"
#include "shell/shell_texts.h"

namespace tovrel::shell {
namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    int n = std::snprintf(nullptr, 0, pattern, args...);
    if (n <= 0) return std::string();
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), pattern, args...);
    text.resize(static_cast<size_t>(n));
    return text;
}

}  // namespace

std::string Caption::modeText(uint32_t width, uint32_t height, double frameRate) {
    const std::string rate = platform::NumberText::fixed(frameRate, ShellTexts::kModeRateDecimals);
    return format(ShellTexts::kModeFormat, static_cast<int>(width), static_cast<int>(height),
                  rate.c_str());
}

std::string Caption::compose(std::string_view programName, std::string_view stateText,
                             std::string_view formatText) {
    return format(ShellTexts::kCaptionFormat, std::string(programName).c_str(),
                  std::string(stateText).c_str(), std::string(formatText).c_str());
}

std::string Caption::elapsedState(bool screen, uint64_t elapsedMs) {
    const uint64_t s = elapsedMs / 1000;
    const uint64_t h = s / 3600;
    const uint64_t m = (s - 3600 * h) / 60;
    const uint64_t sec = s - 3600 * h - 60 * m;
    return format(
        screen ? ShellTexts::kStateCaptureScreenElapsed : ShellTexts::kStateCaptureElapsed,
        static_cast<int>(h), static_cast<int>(m), static_cast<int>(sec));
}

std::string Caption::limit(std::string_view text) {
    size_t units = 0;
    size_t end = 0;
    while (end < text.size()) {
        size_t next = end + 1;
        while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80)
            ++next;
        size_t add = platform::utf16Units(text.substr(end, next - end));
        if (units + add > kMaxTextUnits - 1) break;
        units += add;
        end = next;
    }
    return std::string(text.substr(0, end));
}

}  // namespace tovrel::shell
