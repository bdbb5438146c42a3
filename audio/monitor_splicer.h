#pragma once

#include <cstdint>
#include <vector>

#include "platform/audio/wave_format.h"

namespace tovrel::audio {

// Takes whole frames out of a block of frames on their way to the output device, where a
// listener is least likely to notice: inside a stretch of silence when the block has one, and
// otherwise, when allowed, by a short crossfade across a cut whose length is chosen so that the
// sound after the cut lines up with the sound before it (for a steady tone, a whole number of its
// periods, which leaves no trace at all). The block never gets a run of zeros it did not have.
// Works on the device's frame layout: unsigned 8-bit, signed 16-, 24- (packed or in 32-bit
// containers), 32-bit integer and 32- or 64-bit float samples.
// Used by the monitor thread only.
class MonitorSplicer {
  public:
    // Below this a sample counts as silent: about -60 dBFS.
    static constexpr double kQuietLevel = 1.0 / 1024;
    // The crossfade across a cut in sound: 5 ms at 48 kHz.
    static constexpr uint32_t kCrossfadeMs = 5;
    // A cut in sound takes at most this much at once, so that no single splice shortens a sound
    // noticeably.
    static constexpr uint32_t kMaxSpliceMs = 10;

    explicit MonitorSplicer(const platform::WaveFormatExtensible& format);

    // Whether frames of this layout can be spliced; when not, removeFrames never removes any.
    bool usable() const { return usable_; }

    // Removes up to `wanted` frames from the `frames` frames at `block` (in place; what follows
    // the cut moves up) and answers how many it removed. Inside silence it removes all it can up
    // to `wanted`; a crossfaded cut in sound is made only when `mayCutSound` is set and removes
    // between half of what is asked (or of kMaxSpliceMs) and all of it. 0 when the block offers
    // no good place.
    uint32_t removeFrames(uint8_t* block, uint32_t frames, uint32_t wanted, bool mayCutSound);

  private:
    enum class Kind { Unsigned8, Signed, Float, Unknown };
    double sample(const uint8_t* frame, uint32_t channel) const;
    void setSample(uint8_t* frame, uint32_t channel, double value) const;
    bool quiet(const uint8_t* frame) const;
    uint32_t cutInSilence(uint8_t* block, uint32_t frames, uint32_t wanted);
    uint32_t cutInSound(uint8_t* block, uint32_t frames, uint32_t wanted);

    Kind kind_ = Kind::Unknown;
    bool usable_ = false;
    uint32_t channels_ = 0;
    uint32_t containerBytes_ = 0;  // per sample
    uint32_t validBits_ = 0;
    uint32_t frameBytes_ = 0;
    uint32_t crossfadeFrames_ = 0;
    uint32_t maxSpliceFrames_ = 0;
    std::vector<double> before_, after_;  // the two sides of a candidate cut, all channels
};

}  // namespace tovrel::audio
