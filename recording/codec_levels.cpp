#include "recording/codec_levels.h"

#include <span>

namespace tovrel::recording {

namespace {

uint32_t levelFor(std::span<const LevelBound> table, uint32_t top, uint32_t pixelRate) {
    for (const LevelBound& row : table) {
        if (pixelRate <= row.maxPixelRate) return row.level;
    }
    return top;
}

}  // namespace

uint32_t SelectH264Level(uint32_t width, uint32_t height, uint32_t fps) {
    return levelFor(kH264Levels, kH264TopLevel, width * height * fps);
}

uint32_t SelectHevcLevel(uint32_t width, uint32_t height, uint32_t fps) {
    return levelFor(kHevcLevels, kHevcTopLevel, width * height * fps);
}

}  // namespace tovrel::recording
