#pragma once

#include <cstdint>
#include <vector>

#include "audio/monitor_format.h"
#include "platform/audio/wave_format.h"

namespace tovrel::audio {

// Turns frames as the monitor ring carries them (the capture format) into frames of the format
// the output device was initialised with, for when the two differ: 24-bit samples repacked into
// the 32-bit containers the device was told of, or a closest match the device chose instead
// (another sample type, channel count or rate). Channels map one to one; a mono source feeds
// every output channel, a mono output takes the mean of the first two; missing ones are silent.
// Rates are converted by linear interpolation, carrying position and the last frames from one
// call to the next. When the layouts are equal, direct() tells the caller to copy unchanged.
// Used by the monitor thread only.
class MonitorFrameConverter {
  public:
    MonitorFrameConverter(const MonitorFormat& source,
                          const platform::WaveFormatExtensible& device);

    // The ring bytes can go to the device as they are.
    bool direct() const { return direct_; }
    // Both formats are ones this converter reads and writes.
    bool usable() const { return usable_; }
    uint32_t sourceFrameBytes() const { return sourceFrameBytes_; }
    uint32_t deviceFrameBytes() const { return deviceFrameBytes_; }

    // Source frames that the next convert() of `deviceFrames` frames consumes.
    uint32_t sourceFramesFor(uint32_t deviceFrames) const;
    // The most device frames the next convert() can make from `sourceFrames` source frames.
    uint32_t deviceFramesFrom(uint32_t sourceFrames) const;
    // Writes `deviceFrames` device frames from the sourceFramesFor(deviceFrames) frames at
    // `source`, and moves on by them.
    void convert(const uint8_t* source, uint32_t deviceFrames, uint8_t* device);

  private:
    enum class Kind { Unsigned8, Signed, Float, Unknown };
    void decodeFrame(const uint8_t* frame, double* out) const;
    void encodeFrame(const double* in, uint8_t* frame) const;

    bool direct_ = false;
    bool usable_ = false;
    uint32_t sourceChannels_ = 0;
    uint32_t sourceBytes_ = 0;  // per sample
    Kind sourceKind_ = Kind::Unknown;
    uint32_t sourceFrameBytes_ = 0;
    uint32_t deviceChannels_ = 0;
    uint32_t deviceBytes_ = 0;
    uint32_t deviceValidBits_ = 0;
    Kind deviceKind_ = Kind::Unknown;
    uint32_t deviceFrameBytes_ = 0;
    int64_t sourceRate_ = 0;
    int64_t deviceRate_ = 0;
    // Rate conversion: the next output frame's position, in 1/deviceRate source frames, counted
    // from the first frame of the next read; and the two frames before it.
    int64_t position_ = 0;
    std::vector<double> history_;  // 2 × deviceChannels_
    std::vector<double> frames_;   // scratch, (read frames + 2) × deviceChannels_
};

}  // namespace tovrel::audio
