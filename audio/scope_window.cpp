#include "audio/scope_window.h"

#include <algorithm>

namespace tovrel::audio {

ScopeWindow::Span ScopeWindow::span(const std::vector<ScopePoint>& left, int32_t writeIndex,
                                    int32_t scroll, int32_t visible, bool trigger, int32_t width) {
    Span s;
    const int32_t length = static_cast<int32_t>(left.size());
    if (length <= 0 || visible <= 0) return s;

    const int64_t e = int64_t{writeIndex} - scroll;
    int64_t end = e - 1 < 0 ? (length - 1) + e : e - 1;
    if (end > length - 1 || end < 0) end = 0;
    s.end = static_cast<int32_t>(end);

    if (trigger) {
        const int32_t from = std::max(s.end, 0);
        int32_t prev = left[static_cast<size_t>(from)].y;
        int32_t i = from;
        s.end = from;
        for (int32_t step = 0; step < visible; ++step) {
            i = i == 0 ? length - 1 : i - 1;
            const int32_t y = left[static_cast<size_t>(i)].y;
            if (y < 0 && prev >= 0) {
                s.end = i;
                break;
            }
            prev = y;
        }
    }

    s.start = s.end - visible;
    s.lag = writeIndex - s.end + (s.end > writeIndex ? length : 0);
    if (s.start < 0) {
        const float split = static_cast<float>(-s.start - 1) * static_cast<float>(width) /
                            static_cast<float>(visible);
        const int32_t m = static_cast<int32_t>(split);
        s.ranges[0] = {length + s.start, length - 1, 0, m};
        s.ranges[1] = {0, s.end, m, width};
        s.rangeCount = 2;
    } else {
        s.ranges[0] = {s.start, s.end, 0, width};
        s.rangeCount = 1;
    }
    return s;
}

ScopeWindow::AutoScroll ScopeWindow::autoScroll(int32_t t, int32_t length, bool freeze,
                                                int32_t scroll) {
    AutoScroll a;
    a.scroll = scroll;
    if (t >= 1000 || freeze || length <= 0) return a;
    const int64_t l = length;
    int64_t b = (l - (l * t) / 1000) / 2;
    // A block that comes late (t below 0) would carry the shown end past the newest entry into
    // the oldest ones; the shown end waits at the newest entry instead, the trackbar's end.
    b = std::clamp<int64_t>(b, 0, (l - 1) / 2);
    a.active = true;
    a.selectionMin = static_cast<int32_t>(b);
    a.selectionMax = static_cast<int32_t>(b + l / 100);
    a.scroll = scrollForPosition(length, static_cast<int32_t>(b));
    return a;
}

int32_t ScopeWindow::lagMs(int32_t lag, int32_t rate) {
    if (rate <= 0) return 0;
    return static_cast<int32_t>(int64_t{lag} * 1000 / rate);
}

int32_t ScopeWindow::startTimeMs(int32_t endMs, int32_t visible, int32_t rate) {
    if (rate <= 0) return endMs;
    return static_cast<int32_t>(endMs - int64_t{visible} * 1000 / rate);
}

}  // namespace tovrel::audio
