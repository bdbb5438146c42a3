#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/audio/memory_capture_endpoints.h"
#include "reduced/ui/endpoint_volume.h"
#include "reduced/ui/reduced_dialog_layout.h"
#include "reduced/ui/reduced_dialog_model.h"

namespace tovrel::reduced::ui {
namespace {

using L = ReducedDialogLayout;
using Model = ReducedDialogModel;
using Code = Model::ScrollCode;

TEST(ReducedDialogArithmetic, PictureAndVolumeBars) {
    // Picture bar lo..hi: lines stop at the ends, pages land on them within ten.
    EXPECT_EQ(Model::pictureScroll(250, 0, 255, Code::PageRight, 0), 255) << "hi - 5";
    EXPECT_EQ(Model::pictureScroll(245, 0, 255, Code::PageRight, 0), 255) << "hi - 10";
    EXPECT_EQ(Model::pictureScroll(244, 0, 255, Code::PageRight, 0), 254);
    EXPECT_EQ(Model::pictureScroll(-54, -64, 64, Code::PageLeft, 0), -64) << "lo + 10";
    EXPECT_EQ(Model::pictureScroll(-53, -64, 64, Code::PageLeft, 0), -63);
    EXPECT_EQ(Model::pictureScroll(-64, -64, 64, Code::LineLeft, 0), -64);
    EXPECT_EQ(Model::pictureScroll(64, -64, 64, Code::LineRight, 0), 64);
    EXPECT_EQ(Model::pictureScroll(3, -64, 64, Code::ThumbTrack, 17), 17);
    EXPECT_EQ(Model::pictureScroll(3, -64, 64, Code::EndScroll, 17), 3);
    // Volume 0..100.
    EXPECT_EQ(Model::volumeScroll(10, Code::PageLeft, 0), 0);
    EXPECT_EQ(Model::volumeScroll(11, Code::PageLeft, 0), 1);
    EXPECT_EQ(Model::volumeScroll(90, Code::PageRight, 0), 100);
    EXPECT_EQ(Model::volumeScroll(89, Code::PageRight, 0), 99);
    EXPECT_EQ(Model::volumeScroll(0, Code::LineLeft, 0), 0);
    EXPECT_EQ(Model::volumeScroll(100, Code::LineRight, 0), 100);
}

// The device's picture controls as a test sees them: every Set in order.
class FakeAmp final : public platform::VideoProcAmp {
  public:
    struct Change {
        int32_t property, value, flags;
        bool operator==(const Change&) const = default;
    };
    platform::HRESULT GetRange(int32_t, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*) override {
        return platform::E_NOTIMPL;
    }
    platform::HRESULT Get(int32_t, int32_t*, int32_t*) override { return platform::E_NOTIMPL; }
    platform::HRESULT Set(int32_t property, int32_t value, int32_t flags) override {
        sets.push_back({property, value, flags});
        return platform::S_OK;
    }
    std::vector<Change> sets;
};

struct Rig {
    static constexpr const char* kEndpoint = "Norvik USB Audio Device Analog Stereo";
    platform::MemoryCaptureEndpoints endpoints{0.0f};
    EndpointVolume volume{&endpoints};
    FakeAmp amp;
    capture::PictureControls controls;
    device::ui::SettingsHost::Capture capture;
    std::vector<std::array<int32_t, 4>> restarts;
    Model model;

    static capture::VideoMode mode(uint32_t w, uint32_t h, uint32_t fps) {
        capture::VideoMode m;
        m.width = w;
        m.height = h;
        m.frameRate = fps;
        return m;
    }

    Rig() : model(host()) {
        endpoints.add("Webcam Microphone");
        endpoints.add(kEndpoint);
        auto& p = controls.properties;
        p[0] = {true, 0, 255, 128, 40};  // brightness
        p[1] = {true, 0, 255, 300, 90};  // contrast: a default outside its range
        p[2] = {false, 0, 0, 0, 0};      // hue: the device lacks it
        p[3] = {true, -64, 64, 0, 5};    // saturation
        p[4] = {true, 0, 7, 3, 3};       // sharpness
        capture.modes[0] = {mode(1920, 1080, 60), mode(1280, 720, 60), mode(1920, 1080, 60)};
        capture.firstIndices.firstYuy2Index = 0;
        capture.videoFormat = capture::kFormatYuy2;
        capture.width = 1920;
        capture.height = 1080;
        capture.frameRate = 60.0f;
    }
    Model::Host host() {
        Model::Host h;
        h.capture.capture = [this] { return capture; };
        h.capture.restartCapture = [this](int32_t w, int32_t hgt, int32_t fps, int32_t format) {
            restarts.push_back({w, hgt, fps, format});
        };
        h.pictureControls = &controls;
        h.videoProcAmp = [this] { return &amp; };
        h.volume = &volume;
        return h;
    }
};

TEST(ReducedDialogModel, OpensOnTheDeviceAndChangesItAsTheControlsMove) {
    Rig rig;
    rig.endpoints.SetMasterVolumeLevel(Rig::kEndpoint, -48.0f);  // the middle of -96..0
    rig.endpoints.SetMute(Rig::kEndpoint, true);
    rig.model.open();
    EXPECT_EQ(rig.model.value(L::kBrightness), 40);
    EXPECT_EQ(rig.model.valueText(L::kSaturation), "5");
    EXPECT_EQ(rig.model.range(L::kSaturation), (std::pair<int32_t, int32_t>{-64, 64}));
    EXPECT_EQ(rig.model.value(L::kVolume), 50);
    EXPECT_TRUE(rig.model.muted());
    EXPECT_FALSE(rig.model.enabled(L::kHue)) << "a property the device lacks";
    EXPECT_TRUE(rig.model.enabled(L::kBrightness));
    EXPECT_TRUE(rig.model.enabled(L::kYuy2));
    EXPECT_FALSE(rig.model.enabled(L::kMjpeg)) << "no MJPG types";
    EXPECT_EQ(rig.model.checkedFormat(), capture::kFormatYuy2);
    EXPECT_EQ(rig.model.modeEntries(),
              (std::vector<std::string>{"1920x1080p@60", "1280x720p@60", "1920x1080p@60"}));
    EXPECT_EQ(rig.model.selectedMode(), 2) << "the last entry of the current mode";

    EXPECT_EQ(rig.model.onScroll(L::kBrightness, Code::PageRight), 50);
    EXPECT_EQ(rig.model.onScroll(L::kSaturation, Code::ThumbTrack, 70), 70);
    EXPECT_EQ(rig.model.valueText(L::kSaturation), "70") << "the label shows where the bar is";
    EXPECT_EQ(rig.amp.sets, (std::vector<FakeAmp::Change>{{platform::VideoProcAmp_Brightness, 50,
                                                           platform::VideoProcAmp_Flags_Manual}}))
        << "a value outside the range is not sent";

    EXPECT_EQ(rig.model.onScroll(L::kVolume, Code::ThumbTrack, 100), 100);
    float level = 0;
    rig.endpoints.GetMasterVolumeLevel(Rig::kEndpoint, &level);
    EXPECT_FLOAT_EQ(level, 0.0f);
    EXPECT_EQ(rig.model.onScroll(L::kVolume, Code::PageRight), 100);
    rig.model.onMute();
    EXPECT_FALSE(rig.endpoints.state(Rig::kEndpoint).muted);
    EXPECT_EQ(rig.endpoints.state("Webcam Microphone").levelDb, 0.0f) << "not the box's";
}

TEST(ReducedDialogModel, DefaultSetsEachDefaultWithinItsRangeAndVolume82Unmuted) {
    Rig rig;
    rig.endpoints.SetMute(Rig::kEndpoint, true);
    rig.model.open();
    rig.amp.sets.clear();
    rig.model.onDefault();
    EXPECT_EQ(rig.model.value(L::kBrightness), 128);
    EXPECT_EQ(rig.model.value(L::kContrast), 90) << "its default lies outside its range";
    const std::vector<FakeAmp::Change> expected{
        {platform::VideoProcAmp_Brightness, 128, platform::VideoProcAmp_Flags_Manual},
        {platform::VideoProcAmp_Saturation, 0, platform::VideoProcAmp_Flags_Manual},
        {platform::VideoProcAmp_Sharpness, 3, platform::VideoProcAmp_Flags_Manual}};
    EXPECT_EQ(rig.amp.sets, expected);
    EXPECT_EQ(rig.model.value(L::kVolume), 82);
    EXPECT_EQ(rig.model.valueText(L::kVolume), "82");
    EXPECT_FALSE(rig.model.muted());
    EXPECT_FALSE(rig.endpoints.state(Rig::kEndpoint).muted);
}

TEST(ReducedDialogModel, FormatsAndResolutionsRestartOnlyWhatChanges) {
    Rig rig;
    rig.model.open();
    rig.model.onFormat(L::kYuy2);
    rig.model.onFormat(L::kMjpeg);
    EXPECT_TRUE(rig.restarts.empty()) << "the current format, and one the device lacks";
    rig.model.onResolutionSet(1);
    rig.model.onResolutionSet(7);
    ASSERT_EQ(rig.restarts.size(), 1u);
    EXPECT_EQ(rig.restarts[0], (std::array<int32_t, 4>{1280, 720, 60, capture::kFormatYuy2}));

    rig.capture.modes[1] = {Rig::mode(3840, 2160, 30), Rig::mode(1920, 1080, 30)};
    rig.capture.firstIndices.firstMjpgIndex = 3;
    EXPECT_TRUE(rig.model.enabled(L::kMjpeg));
    rig.model.onFormat(L::kMjpeg);
    ASSERT_EQ(rig.restarts.size(), 2u);
    EXPECT_EQ(rig.restarts[1], (std::array<int32_t, 4>{3840, 2160, 30, capture::kFormatMjpg}));
    EXPECT_EQ(rig.model.checkedFormat(), capture::kFormatMjpg);
    EXPECT_EQ(rig.model.modeEntries().size(), 2u);
    EXPECT_EQ(rig.model.selectedMode(), Model::kNoSelection) << "the restart was not recorded";
}

TEST(EndpointVolume, PercentOfTheRangeBothWaysAndNothingWithoutTheBox) {
    EXPECT_FLOAT_EQ(EndpointVolume::levelForPercent(82, -96.0f, 0.0f), -17.28f);
    for (int p : {0, 1, 33, 50, 82, 99, 100})
        EXPECT_EQ(
            EndpointVolume::percentForLevel(EndpointVolume::levelForPercent(p, -96, 11), -96, 11),
            p);
    EXPECT_EQ(EndpointVolume::percentForLevel(20.0f, -96, 11), 100);
    EXPECT_EQ(EndpointVolume::percentForLevel(-200.0f, -96, 11), 0);
    EXPECT_EQ(EndpointVolume::levelForPercent(-5, -96, 11), -96.0f);

    platform::MemoryCaptureEndpoints endpoints;
    endpoints.add("Webcam Microphone");
    EndpointVolume none(&endpoints), absent(nullptr);
    none.setVolume(40);
    none.setMute(true);
    EXPECT_EQ(none.getVolume(), 0);
    EXPECT_FALSE(none.getMute());
    EXPECT_EQ(endpoints.state("Webcam Microphone").levelDb, 0.0f);
    EXPECT_EQ(absent.getVolume(), 0);

    // Two of the box's endpoints: both are set, the last answers.
    endpoints.add("Norvik USB Audio Device Analog Stereo");
    endpoints.add("QUORVA PX40 Line");
    none.setVolume(40);
    EXPECT_EQ(none.getVolume(), 40);
    endpoints.SetMasterVolumeLevel("QUORVA PX40 Line", 11.0f);
    EXPECT_EQ(none.getVolume(), 100);
}

}  // namespace
}  // namespace tovrel::reduced::ui
