#include <gtest/gtest.h>

#include "capture/device_discovery.h"
#include "capture/device_names.h"
#include "capture/media_type_scan.h"
#include "platform/media/mf_guids.h"
#include "tests/platform/media/fake_media_source.h"

namespace tovrel::capture {
namespace {

using namespace platform;
using Kind = DeviceListEnumerator::Kind;

struct DiscoveryFixture : ::testing::Test {
    DiscoveryFixture() { devices = std::make_unique<DeviceListEnumerator>(); }

    // Adds a device; its activations land in `opened` under its name.
    void add(Kind kind, const std::string& name, std::vector<MediaType> types,
             bool unreadable = false, HRESULT activationResult = S_OK) {
        devices->addDevice(
            {kind, name, name,
             [this, name, types, activationResult](std::shared_ptr<MediaSource>* source) {
                 if (FAILED(activationResult)) return activationResult;
                 auto created = std::make_shared<test::FakeMediaSource>(
                     std::vector<std::vector<MediaType>>{types});
                 opened[name] = created;
                 *source = created;
                 return S_OK;
             },
             unreadable});
    }
    void addAudio(const std::string& name) {
        add(Kind::Audio, name, {test::pcmType(48000, 2, 16)});
    }
    void addVideo(const std::string& name,
                  std::vector<MediaType> types = {
                      test::videoType(MFVideoFormat_YUY2, 640, 480, 30, 1)}) {
        add(Kind::Video, name, std::move(types));
    }
    bool holds(const std::shared_ptr<MediaSource>& source, const std::string& name) {
        return source && opened.count(name) && source.get() == opened[name].get();
    }

    std::unique_ptr<DeviceListEnumerator> devices;
    std::map<std::string, std::shared_ptr<test::FakeMediaSource>> opened;
};

TEST_F(DiscoveryFixture, AWebcamOnlyMachineUsesTheFirstDevicesAndSetsNoFlag) {
    addAudio("Built-in Microphone");
    addAudio("USB Headset");
    addVideo("HD Webcam");
    addVideo("Integrated Camera");
    DeviceDiscovery discovery(devices.get());
    ASSERT_EQ(discovery.createAudioCapture(), S_OK);
    ASSERT_EQ(discovery.createVideoCapture(kFormatNone), S_OK);
    EXPECT_TRUE(holds(discovery.audioSource, "Built-in Microphone"));
    EXPECT_TRUE(holds(discovery.videoSource, "HD Webcam"));
    EXPECT_EQ(discovery.registerCapableBox, 0u);
    EXPECT_EQ(discovery.px40Model, 0u);
    EXPECT_EQ(discovery.usb3Bridge, 0u);
    EXPECT_EQ(discovery.videoFormat, kFormatYuy2);
}

TEST_F(DiscoveryFixture, Px40InsideAnAudioNameSetsBothFlags) {
    addAudio("Microphone");
    addAudio("Digital Audio Interface (2- QUORVA PX40 Audio) #3");
    DeviceDiscovery discovery(devices.get());
    ASSERT_EQ(discovery.createAudioCapture(), S_OK);
    EXPECT_TRUE(holds(discovery.audioSource, "Digital Audio Interface (2- QUORVA PX40 Audio) #3"));
    EXPECT_EQ(discovery.registerCapableBox, 1u);
    EXPECT_EQ(discovery.px40Model, 1u);
    EXPECT_EQ(discovery.usb3Bridge, 0u);
}

TEST_F(DiscoveryFixture, NamesAreCaseSensitive) {
    addAudio("Mic");
    addAudio("quorva px40 audio");
    DeviceDiscovery discovery(devices.get());
    ASSERT_EQ(discovery.createAudioCapture(), S_OK);
    EXPECT_TRUE(holds(discovery.audioSource, "Mic"));
    EXPECT_EQ(discovery.registerCapableBox, 0u);
}

TEST_F(DiscoveryFixture, AVideoNameWithASuffixIsNotRecognised) {
    addVideo("HD Webcam");
    addVideo("Norvik USB Video Device #2");
    DeviceDiscovery discovery(devices.get());
    ASSERT_EQ(discovery.createVideoCapture(kFormatNone), S_OK);
    EXPECT_TRUE(holds(discovery.videoSource, "HD Webcam"));
}

TEST_F(DiscoveryFixture, ASuffixedBoxNameAloneIsStillUsedAsTheFirstDevice) {
    addVideo("QUORVA PX40 Video (2)");
    DeviceDiscovery discovery(devices.get());
    ASSERT_EQ(discovery.createVideoCapture(kFormatNone), S_OK);
    EXPECT_TRUE(holds(discovery.videoSource, "QUORVA PX40 Video (2)"));
}

TEST_F(DiscoveryFixture, WithTwoBoxesTheLastMatchWinsAndFlagsAccumulate) {
    addAudio("Ambrix Audio");
    addAudio("Webcam Mic");
    addAudio("Sorvane USB 3.0 Audio Bridge");
    addAudio("Another Mic");
    addVideo("Sorvane USB 3.0 Video Bridge");
    addVideo("Ambrix USB Video Device");
    addVideo("HD Webcam");
    DeviceDiscovery discovery(devices.get());
    ASSERT_EQ(discovery.createAudioCapture(), S_OK);
    ASSERT_EQ(discovery.createVideoCapture(kFormatNone), S_OK);
    EXPECT_TRUE(holds(discovery.audioSource, "Sorvane USB 3.0 Audio Bridge"));
    EXPECT_TRUE(holds(discovery.videoSource, "Ambrix USB Video Device"));
    EXPECT_EQ(discovery.registerCapableBox, 1u);
    EXPECT_EQ(discovery.usb3Bridge, 1u);
    EXPECT_EQ(discovery.px40Model, 0u);
}

TEST_F(DiscoveryFixture, EveryBoxVideoNameIsRecognised) {
    addVideo("HD Webcam");
    for (std::string_view name : kBoxVideoNames) addVideo(std::string(name));
    addVideo("HD Webcam 2");
    DeviceDiscovery discovery(devices.get());
    ASSERT_EQ(discovery.createVideoCapture(kFormatNone), S_OK);
    EXPECT_TRUE(holds(discovery.videoSource, std::string(kBoxVideoNames.back())));
}

TEST_F(DiscoveryFixture, AnUnreadableNameEndsTheScan) {
    addAudio("Mic");
    add(Kind::Audio, "Broken", {test::pcmType(48000, 2, 16)}, true);
    addAudio("Norvik USB Audio Device");
    DeviceDiscovery discovery(devices.get());
    ASSERT_EQ(discovery.createAudioCapture(), S_OK);
    EXPECT_TRUE(holds(discovery.audioSource, "Mic"));
    EXPECT_EQ(discovery.registerCapableBox, 0u);
}

TEST_F(DiscoveryFixture, NoDeviceOfAKindIsUnexpected) {
    addVideo("HD Webcam");
    DeviceDiscovery discovery(devices.get());
    discovery.registerCapableBox = 1;
    EXPECT_EQ(discovery.createAudioCapture(), E_UNEXPECTED);
    EXPECT_EQ(discovery.registerCapableBox, 0u) << "the flags are cleared first";
    DeviceDiscovery none(nullptr);
    EXPECT_EQ(none.createVideoCapture(kFormatNone), E_UNEXPECTED);
}

TEST_F(DiscoveryFixture, AFailedVideoActivationReleasesBothSources) {
    addAudio("Norvik USB Audio Device");
    add(Kind::Video, "Norvik USB Video Device", {}, false, E_FAIL);
    DeviceDiscovery discovery(devices.get());
    ASSERT_EQ(discovery.createAudioCapture(), S_OK);
    auto audio = opened["Norvik USB Audio Device"];
    EXPECT_EQ(discovery.createVideoCapture(kFormatNone), E_FAIL);
    EXPECT_FALSE(discovery.audioSource);
    EXPECT_FALSE(discovery.videoSource);
    EXPECT_EQ(audio->stops.load(), 1);
    EXPECT_EQ(audio->shutdowns.load(), 1);
}

TEST_F(DiscoveryFixture, AFailedTypeScanReleasesBothSources) {
    addAudio("Mic");
    addVideo("HD Webcam");
    DeviceDiscovery discovery(devices.get());
    ASSERT_EQ(discovery.createAudioCapture(), S_OK);
    devices->removeDevice("HD Webcam");
    devices->addDevice({Kind::Video, "Cam", "",
                        [](std::shared_ptr<MediaSource>* source) {
                            auto created = std::make_shared<test::FakeMediaSource>(
                                std::vector<std::vector<MediaType>>{{}});
                            created->typesFailure = E_FAIL;
                            *source = created;
                            return S_OK;
                        },
                        false});
    EXPECT_EQ(discovery.createVideoCapture(kFormatNone), E_FAIL);
    EXPECT_FALSE(discovery.audioSource);
}

TEST_F(DiscoveryFixture, TheVideoFormatFollowsTheRequestAndWhatTheDeviceHas) {
    addVideo("Norvik USB Video Device", {test::videoType(MFVideoFormat_MJPG, 1920, 1080, 60, 1),
                                         test::videoType(MFVideoFormat_YUY2, 640, 480, 30, 1),
                                         test::videoType(MFVideoFormat_YUY2, 320, 240, 30, 1)});
    DeviceDiscovery discovery(devices.get());
    ASSERT_EQ(discovery.createVideoCapture(kFormatNv12), S_OK);
    EXPECT_EQ(discovery.videoFormat, kFormatYuy2) << "NV12 asked of a YUY2 + MJPEG device";
    EXPECT_EQ(discovery.firstIndices.firstMjpgIndex, 0u);
    EXPECT_EQ(discovery.firstIndices.firstYuy2Index, 1u) << "the first of several";
    EXPECT_EQ(discovery.firstIndices.firstNv12Index, kNoIndex);
    discovery.releaseCaptureSources();
    ASSERT_EQ(discovery.createVideoCapture(kFormatMjpg), S_OK);
    EXPECT_EQ(discovery.videoFormat, kFormatMjpg);
}

TEST(ChooseVideoFormat, FallsBackInTheOrderYuy2MjpegNv12) {
    FirstFormatIndices mjpgOnly{kNoIndex, 0, kNoIndex};
    EXPECT_EQ(chooseVideoFormat(kFormatYuy2, mjpgOnly), kFormatMjpg);
    FirstFormatIndices nv12Only{kNoIndex, kNoIndex, 3};
    EXPECT_EQ(chooseVideoFormat(kFormatNone, nv12Only), kFormatNv12);
    EXPECT_EQ(chooseVideoFormat(kFormatNv12, nv12Only), kFormatNv12);
    EXPECT_EQ(chooseVideoFormat(kFormatMjpg, FirstFormatIndices{}), kFormatNone);
}

TEST_F(DiscoveryFixture, ReleaseStopsAndShutsDownBothSources) {
    addAudio("Mic");
    addVideo("Cam");
    DeviceDiscovery discovery(devices.get());
    discovery.createAudioCapture();
    discovery.createVideoCapture(kFormatNone);
    EXPECT_EQ(discovery.releaseCaptureSources(), 0);
    for (const char* name : {"Mic", "Cam"}) {
        EXPECT_EQ(opened[name]->stops.load(), 1) << name;
        EXPECT_EQ(opened[name]->shutdowns.load(), 1) << name;
    }
    EXPECT_FALSE(discovery.audioSource);
    EXPECT_EQ(discovery.releaseCaptureSources(), 0) << "nothing held: nothing to do";
}

}  // namespace
}  // namespace tovrel::capture
