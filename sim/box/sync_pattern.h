#pragma once

#include <atomic>
#include <cstdint>

namespace tovrel::sim {

// The box's sync pattern: once a second of the box's clock the picture is one full white frame
// and the sound carries a short click that starts at that frame's own instant, so that a
// recording shows by how much its sound and picture are apart. Both devices of one box read the
// same object; the video device tells it the rate of the mode it runs, which the sound needs to
// know where the flash falls (59.94 frames a second do not meet every whole second).
//
// The box's clock is the system's monotonic clock in real time, the count of released samples
// when stepped; its frames are numbered from its zero (frame k begins at k / rate) and times
// here are 100 ns on it. Any thread.
class SyncPattern {
  public:
    static constexpr int64_t kSecond100ns = 10'000'000;
    // A Hann-shaped burst of a 4 kHz tone: short enough to read as a click, smooth enough that
    // an audio encoder keeps it where it was.
    static constexpr uint32_t kClickMicroseconds = 2000;
    static constexpr double kClickHz = 4000.0;
    static constexpr double kClickAmplitude = 0.7;  // of full scale
    // The flash's luma and chroma: white of the video range.
    static constexpr uint8_t kWhiteLuma = 235;
    static constexpr uint8_t kWhiteChroma = 128;

    explicit SyncPattern(bool enabled = false) : enabled_(enabled) {}

    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool enabled() const { return enabled_; }

    // The running video mode's rate in frames a second; none yet (0) puts the clicks on whole
    // seconds.
    void setVideoRate(uint32_t numerator, uint32_t denominator);
    uint32_t videoRateNumerator() const { return static_cast<uint32_t>(videoRate_ >> 32); }
    uint32_t videoRateDenominator() const { return static_cast<uint32_t>(videoRate_); }

    // Whether frame `frame` of the box's clock at the rate is the white one: the first frame at
    // or after a whole second.
    static bool flashes(uint64_t frame, uint32_t numerator, uint32_t denominator);
    // The box time of the flash of second `second`, 100 ns (rounded down).
    static int64_t flashTime(int64_t second, uint32_t numerator, uint32_t denominator);
    // The click's value (−1 … 1 of full scale) for an audio frame `frame` frames into the box
    // clock at `rate`; 0 outside the clicks.
    double clickAt(uint64_t frame, uint32_t rate) const;

  private:
    std::atomic<bool> enabled_;
    std::atomic<uint64_t> videoRate_{1};  // numerator << 32 | denominator
};

}  // namespace tovrel::sim
