#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/box/box_model.h"
#include "sim/video/simulated_picture_controls.h"
#include "sim/video/test_picture.h"

namespace tovrel::sim {

// What the picture controls do to the simulated box's picture, as its processing unit would:
// brightness shifts the luma, contrast scales it about mid grey, saturation scales the chroma
// and hue turns it, sharpness adds (or, below its default, takes away) horizontal detail. Each
// control's effect is measured from its default across its range, so a control at its default
// changes nothing, and every control at its default leaves the picture untouched.
// One thread (the reader's worker): the tables are rebuilt only when a value changes.
class PictureAdjustment {
  public:
    // Takes the controls' current values; a lacking control counts as at its default.
    void configure(const SimPictureControls& ranges,
                   const SimulatedPictureControls::Values& values);
    // Whether apply() would change nothing.
    bool identity() const { return identity_; }
    void apply(TestPicture& picture) const;

  private:
    bool configured_ = false;
    bool identity_ = true;
    SimulatedPictureControls::Values values_{};
    std::array<uint8_t, 256> luma_{};
    bool chromaIdentity_ = true;
    std::vector<uint16_t> chroma_;  // (u << 8 | v) -> (u' << 8 | v')
    int32_t sharpen256_ = 0;        // the detail added, in 1/256
};

}  // namespace tovrel::sim
