#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "audio/scope_history.h"

namespace tovrel::audio {

// Which part of the one-second history the oscilloscope shows: the nominal end behind the write
// index by `scroll`, moved back to the last negative sample before the most recent rising zero
// crossing of the left channel when the trigger is on, and the n samples before it, wrapping
// around the end of the history. Also the automatic scroll that walks the shown end through the
// last block in real time, and the time read-outs.
// Pure functions; any thread.
class ScopeWindow {
  public:
    // One stretch of history entries [first, last] drawn into the pixel columns [x0, x1].
    struct Range {
        int32_t first;
        int32_t last;
        int32_t x0;
        int32_t x1;
    };

    struct Span {
        int32_t end = 0;    // last entry shown
        int32_t start = 0;  // end - n; negative when the window wraps
        int32_t lag = 0;    // entries from end forward to the write index
        int rangeCount = 0;
        std::array<Range, 2> ranges{};
    };

    // `visible` is n = history length / divisor; `width` the pane's pixel width.
    static Span span(const std::vector<ScopePoint>& left, int32_t writeIndex, int32_t scroll,
                     int32_t visible, bool trigger, int32_t width);

    // The automatic scroll for t = 1000 - milliseconds since the last block.
    struct AutoScroll {
        bool active = false;       // off: the selection is cleared and scroll stays
        int32_t selectionMin = 0;  // the position trackbar's selection range
        int32_t selectionMax = 0;
        int32_t scroll = 0;
    };
    static AutoScroll autoScroll(int32_t t, int32_t length, bool freeze, int32_t scroll);

    // The position trackbar's value p as a scroll: two entries per step.
    static int32_t scrollForPosition(int32_t length, int32_t position) {
        return ((length - 1) / 2 - position) * 2;
    }

    static int32_t lagMs(int32_t lag, int32_t rate);
    // End and start time (ms) of the shown window.
    static int32_t endTimeMs(int32_t timeValue, int32_t lagMs) { return timeValue - lagMs; }
    static int32_t startTimeMs(int32_t endMs, int32_t visible, int32_t rate);
};

}  // namespace tovrel::audio
