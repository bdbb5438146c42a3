#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "platform/system/hresult.h"
#include "sim/box/box_model.h"

namespace tovrel::sim {

// The picture-control values a simulated box's video device keeps. Like a UVC device's, they
// outlive a stream restart and a new activation, and start from the model's defaults when the
// box is plugged in (a new instance per plug). A value is taken only within the control's range,
// rounded to its step. Any thread: the GUI sets them while the reader's worker draws with them.
// Answers: S_OK; platform::E_PROP_ID_UNSUPPORTED for a control the model lacks or an unknown
// property; E_INVALIDARG for a value outside the range.
class SimulatedPictureControls {
  public:
    using Values = std::array<int32_t, 5>;

    explicit SimulatedPictureControls(const SimPictureControls& ranges);

    const SimPictureControls& ranges() const { return ranges_; }
    platform::HRESULT get(int32_t property, int32_t* value) const;
    platform::HRESULT set(int32_t property, int32_t value);
    Values values() const;

  private:
    const SimPictureControl* control(int32_t property) const;

    const SimPictureControls ranges_;
    mutable std::mutex mutex_;
    Values values_{};
};

}  // namespace tovrel::sim
