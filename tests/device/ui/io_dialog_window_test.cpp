// The Settings window on the display against the simulated box's bridge in real time: what it
// shows, the controls reaching the box, the box leaving or hanging without the window freezing,
// and its modality over the window that opened it.
#include "device/ui/io_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>

#include "device/register_map.h"
#include "device/ui/settings_command.h"
#include "platform/audio/memory_capture_endpoints.h"
#include "sim/bridge/simulated_bridge.h"
#include "sim/bridge/simulated_extension_unit_bus.h"
#include "tests/device/register_lock_probe.h"

namespace tovrel::device::ui {
namespace {

using namespace std::chrono_literals;
using L = IODialogLayout;

const bool kPrivateLockDirectory = testing::usePrivateLockDirectory("io-dialog-window-test");

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = 10'000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QApplication::processEvents();
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

capture::VideoMode mode(uint32_t w, uint32_t h, uint32_t fps) { return {{}, w, h, fps}; }

// The longest the event loop went without running a 10 ms timer, over `span`.
int longestStallMs(std::chrono::milliseconds span) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer ping;
    ping.setInterval(10);
    QObject::connect(&ping, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    ping.start();
    while (clock.elapsed() < span.count()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    return static_cast<int>(std::max(longest, clock.elapsed() - last));
}

// The main window as the Settings window sees it: a catalogue, a session that a restart
// changes, and a caption that shows the running mode.
struct FakeMainWindow {
    SettingsHost::Capture capture;
    std::string caption;
    int restarts = 0;

    FakeMainWindow() {
        capture.modes[0] = {mode(1920, 1080, 60), mode(1280, 720, 60), mode(640, 480, 30)};
        capture.modes[1] = {mode(1920, 1080, 60), mode(1280, 720, 30)};
        capture.firstIndices.firstYuy2Index = 0;
        capture.firstIndices.firstMjpgIndex = 3;
        capture.videoFormat = capture::kFormatYuy2;
        capture.width = 1920;
        capture.height = 1080;
        capture.frameRate = 60.0f;
        updateCaption();
    }
    void updateCaption() {
        caption = "Tovrel2-Preview-" + std::to_string(capture.width) + "x" +
                  std::to_string(capture.height) + "p@" +
                  std::to_string(static_cast<int>(capture.frameRate)) + ".00";
    }
    SettingsHost host(int32_t settingControl) {
        SettingsHost h;
        h.capture = [this] { return capture; };
        h.restartCapture = [this](int32_t w, int32_t hgt, int32_t fps, int32_t format) {
            ++restarts;
            capture.width = static_cast<uint32_t>(w);
            capture.height = static_cast<uint32_t>(hgt);
            capture.frameRate = static_cast<float>(fps);
            capture.videoFormat = format;
            updateCaption();
        };
        h.settingControl = settingControl;
        return h;
    }
};

class SettingsWindowTest : public ::testing::Test {
  protected:
    std::shared_ptr<sim::SimulatedBridge> bridge_ =
        std::make_shared<sim::SimulatedBridge>(platform::SystemClock::instance());
    sim::SimulatedExtensionUnitBus bus_{bridge_};
    platform::MemoryCaptureEndpoints endpoints_{100.0f};
    BoxOperations box_{bus_, platform::SystemClock::instance(), &endpoints_};
    FakeMainWindow window_;
    static constexpr const char* kEndpoint = "Norvik USB Audio Device Analog Stereo";

    SettingsWindowTest() { endpoints_.add(kEndpoint); }
    void TearDown() override {
        bridge_->setFaults({});
        bridge_->setPlugged(true);
    }

    template <typename T>
    static T* widget(CIODialog& dialog, int id) {
        return static_cast<T*>(dialog.control(id));
    }
    static std::string label(CIODialog& dialog, int id) {
        return widget<QLabel>(dialog, id)->text().toStdString();
    }
    bool boxIdle() {
        return waitFor([&] { return box_.worker().idle(); });
    }
};

TEST_F(SettingsWindowTest, ShowsTheBoxAndItsStatusAndFollowsTheSource) {
    CIODialog dialog(box_, window_.host(0));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Settings");
    EXPECT_EQ(dialog.size(), QSize(275, 491)) << "183 x 302 dialog units";
    ASSERT_TRUE(waitFor([&] { return label(dialog, L::kAudioFormatType) == "LPCM"; }, 3000ms))
        << "the first refresh within a second or so";
    EXPECT_EQ(label(dialog, L::kDdcVoltage), "5001 mV");
    EXPECT_EQ(label(dialog, L::kHpdVoltage), "4975 mV");
    EXPECT_EQ(label(dialog, L::kSourceTiming), "1920x1080p@60");
    EXPECT_EQ(label(dialog, L::kAudioSampleRate), "48k");
    EXPECT_EQ(label(dialog, L::kOsMode), "Widnows Mode");
    EXPECT_EQ(label(dialog, L::kFirmwareVersion), "2.12.05");

    auto* list = widget<QComboBox>(dialog, L::kResolutionList);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(1).toStdString(), "1280x720p@60");
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_TRUE(widget<QRadioButton>(dialog, L::kYuy2)->isChecked());
    EXPECT_FALSE(widget<QRadioButton>(dialog, L::kNv12)->isVisible());
    EXPECT_FALSE(widget<QRadioButton>(dialog, L::kNv12)->isEnabled()) << "no NV12 on the device";
    for (int id : L::kRawControls) EXPECT_FALSE(dialog.control(id)->isEnabled()) << id;
    for (int id : L::kDeviceControls) EXPECT_TRUE(dialog.control(id)->isEnabled()) << id;
    EXPECT_EQ(widget<QScrollBar>(dialog, L::kSharpness)->value(), 154) << "read from the box";
    EXPECT_EQ(label(dialog, L::kVolumeValue), "0.0dB");
    dialog.grab().save(QString(SCREENSHOT_DIR) + "/settings_window.png");

    sim::HdmiSourceState source = bridge_->hdmiSource();
    source.timingIndex = 37;  // 1280x720p@60
    source.audioRateCode = 1;
    bridge_->setHdmiSource(source);
    EXPECT_TRUE(waitFor([&] { return label(dialog, L::kSourceTiming) == "1280x720p@60"; }, 3000ms));
    EXPECT_NE(label(dialog, L::kAudioSampleRate), "48k");
}

TEST_F(SettingsWindowTest, AnotherModeAndAnotherFormatRestartTheCapture) {
    CIODialog dialog(box_, window_.host(0));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* list = widget<QComboBox>(dialog, L::kResolutionList);
    list->setCurrentIndex(2);
    QTest::mouseClick(dialog.control(L::kResolutionSet), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return window_.restarts == 1 && !dialog.model().restarting(); }));
    EXPECT_EQ(window_.caption, "Tovrel2-Preview-640x480p@30.00");
    EXPECT_TRUE(dialog.control(L::kResolutionSet)->isEnabled());
    EXPECT_TRUE(waitFor([&] { return dialog.control(L::kBrightness)->isEnabled(); }));

    // The format in use: nothing happens.
    QTest::mouseClick(dialog.control(L::kYuy2), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_FALSE(dialog.model().restarting());
    EXPECT_TRUE(widget<QRadioButton>(dialog, L::kYuy2)->isChecked());

    QTest::mouseClick(dialog.control(L::kMjpeg), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return window_.restarts == 2 && !dialog.model().restarting(); }));
    EXPECT_EQ(window_.caption, "Tovrel2-Preview-1920x1080p@60.00") << "MJPEG's first mode";
    EXPECT_TRUE(widget<QRadioButton>(dialog, L::kMjpeg)->isChecked());
    EXPECT_FALSE(widget<QRadioButton>(dialog, L::kYuy2)->isChecked());
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(1).toStdString(), "1280x720p@30");
    EXPECT_EQ(list->currentIndex(), 0);

    // Closed while a restart is on its way: the restart is let finish, then the window goes.
    ASSERT_TRUE(waitFor([&] { return dialog.control(L::kYuy2)->isEnabled(); }));
    QTest::mouseClick(dialog.control(L::kYuy2), Qt::LeftButton);
    ASSERT_TRUE(dialog.model().restarting());
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(waitFor([&] { return !dialog.isVisible(); }));
    EXPECT_EQ(window_.restarts, 3);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(SettingsWindowTest, RawWriteReadsBackAndDefaultRestoresEveryValue) {
    CIODialog dialog(box_, window_.host(1));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_TRUE(waitFor([&] { return dialog.control(L::kRawSet)->isEnabled(); }));
    auto* command = widget<QLineEdit>(dialog, L::kRawCommand);
    auto* data = widget<QLineEdit>(dialog, L::kRawData);
    QTest::keyClicks(command, "40");
    QTest::keyClicks(data, "-3");  // the low byte: 253
    QTest::mouseClick(dialog.control(L::kRawSet), Qt::LeftButton);
    ASSERT_TRUE(boxIdle());
    EXPECT_EQ(bridge_->readRegister(40), 253);
    data->clear();
    QTest::mouseClick(dialog.control(L::kRawGet), Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] { return data->text() == "253"; }));

    // Every value away from its default, then Default.
    ASSERT_TRUE(waitFor([&] { return dialog.control(L::kBrightness)->isEnabled(); }));
    for (const L::Bar& bar : L::kBars) {
        auto* scroll = widget<QScrollBar>(dialog, bar.id);
        scroll->triggerAction(QAbstractSlider::SliderPageStepSub);
        EXPECT_EQ(scroll->value(), (bar.id == L::kSharpness ? 154
                                    : bar.id == L::kVolume  ? 219
                                                            : 128) -
                                       10)
            << bar.id;
    }
    QTest::mouseClick(dialog.control(L::kMute), Qt::LeftButton);
    EXPECT_TRUE(widget<QCheckBox>(dialog, L::kMute)->isChecked());
    EXPECT_EQ(label(dialog, L::kVolumeValue), "-5.0dB");
    ASSERT_TRUE(boxIdle());
    EXPECT_EQ(bridge_->readRegister(Reg::Hue), 118);
    EXPECT_EQ(bridge_->readRegister(Reg::Mute), 1);

    QTest::mouseClick(dialog.control(L::kDefault), Qt::LeftButton);
    EXPECT_FALSE(widget<QCheckBox>(dialog, L::kMute)->isChecked());
    EXPECT_EQ(label(dialog, L::kVolumeValue), "0.0dB");
    EXPECT_EQ(label(dialog, L::kBrightnessValue), "128");
    EXPECT_EQ(widget<QScrollBar>(dialog, L::kSharpness)->value(), 154);
    ASSERT_TRUE(boxIdle());
    for (uint8_t reg : {Reg::Brightness, Reg::Contrast, Reg::Hue, Reg::Saturation})
        EXPECT_EQ(bridge_->readRegister(reg), 128) << int(reg);
    EXPECT_EQ(bridge_->readRegister(Reg::Sharpness), 154);
    EXPECT_EQ(bridge_->readRegister(Reg::Volume), 219);
    EXPECT_EQ(bridge_->readRegister(Reg::Mute), 0);
    EXPECT_FALSE(endpoints_.state(kEndpoint).muted);
    EXPECT_FLOAT_EQ(endpoints_.state(kEndpoint).levelDb, 64.0f);
}

TEST_F(SettingsWindowTest, TheBoxUnpluggedShowsNoDeviceAndTheWindowStaysResponsive) {
    CIODialog dialog(box_, window_.host(1));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_TRUE(waitFor([&] { return label(dialog, L::kAudioFormatType) == "LPCM"; }, 3000ms));

    bridge_->setPlugged(false);
    ASSERT_TRUE(waitFor([&] { return label(dialog, L::kAudioFormatType) == "No Device"; }, 3000ms));
    for (const L::StatusLabel& s : L::kStatusLabels)
        EXPECT_EQ(label(dialog, s.id), "No Device") << s.id;
    for (int id : L::kDeviceControls) EXPECT_FALSE(dialog.control(id)->isEnabled()) << id;
    for (int id : L::kRawControls) EXPECT_FALSE(dialog.control(id)->isEnabled()) << id;
    EXPECT_TRUE(dialog.control(L::kResolutionSet)->isEnabled());
    EXPECT_LT(longestStallMs(1500ms), 250);
    dialog.grab().save(QString(SCREENSHOT_DIR) + "/settings_window_no_device.png");

    bridge_->setPlugged(true);
    EXPECT_TRUE(waitFor([&] { return dialog.control(L::kMute)->isEnabled(); }, 3000ms));
    EXPECT_EQ(label(dialog, L::kAudioFormatType), "LPCM");
}

TEST_F(SettingsWindowTest, ABoxThatNeverFinishesACommandDoesNotFreezeTheWindow) {
    CIODialog dialog(box_, window_.host(1));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_TRUE(waitFor([&] { return dialog.control(L::kBrightness)->isEnabled(); }));
    sim::BridgeFaults stuck;
    stuck.commandNeverIdle = true;
    // One command first, so that register 0 keeps a number the ready waits never see change.
    widget<QScrollBar>(dialog, L::kContrast)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    ASSERT_TRUE(boxIdle());
    bridge_->setFaults(stuck);

    // A drag across the bar: every move answers at once; the writes pile up as one per bar.
    QElapsedTimer took;
    took.start();
    auto* bar = widget<QScrollBar>(dialog, L::kBrightness);
    for (int i = 0; i < 30; ++i) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QApplication::processEvents();
    }
    EXPECT_LT(took.elapsed(), 1000);
    EXPECT_EQ(bar->value(), 158);
    EXPECT_EQ(label(dialog, L::kBrightnessValue), "158");
    EXPECT_LT(longestStallMs(2500ms), 250) << "status ticks meanwhile do not block the window";
    EXPECT_LE(box_.worker().queued(), 2u) << "one write of the newest value, one status read";

    // The box recovers: what waited reaches it.
    bridge_->setFaults({});
    ASSERT_TRUE(waitFor([&] { return box_.worker().idle(); }, 15'000ms));
    EXPECT_EQ(bridge_->readRegister(Reg::Brightness), 158);
}

// A window whose keys count, as the main window's menu and function keys.
class KeyCountingWindow : public QWidget {
  public:
    int keys = 0;

  protected:
    void keyPressEvent(QKeyEvent*) override { ++keys; }
};

TEST_F(SettingsWindowTest, WhileOpenTheMainWindowTakesNoKeysAndASecondOpenIsRefused) {
    KeyCountingWindow main;
    main.resize(400, 300);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    QDialog* open = nullptr;
    bool checked = false;
    // Whatever goes wrong inside, the modal loop ends.
    QTimer::singleShot(20'000, [&] {
        if (open) open->reject();
    });
    QTimer::singleShot(0, [&] {
        if (!waitFor([&] { return open && open->isVisible(); })) return;
        EXPECT_EQ(QApplication::activeModalWidget(), open);
        QTest::keyClick(main.windowHandle(), Qt::Key_F7);
        QTest::keyClick(main.windowHandle(), Qt::Key_F8);
        QApplication::processEvents();
        EXPECT_EQ(main.keys, 0) << "the main window's keys are not reachable";
        EXPECT_EQ(runSettingsDialog(&main, box_, window_.host(0), open), -1);
        checked = true;
        QTest::keyClick(open, Qt::Key_Escape);
    });
    EXPECT_EQ(runSettingsDialog(&main, box_, window_.host(0), open), QDialog::Rejected);
    EXPECT_TRUE(checked);
    EXPECT_EQ(open, nullptr);
    QTest::keyClick(main.windowHandle(), Qt::Key_F7);
    EXPECT_EQ(main.keys, 1) << "the same key reaches it once the window is closed";
}

}  // namespace
}  // namespace tovrel::device::ui
