// The picture-control conformance suite against every source that has picture controls.
#include <linux/videodev2.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/v4l2/v4l2_media_source.h"
#include "sim/box/box_model.h"
#include "sim/video/simulated_video_source.h"
#include "tests/platform/media/video_proc_amp_conformance.h"
#include "tests/platform/v4l2/fake_v4l2_system_calls.h"

namespace tovrel::platform::testing {
namespace {

// A node with four of the five controls, as a capture chip's driver lists them: hue is
// enumerated but flagged disabled, sharpness is not there at all.
class V4l2Backend final : public VideoProcAmpBackend {
  public:
    V4l2Backend() {
        kernel_.setControls({
            {V4L2_CID_BRIGHTNESS, -128, 127, 1, 0, 0},
            {V4L2_CID_CONTRAST, 0, 255, 1, 128, 128},
            {V4L2_CID_HUE, -128, 127, 1, 0, 0, V4L2_CTRL_FLAG_DISABLED},
            {V4L2_CID_SATURATION, 0, 255, 5, 130, 130},
        });
        HRESULT hr = E_FAIL;
        source_ = V4l2MediaSource::open(kernel_, "/dev/video0", &hr);
    }
    MediaSource& source() override { return *source_; }

  private:
    test::FakeV4l2SystemCalls kernel_{"/dev/video0", {{V4L2_PIX_FMT_YUYV, 8, 4, 1, 30}}};
    std::shared_ptr<V4l2MediaSource> source_;
};

class SimulatedBackend final : public VideoProcAmpBackend {
  public:
    explicit SimulatedBackend(const sim::BoxModel& model) {
        std::shared_ptr<MediaSource> source;
        sim::simulatedVideoEntry(model, sim::SimulatedVideoSource::Pacing::Stepped)
            .activation(&source);
        source_ = std::move(source);
    }
    MediaSource& source() override { return *source_; }

  private:
    std::shared_ptr<MediaSource> source_;
};

std::vector<VideoProcAmpCase> everyCase() {
    std::vector<VideoProcAmpCase> cases{
        {"V4l2OverAFakeKernel", [] { return std::make_unique<V4l2Backend>(); }}};
    for (const sim::BoxModel& model : sim::kBoxModels) {
        std::string name = "Simulated";
        for (const char c : model.model)
            if (std::isalnum(static_cast<unsigned char>(c))) name += c;
        cases.push_back({name, [&model] { return std::make_unique<SimulatedBackend>(model); }});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EverySourceWithPictureControls, VideoProcAmpConformance,
                         ::testing::ValuesIn(everyCase()), videoProcAmpCaseName);

}  // namespace
}  // namespace tovrel::platform::testing
