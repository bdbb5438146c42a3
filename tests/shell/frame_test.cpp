#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWindow>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/media/device_list_enumerator.h"
#include "platform/system/debug_output.h"
#include "shell/caption.h"
#include "shell/initial_geometry.h"
#include "shell/insert_key_filter.h"
#include "shell/shell_texts.h"
#include "shell/tovrel2_app.h"
#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"
#include "test_backends.h"
#include "tests/platform/media/fake_media_source.h"
#include "tests/support/comma_locale.h"

namespace tovrel::shell {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class FrameTest : public ::testing::Test {
  protected:
    FrameTest() : cwd_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {}
    std::filesystem::path settingsFile() const { return cwd_.path() / "setting.ini"; }

    testing::ScopedWorkingDirectory cwd_;
    testing::TestBackends test_;
};

TEST_F(FrameTest, MembersStartWithTheirInitialValues) {
    CTovrel2Frame frame(test_.backends, kTovrel2Edition);
    EXPECT_EQ(frame.host().captureManager, nullptr);
    EXPECT_EQ(frame.host().suspended, 0);
    EXPECT_EQ(frame.analyzerDialog, nullptr);
    EXPECT_EQ(frame.settingsDialog, nullptr);
    EXPECT_EQ(frame.fullScreen, 0u);
    EXPECT_EQ(frame.captionShown, 1u);
    EXPECT_EQ(frame.settings.settingQuality, 2);
    EXPECT_EQ(frame.settings.settingHardware, 1);
    EXPECT_EQ(frame.host().requestedWidth, 0);
    EXPECT_EQ(frame.host().requestedHeight, 0);
    EXPECT_EQ(frame.host().requestedFps, 0);
    EXPECT_EQ(frame.programName, "Tovrel2");
    EXPECT_EQ(frame.stateText, "");
    EXPECT_EQ(frame.formatText, "");
    EXPECT_EQ(frame.windowTitle().toStdString(), "Tovrel2");
}

TEST_F(FrameTest, WithoutADeviceTheWindowStaysOpenWithoutCaptureAndCloseWritesTheSettings) {
    CTovrel2Frame frame(test_.backends, kTovrel2Edition);
    std::vector<std::string> steps;
    frame.stepObserver = [&](const char* s) { steps.push_back(s); };

    EXPECT_EQ(frame.onCreate(), 0);
    ASSERT_EQ(test_.messageBoxes->boxes.size(), 1u);
    EXPECT_EQ(test_.messageBoxes->boxes[0].text, "Cannot create the audio capture device");
    EXPECT_EQ(test_.messageBoxes->boxes[0].caption, "Tovrel2");
    EXPECT_TRUE(test_.messageBoxes->boxes[0].owned);
    EXPECT_EQ(test_.messageBoxes->boxes[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(frame.windowTitle().toStdString(), "Tovrel2");
    EXPECT_FALSE(frame.keyboardFilterInstalled());
    EXPECT_FALSE(frame.captionTimerActive());
    EXPECT_TRUE(test_.executionState->keepingAwake()) << "keep-awake also holds without a device";
    EXPECT_FALSE(std::filesystem::exists(settingsFile()));

    frame.onClose();
    EXPECT_EQ(readFile(settingsFile()),
              "[TOVREL2]\nQuality=2\nVideoType=0\nAudioType=0\nAspectRatio=0\nHardware=1\n");
    EXPECT_FALSE(test_.executionState->keepingAwake());
    EXPECT_EQ(frame.host().captureManager, nullptr);

    const std::vector<std::string> expected{"readSettings",
                                            "registerDeviceNotifications",
                                            "registerPowerNotifications",
                                            "createCaptureManager",
                                            "createAudioCapture",
                                            "keepAwake",
                                            "stopCaptionTimer",
                                            "removeKeyboardFilter",
                                            "stopRecordings",
                                            "closeSession",
                                            "releaseCaptureSources",
                                            "unregisterNotifications",
                                            "writeSettings",
                                            "endKeepAwake"};
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(test_.clock.totalSleptMs(), 700u) << "500 ms, then 100 ms twice";
    EXPECT_EQ(test_.executionState->calls,
              (std::vector<uint32_t>{platform::ES_CONTINUOUS | platform::ES_SYSTEM_REQUIRED,
                                     platform::ES_CONTINUOUS}));
}

// An audio device alone: the audio capture opens, the video one cannot, and the window stays
// open without a session, having said which device is missing.
TEST_F(FrameTest, WithAnAudioDeviceButNoVideoDeviceTheVideoCaptureIsReported) {
    int activations = 0;
    test_.backends.mediaDevices = std::make_unique<platform::DeviceListEnumerator>();
    test_.backends.mediaDevices->addDevice(
        {platform::DeviceListEnumerator::Kind::Audio, "USB Headset", "headset",
         [&](std::shared_ptr<platform::MediaSource>* source) {
             ++activations;
             *source = std::make_shared<test::FakeMediaSource>(
                 std::vector<std::vector<platform::MediaType>>{{test::pcmType(48000, 2, 16)}});
             return platform::S_OK;
         },
         false});
    CTovrel2Frame frame(test_.backends, kTovrel2Edition);
    std::vector<std::string> steps;
    frame.stepObserver = [&](const char* s) { steps.push_back(s); };

    EXPECT_EQ(frame.onCreate(), 0);
    EXPECT_EQ(activations, 1);
    ASSERT_EQ(test_.messageBoxes->boxes.size(), 1u);
    EXPECT_EQ(test_.messageBoxes->boxes[0].text, "Cannot create the video capture device");
    EXPECT_EQ(test_.messageBoxes->boxes[0].caption, "Tovrel2");
    EXPECT_EQ(test_.messageBoxes->boxes[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(steps,
              (std::vector<std::string>{"readSettings", "registerDeviceNotifications",
                                        "registerPowerNotifications", "createCaptureManager",
                                        "createAudioCapture", "createVideoCapture", "keepAwake"}));
    EXPECT_FALSE(frame.keyboardFilterInstalled());
    EXPECT_FALSE(frame.captionTimerActive());
    EXPECT_EQ(frame.windowTitle().toStdString(), "Tovrel2");
    frame.onClose();
    EXPECT_TRUE(std::filesystem::exists(settingsFile()));
}

TEST_F(FrameTest, CloseKeepsHandAddedKeysOtherSectionsAndOutOfRangeValues) {
    const std::string other = "[TOVREL]\r\nQuality=4\r\n; the reduced edition's\r\n";
    writeFile(settingsFile(), "[TOVREL2]\r\nQuality=9\r\nControl=1\r\nAspectRatio=5\r\n" + other);
    for (int run = 0; run < 2; ++run) {
        CTovrel2Frame frame(test_.backends, kTovrel2Edition);
        frame.onCreate();
        EXPECT_EQ(frame.settings.settingQuality, 9);
        EXPECT_EQ(frame.settings.settingControl, 1);
        EXPECT_NE(frame.settings.settingAspectRatio, 0);
        frame.onClose();
    }
    EXPECT_EQ(
        readFile(settingsFile()),
        "[TOVREL2]\r\nQuality=9\r\nControl=1\r\nAspectRatio=1\r\nVideoType=0\r\nAudioType=0\r\n"
        "Hardware=1\r\n" +
            other);
}

TEST_F(FrameTest, CloseRunsOnceAndTheWindowCloseEventRunsIt) {
    CTovrel2Frame frame(test_.backends, kTovrel2Edition);
    int writes = 0;
    frame.stepObserver = [&](const char* s) { writes += std::string(s) == "writeSettings"; };
    frame.onCreate();
    frame.show();
    frame.close();
    EXPECT_TRUE(frame.shutDown());
    frame.onClose();
    EXPECT_EQ(writes, 1);
}

TEST_F(FrameTest, ASecondStartRaisesTheFirstWindowAndEnds) {
    CTovrel2App first(test_.backends, kTovrel2Edition);
    ASSERT_TRUE(first.initInstance());
    CTovrel2Frame* window = first.mainWindow();
    window->showMinimized();
    QApplication::processEvents();
    ASSERT_TRUE(window->isMinimized());

    CTovrel2App second(test_.backends, kTovrel2Edition);
    EXPECT_FALSE(second.initInstance());
    EXPECT_EQ(second.mainWindow(), nullptr);
    EXPECT_FALSE(window->isMinimized());
    window->close();
}

// "[F3]-Snapshot": F3 and the submenu's three items hand the box snapshot a name of the local
// time with their extension in the pictures folder; the screen snapshot items go elsewhere.
TEST_F(FrameTest, SnapshotCommandsNameAFileInThePicturesFolder) {
    // The pictures folder of this test only (Qt reads the user's folder list on every lookup).
    const std::filesystem::path pictures = cwd_.path() / "Pictures";
    writeFile(cwd_.path() / "user-dirs.dirs", "XDG_PICTURES_DIR=\"" + pictures.string() + "\"\n");
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = oldConfig ? oldConfig : "";
    ::setenv("XDG_CONFIG_HOME", cwd_.path().c_str(), 1);

    CTovrel2Frame frame(test_.backends, kTovrel2Edition);
    std::vector<std::string> box, screen;
    frame.entryPoints.TakeSnapshot = [&](const std::string& path) {
        box.push_back(path);
        return platform::S_OK;
    };
    frame.entryPoints.TakeScreenSnapshot = [&](const std::string& path) {
        screen.push_back(path);
        return platform::S_OK;
    };
    QKeyEvent f3(QEvent::KeyPress, Qt::Key_F3, Qt::NoModifier);
    QApplication::sendEvent(&frame, &f3);
    frame.onCommand(CommandTable::kSnapshotPng);
    frame.onCommand(CommandTable::kSnapshotBmp);
    frame.onCommand(CommandTable::kScreenSnapshotPng);

    if (oldConfig) {
        ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    ASSERT_EQ(box.size(), 3u);
    const char* extensions[] = {"jpg", "png", "bmp"};
    for (size_t i = 0; i < box.size(); ++i) {
        const std::regex name(pictures.string() + "/MF[0-9]{12}\\." + extensions[i]);
        EXPECT_TRUE(std::regex_match(box[i], name)) << box[i];
    }
    EXPECT_TRUE(std::filesystem::is_directory(pictures)) << "the folder is made when missing";
    ASSERT_EQ(screen.size(), 1u);
    EXPECT_TRUE(std::regex_match(screen[0], std::regex(".*/MF[0-9]{12}\\.png"))) << screen[0];
}

TEST(Caption, ComposesProgramStateAndMode) {
    EXPECT_EQ(Caption::modeText(1920, 1080, 60000.0 / 1001.0), "1920x1080p@59.94");
    EXPECT_EQ(Caption::compose("Tovrel2", "Preview", Caption::modeText(1920, 1080, 60.0)),
              "Tovrel2-Preview-1920x1080p@60.00");
    EXPECT_EQ(Caption::modeText(0xFFFFFFFFu, 0, 0.0), "-1x0p@0.00") << "unsigned printed as signed";
}

// Qt sets the user's locale at start-up; the caption is the system's text all the same.
TEST_F(FrameTest, TheCaptionKeepsItsDecimalPointUnderADecimalCommaLocale) {
    testing::CommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << comma.why();
    EXPECT_EQ(Caption::modeText(1920, 1080, 60000.0 / 1001.0), "1920x1080p@59.94");
    CTovrel2Frame frame(test_.backends, kTovrel2Edition);
    frame.setCaptionState("Preview");
    EXPECT_EQ(frame.windowTitle().toStdString(), "Tovrel2-Preview-0x0p@0.00");
}

TEST(Caption, ElapsedTimeHasUnboundedHours) {
    EXPECT_EQ(Caption::elapsedState(false, 1999), "Capture(00:00:01)");
    EXPECT_EQ(Caption::elapsedState(false, 100ull * 3600 * 1000), "Capture(100:00:00)");
    EXPECT_EQ(Caption::elapsedState(true, (3600 + 61) * 1000ull), "Capture Screen(01:01:01)");
}

TEST(Caption, LimitsTextsToTheirMembers) {
    EXPECT_EQ(Caption::limit(std::string(150, 'x')).size(), 99u);
    std::string wide;
    for (int i = 0; i < 60; ++i) wide += "\xC3\xA9";  // 60 units, 120 bytes
    EXPECT_EQ(Caption::limit(wide), wide);
}

TEST_F(FrameTest, SetCaptionStateWithoutASessionShowsAnEmptyMode) {
    CTovrel2Frame frame(test_.backends, kTovrel2Edition);
    frame.setCaptionState("Preview");
    EXPECT_EQ(frame.windowTitle().toStdString(), "Tovrel2-Preview-0x0p@0.00");
    EXPECT_EQ(frame.captionText, "Tovrel2-Preview-0x0p@0.00");
}

TEST(InitialGeometry, FollowsTheScreenRule) {
    const QRect r = InitialGeometry::forScreen(1920, 1080, 23);
    EXPECT_EQ(r, QRect(480, 281, 960, 563));
    EXPECT_EQ(InitialGeometry::forScreen(1366, 769, 23), QRect(341, 203, 683, 407));
}

// A window that records the keys that reach it.
class KeyRecorder final : public QWidget {
  public:
    std::vector<std::pair<QEvent::Type, int>> keys;

  protected:
    void keyPressEvent(QKeyEvent* e) override { keys.emplace_back(e->type(), e->key()); }
    void keyReleaseEvent(QKeyEvent* e) override { keys.emplace_back(e->type(), e->key()); }
};

TEST(InsertKeyFilter, WritesOneLineWhenInsertIsReleasedAndPassesEveryKeyOn) {
    std::vector<std::string> lines;
    auto previous =
        platform::setDebugOutputSink([&](std::string_view t) { lines.emplace_back(t); });
    KeyRecorder window;
    window.setFocusPolicy(Qt::StrongFocus);
    window.show();
    window.activateWindow();
    window.setFocus();
    InsertKeyFilter filter;
    qApp->installEventFilter(&filter);
    QWindow* native = window.windowHandle();
    ASSERT_NE(native, nullptr);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Insert, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Insert, Qt::NoModifier);
    QKeyEvent other(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(native, &press);
    QApplication::sendEvent(native, &release);
    QApplication::sendEvent(native, &other);
    qApp->removeEventFilter(&filter);
    platform::setDebugOutputSink(std::move(previous));
    EXPECT_EQ(lines, std::vector<std::string>{"1"});
    // The filter only watches: the window gets every key, the Insert key included.
    const std::vector<std::pair<QEvent::Type, int>> expected{{QEvent::KeyPress, Qt::Key_Insert},
                                                             {QEvent::KeyRelease, Qt::Key_Insert},
                                                             {QEvent::KeyRelease, Qt::Key_A}};
    EXPECT_EQ(window.keys, expected);
}

}  // namespace
}  // namespace tovrel::shell
