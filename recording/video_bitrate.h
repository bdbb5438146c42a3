#pragma once

#include <cstdint>

#include "platform/media/guid.h"

namespace tovrel::recording {

// The encoder's average bit rate for a capture of width x height at frameRate frames per second:
// grows with the square root of the pixel rate, a little lower for HEVC, scaled by the quality
// setting (0 lowest .. 4 highest; any other value counts as the middle one). Any thread.
uint32_t VideoBitrate(uint32_t width, uint32_t height, float frameRate,
                      const platform::Guid& subtype, int32_t quality);

}  // namespace tovrel::recording
