#pragma once

#include <cstdint>

namespace tovrel::platform {

// The slots of a constant frame rate, from the first frame on: each frame goes to the slot
// nearest its time; a second frame for a slot already taken is dropped; slots a lost frame left
// empty are filled with the frame before (at most `maxRepeats` after it: a longer gap stays a
// gap rather than flooding the encoder). So a file plays evenly whatever moment its frames were
// stamped within their period. Counts what it wrote, dropped and repeated.
// One thread (the writer's encoder thread).
class FrameGrid {
  public:
    struct Placement {
        bool dropped = false;
        int64_t slot = 0;
        // Slots [repeatFirst, repeatFirst + repeatCount) get the previous frame again, before
        // this frame goes to `slot`.
        int64_t repeatFirst = 0;
        int64_t repeatCount = 0;
    };

    // The rate as a ratio (60000/1001 for 59.94); 0/x is taken as 1/1.
    FrameGrid(uint32_t rateNumerator, uint32_t rateDenominator, int64_t maxRepeats);

    Placement place(int64_t time100ns);

    bool started() const { return started_; }
    // The time of slot 0: that of the first frame.
    int64_t originTime() const { return origin100ns_; }
    uint64_t written() const { return written_; }
    uint64_t dropped() const { return dropped_; }
    uint64_t repeated() const { return repeated_; }

  private:
    const int64_t numerator_;
    const int64_t denominator_;
    const int64_t maxRepeats_;
    bool started_ = false;
    int64_t origin100ns_ = 0;
    int64_t lastSlot_ = 0;
    uint64_t written_ = 0;
    uint64_t dropped_ = 0;
    uint64_t repeated_ = 0;
};

}  // namespace tovrel::platform
