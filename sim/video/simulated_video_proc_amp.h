#pragma once

#include <memory>

#include "platform/media/video_proc_amp.h"
#include "sim/box/simulated_stream.h"
#include "sim/video/simulated_picture_controls.h"

namespace tovrel::sim {

// One simulated video source's view of its box's picture controls: the device's values
// (SimulatedPictureControls, shared by every activation of the same plug) behind the
// VideoProcAmp calls, which fail with MF_E_SHUTDOWN once the source is shut down. Capabilities
// are manual only. GUI thread, as VideoProcAmp says.
class SimulatedVideoProcAmp final : public platform::VideoProcAmp {
  public:
    SimulatedVideoProcAmp(std::shared_ptr<SimulatedPictureControls> controls,
                          const SimulatedStream& stream)
        : controls_(std::move(controls)), stream_(stream) {}

    platform::HRESULT GetRange(int32_t property, int32_t* minimum, int32_t* maximum, int32_t* step,
                               int32_t* defaultValue, int32_t* capsFlags) override;
    platform::HRESULT Get(int32_t property, int32_t* value, int32_t* flags) override;
    platform::HRESULT Set(int32_t property, int32_t value, int32_t flags) override;

  private:
    const std::shared_ptr<SimulatedPictureControls> controls_;
    const SimulatedStream& stream_;
};

}  // namespace tovrel::sim
