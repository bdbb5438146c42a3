#pragma once

#include <cstdint>

namespace tovrel::audio::ui {

// The analyzer's pens, solid and one pixel wide whatever the scaling: the traces and the grid of
// both panes. Colours as 0xRRGGBB.
struct AnalyzerPens {
    static constexpr uint32_t kLeft = 0x00FF00;   // green
    static constexpr uint32_t kRight = 0x4040FF;  // blue
    static constexpr uint32_t kGrid = 0x808080;
    static constexpr uint32_t kBackground = 0x000000;
};

}  // namespace tovrel::audio::ui
