#pragma once

#include <QImage>

#include <optional>

#include "audio/spectrum_bands.h"

namespace tovrel::audio::ui {

// Draws the spectrum pane: black, the grid (a middle line and 21 full-height lines, one per
// kHz mark), the left channel's bands rising from the middle line and the right channel's from
// the bottom row, one point per band.
// One renderer and its image per thread (the analyzer worker draws it).
class SpectrumRenderer {
  public:
    // Redraws `image` (its size is the pane's) from the band heights.
    static void draw(QImage& image, const SpectrumBands::Heights& left,
                     const std::optional<SpectrumBands::Heights>& right);
};

}  // namespace tovrel::audio::ui
