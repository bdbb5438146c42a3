#include <gtest/gtest.h>

#include <QMenu>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture/device_discovery.h"
#include "platform/media/device_list_enumerator.h"
#include "platform/media/mf_guids.h"
#include "reduced/tovrel_edition.h"
#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"
#include "tests/platform/media/fake_media_source.h"
#include "tests/shell/menu_lines.h"
#include "tests/shell/test_backends.h"

namespace tovrel::reduced {
namespace {

using shell::CommandTable;
using Kind = platform::DeviceListEnumerator::Kind;

using testing::menuLines;

// A device list holding one audio and one video device of the given names; the video device
// offers the given types.
void addDevices(platform::DeviceListEnumerator& list, const std::string& audioName,
                const std::string& videoName, std::vector<platform::MediaType> videoTypes) {
    list.addDevice(
        {Kind::Audio, audioName, "audio",
         [](std::shared_ptr<platform::MediaSource>* source) {
             *source = std::make_shared<test::FakeMediaSource>(
                 std::vector<std::vector<platform::MediaType>>{{test::pcmType(48000, 2, 16)}});
             return platform::S_OK;
         },
         false});
    list.addDevice({Kind::Video, videoName, "/dev/video9",
                    [videoTypes](std::shared_ptr<platform::MediaSource>* source) {
                        *source = std::make_shared<test::FakeMediaSource>(
                            std::vector<std::vector<platform::MediaType>>{videoTypes});
                        return platform::S_OK;
                    },
                    false});
}

TEST(TovrelEdition, TheRealMenuAndTheKeysItLacks) {
    testing::ScopedWorkingDirectory cwd("tovrel-menu");
    testing::TestBackends test;
    shell::CTovrel2Frame frame(test.backends, kTovrelEdition);
    frame.settings.settingQuality = 0;
    EXPECT_EQ(frame.windowTitle().toStdString(), "Tovrel");
    const std::vector<std::string> expected{"[F2]-Recording",
                                            ">[F3]-Snapshot",
                                            "  JPG",
                                            "  PNG",
                                            "  BMP",
                                            "-",
                                            "[F8]-Settings",
                                            "[F9]-Preview",
                                            "-",
                                            "[F]-Full Screen",
                                            "*[H]-Show Caption",
                                            "-",
                                            "Keep Aspect Ratio",
                                            "-",
                                            ">Encoding Quality",
                                            "  *Lowest",
                                            "  Low",
                                            "  Normal",
                                            "  High",
                                            "  Highest",
                                            ">Video Encoding Format",
                                            "  *AVC (H.264)",
                                            "  HEVC (H.265)",
                                            ">Audio Encoding Format",
                                            "  *AAC",
                                            "  MP3",
                                            "*Prefer Hardware Encoding",
                                            "-",
                                            "Exit"};
    EXPECT_EQ(menuLines(frame.buildPopupMenu().get()), expected);
    for (int key : {Qt::Key_F1, Qt::Key_F4, Qt::Key_F5, Qt::Key_F6, Qt::Key_F7})
        EXPECT_EQ(kTovrelEdition.commandForKey(key), nullptr) << key;
    EXPECT_EQ(kTovrelEdition.commandForKey(Qt::Key_F2)->id, CommandTable::kRecording);
    EXPECT_EQ(kTovrelEdition.commandForKey(Qt::Key_F3)->id, CommandTable::kSnapshotJpg);
    EXPECT_EQ(kTovrelEdition.commandForKey(Qt::Key_F8)->id, CommandTable::kSettings);
    EXPECT_EQ(kTovrelEdition.commandForKey(Qt::Key_F9)->id, CommandTable::kPreview);
    EXPECT_FALSE(kTovrelEdition.offers(CommandTable::kAudioLineIn));
    EXPECT_STRNE(kTovrelEdition.windowClassName, shell::kTovrel2Edition.windowClassName);
}

// The reduced program takes only the box's own devices, derives only the USB 3.0 bridge from
// their names and knows no NV12; the full program takes what it finds.
TEST(TovrelEdition, DeviceRules) {
    const auto yuy2 = test::videoType(platform::MFVideoFormat_YUY2, 1920, 1080, 60, 1);
    const auto nv12 = test::videoType(platform::MFVideoFormat_NV12, 1920, 1080, 60, 1);
    const capture::CaptureRules strict = kTovrelEdition.features.capture;
    {
        platform::DeviceListEnumerator list;
        addDevices(list, "USB Headset", "USB Camera", {yuy2});
        capture::DeviceDiscovery reduced(&list), full(&list);
        reduced.rules = strict;
        EXPECT_EQ(reduced.createAudioCapture(), platform::E_FAIL);
        EXPECT_EQ(reduced.createVideoCapture(capture::kFormatNone), platform::E_FAIL);
        EXPECT_EQ(full.createAudioCapture(), platform::S_OK);
        EXPECT_EQ(full.createVideoCapture(capture::kFormatNone), platform::S_OK);
    }
    {
        platform::DeviceListEnumerator list;
        addDevices(list, "QUORVA PX40 Audio", "QUORVA PX40 Video", {nv12});
        capture::DeviceDiscovery reduced(&list), full(&list);
        reduced.rules = strict;
        ASSERT_EQ(reduced.createAudioCapture(), platform::S_OK);
        EXPECT_EQ(reduced.registerCapableBox, 0u);
        EXPECT_EQ(reduced.px40Model, 0u);
        ASSERT_EQ(reduced.createVideoCapture(capture::kFormatNv12), platform::S_OK);
        EXPECT_EQ(reduced.videoFormat, capture::kFormatNone) << "an NV12-only device";
        EXPECT_FALSE(reduced.pictureControls.properties[0].supported) << "no picture controls";
        ASSERT_EQ(full.createAudioCapture(), platform::S_OK);
        EXPECT_EQ(full.px40Model, 1u);
        ASSERT_EQ(full.createVideoCapture(capture::kFormatNv12), platform::S_OK);
        EXPECT_EQ(full.videoFormat, capture::kFormatNv12);
    }
    {
        platform::DeviceListEnumerator list;
        addDevices(list, "Sorvane USB 3.0 Audio", "Sorvane USB 3.0 Video Bridge", {yuy2});
        capture::DeviceDiscovery reduced(&list);
        reduced.rules = strict;
        ASSERT_EQ(reduced.createAudioCapture(), platform::S_OK);
        EXPECT_EQ(reduced.usb3Bridge, 1u);
    }
}

// A box-named audio device beside a camera: the reduced program says the video device is
// missing and starts no capture, no keyboard watcher and no caption timer.
TEST(TovrelEdition, AnUnsupportedVideoDeviceIsReportedAtStartUp) {
    testing::ScopedWorkingDirectory cwd("tovrel-unsupported");
    testing::TestBackends test;
    auto list = std::make_unique<platform::DeviceListEnumerator>();
    addDevices(*list, "Norvik USB Audio Device", "USB Camera",
               {test::videoType(platform::MFVideoFormat_YUY2, 1280, 720, 30, 1)});
    test.backends.mediaDevices = std::move(list);
    shell::CTovrel2Frame frame(test.backends, kTovrelEdition);
    EXPECT_EQ(frame.onCreate(), 0);
    ASSERT_EQ(test.messageBoxes->boxes.size(), 1u);
    EXPECT_EQ(test.messageBoxes->boxes[0].text, "Cannot create the video capture device");
    EXPECT_EQ(test.messageBoxes->boxes[0].caption, "Tovrel");
    EXPECT_FALSE(frame.captionTimerActive());
    EXPECT_FALSE(frame.keyboardFilterInstalled());
    EXPECT_EQ(frame.entryPoints.TakeScreenSnapshot("MF1.jpg"), platform::MF_E_INVALIDREQUEST)
        << "a desktop recorder the edition has no command for";
    frame.onClose();
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// One settings file with both sections: each program reads and writes its own and leaves the
// other's byte for byte.
TEST(TovrelEdition, EachProgramKeepsToItsOwnSection) {
    testing::ScopedWorkingDirectory cwd("tovrel-sections");
    testing::TestBackends test;
    const std::string full = "[TOVREL2]\r\nQuality=4\r\n; the full program's\r\nHardware=0\r\n";
    const std::string reduced = "[TOVREL]\r\nQuality=1\r\nVideoType=1\r\n";
    std::ofstream(cwd.path() / "setting.ini", std::ios::binary) << full << reduced;
    {
        shell::CTovrel2Frame frame(test.backends, kTovrelEdition);
        frame.onCreate();
        EXPECT_EQ(frame.settings.settingQuality, 1);
        EXPECT_EQ(frame.settings.settingVideoType, 1);
        EXPECT_EQ(frame.settings.settingHardware, 1) << "the other section's value is not read";
        frame.onClose();
    }
    const std::string afterReduced = readFile(cwd.path() / "setting.ini");
    EXPECT_EQ(afterReduced.substr(0, full.size()), full);
    {
        shell::CTovrel2Frame frame(test.backends, shell::kTovrel2Edition);
        frame.onCreate();
        EXPECT_EQ(frame.settings.settingQuality, 4);
        frame.onClose();
    }
    const std::string afterFull = readFile(cwd.path() / "setting.ini");
    const size_t reducedAt = afterReduced.find("[TOVREL]");
    ASSERT_NE(reducedAt, std::string::npos);
    EXPECT_NE(afterFull.find(afterReduced.substr(reducedAt)), std::string::npos)
        << "the reduced section as the reduced program left it:\n"
        << afterFull;
}

}  // namespace
}  // namespace tovrel::reduced
