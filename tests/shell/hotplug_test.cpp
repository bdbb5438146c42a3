#include <gtest/gtest.h>

#include <QImage>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "shell/box_interfaces.h"
#include "shell/capture_participant.h"
#include "shell/preview_presenter.h"
#include "shell/shell_texts.h"
#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"
#include "tests/shell/hotplug_rig.h"

namespace tovrel::shell {
namespace {

using platform::DBT_DEVICEARRIVAL;
using platform::DBT_DEVICEREMOVECOMPLETE;
using platform::DeviceBroadcastInterface;
using testing::HotplugRig;
using testing::pumpFor;
using testing::pumpUntil;
using testing::StepLog;

DeviceBroadcastInterface named(const std::string& name) {
    return DeviceBroadcastInterface{platform::DBT_DEVTYP_DEVICEINTERFACE, name};
}

std::string usbName(const char* ids) { return std::string("USB#") + ids + "#1-3:1.0"; }

constexpr char kCaption[] = "Tovrel2-Preview-1920x1080p@60.00";

// --- the device-change handler, without devices (manual clock: the waits take no time) ---

TEST(DeviceChange, AnswersFalseForWhatIsNotAnInterfaceArrivalOrRemoval) {
    testing::ScopedWorkingDirectory cwd("device-change-false");
    testing::TestBackends test;
    CTovrel2Frame frame(test.backends, kTovrel2Edition);
    const DeviceBroadcastInterface video = named(usbName("VID_5D42&PID_0A50&MI_00"));
    EXPECT_FALSE(frame.host().onDeviceChange(DBT_DEVICEARRIVAL, nullptr));
    DeviceBroadcastInterface port = video;
    port.dbcc_devicetype = 3;  // a port, not an interface
    EXPECT_FALSE(frame.host().onDeviceChange(DBT_DEVICEARRIVAL, &port));
    EXPECT_FALSE(frame.host().onDeviceChange(0x8001, &video));  // a query to remove
    EXPECT_EQ(frame.host().interfaceMask, 0);
    EXPECT_TRUE(frame.host().onDeviceChange(DBT_DEVICEARRIVAL, &video));
    EXPECT_EQ(frame.host().interfaceMask, BoxInterfaces::kVideo);
    const DeviceBroadcastInterface other = named("USB#VID_046D&PID_0825&MI_00#1-2:1.0");
    EXPECT_TRUE(frame.host().onDeviceChange(DBT_DEVICEARRIVAL, &other))
        << "handled, though not a box";
    EXPECT_TRUE(frame.host().onDeviceChange(DBT_DEVICEREMOVECOMPLETE, &other));
    EXPECT_EQ(frame.host().interfaceMask, BoxInterfaces::kVideo);
}

// Every box of the table: capture comes up once, only after both of its interfaces arrived (in
// either order), from a message that runs after the notification returned; the box is gone by
// its video interface alone.
TEST(DeviceChange, EachFamilyArrivesWithBothInterfacesAndLeavesWithItsVideo) {
    testing::ScopedWorkingDirectory cwd("device-change-families");
    struct Box {
        const char* video;
        const char* audio;
        uint8_t mask;
    };
    const Box boxes[] = {
        {"VID_6A21&PID_1C07&MI_00", "VID_6A21&PID_1C07&MI_02", 0x03},
        {"VID_7B30&PID_4E11&MI_00", "VID_7B30&PID_4E11&MI_02", 0x03},
        {"VID_7B30&PID_4E12&MI_00", "VID_7B30&PID_4E12&MI_02", 0x03},
        {"VID_5D42&PID_0A60&MI_00", "VID_5D42&PID_0A60&MI_02", 0x03},
        {"VID_5D42&PID_0A50&MI_00", "VID_5D42&PID_0A50&MI_02", 0x03},
        {"VID_3C19&PID_0B8F&MI_00", "VID_3C19&PID_0B8F&MI_03", 0x30},
    };
    for (const Box& box : boxes) {
        for (bool audioFirst : {false, true}) {
            SCOPED_TRACE(std::string(box.video) + (audioFirst ? " audio first" : " video first"));
            testing::TestBackends test;
            CTovrel2Frame frame(test.backends, kTovrel2Edition);
            StepLog log;
            log.attach(frame);
            const DeviceBroadcastInterface video = named(usbName(box.video));
            const DeviceBroadcastInterface audio = named(usbName(box.audio));
            EXPECT_TRUE(
                frame.host().onDeviceChange(DBT_DEVICEARRIVAL, audioFirst ? &audio : &video));
            QCoreApplication::sendPostedEvents();
            EXPECT_FALSE(log.has("boxArrived")) << "one interface is not a box";
            EXPECT_TRUE(
                frame.host().onDeviceChange(DBT_DEVICEARRIVAL, audioFirst ? &video : &audio));
            EXPECT_EQ(frame.host().interfaceMask, box.mask);
            EXPECT_FALSE(log.has("boxArrived")) << "the restart must wait for the handler's return";
            QCoreApplication::sendPostedEvents();
            EXPECT_EQ(log.count("boxArrived"), 1);
            EXPECT_EQ(log.count("buildUpCapture"), 1);
            EXPECT_EQ(test.clock.totalSleptMs(), 1200u) << "500 ms, the teardown's 2 x 100, 500 ms";
            EXPECT_EQ(frame.host().interfaceMask, box.mask) << "kept until the next removal";

            log.clear();
            EXPECT_TRUE(frame.host().onDeviceChange(DBT_DEVICEREMOVECOMPLETE, &audio));
            QCoreApplication::sendPostedEvents();
            EXPECT_FALSE(log.has("boxRemoved")) << "the audio interface alone removes nothing";
            EXPECT_TRUE(frame.host().onDeviceChange(DBT_DEVICEREMOVECOMPLETE, &video));
            QCoreApplication::sendPostedEvents();
            EXPECT_EQ(log.count("boxRemoved"), 1);
            EXPECT_EQ(log.count("tearDownCapture"), 1);
            EXPECT_EQ(frame.host().interfaceMask, 0);
        }
    }
}

TEST(DeviceChange, InterfacesOfTwoFamiliesMakeNoBox) {
    testing::ScopedWorkingDirectory cwd("device-change-mixed");
    testing::TestBackends test;
    CTovrel2Frame frame(test.backends, kTovrel2Edition);
    StepLog log;
    log.attach(frame);
    const DeviceBroadcastInterface video = named(usbName("VID_7B30&PID_4E11&MI_00"));
    const DeviceBroadcastInterface audio = named(usbName("VID_3C19&PID_0B8F&MI_03"));
    frame.host().onDeviceChange(DBT_DEVICEARRIVAL, &video);
    frame.host().onDeviceChange(DBT_DEVICEARRIVAL, &audio);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(frame.host().interfaceMask, 0x21);
    EXPECT_FALSE(log.has("boxArrived"));
}

// --- plug and unplug of the simulated box, in real time ---

QImage grabbed(CTovrel2Frame& frame) { return frame.grab().toImage(); }

bool allBlack(const QImage& image) {
    for (int y = 0; y < image.height(); y += 16)
        for (int x = 0; x < image.width(); x += 16)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0) return false;
    return true;
}

class SimulatedHotplug : public ::testing::Test {
  protected:
    SimulatedHotplug()
        : cwd_(::testing::UnitTest::GetInstance()->current_test_info()->name()), rig_(true) {
        rig_.box->attach();
        frame_ = std::make_unique<CTovrel2Frame>(rig_.test.backends, kTovrel2Edition);
        frame_->resize(640, 360);
        EXPECT_EQ(frame_->onCreate(), 0);
        frame_->show();
        log_.attach(*frame_);
    }
    ~SimulatedHotplug() override {
        frame_->onClose();
        frame_.reset();
    }
    bool framesFlow() {
        const uint64_t before = frame_->presenter().presentedFrames;
        return pumpUntil([&] { return frame_->presenter().presentedFrames > before + 3; }, 5000);
    }
    void unplug() {
        std::string message;
        ASSERT_TRUE(rig_.box->unplug(&message)) << message;
        ASSERT_TRUE(
            pumpUntil([&] { return log_.has("boxRemoved") && log_.has("releaseCaptureSources"); }));
    }

    testing::ScopedWorkingDirectory cwd_;
    HotplugRig rig_;
    std::unique_ptr<CTovrel2Frame> frame_;
    StepLog log_;
};

TEST_F(SimulatedHotplug, UnplugStopsThePictureAndPlugBringsItBackOnceAboutASecondLater) {
    ASSERT_TRUE(frame_->host().captureManager && frame_->host().captureManager->streaming);
    ASSERT_TRUE(framesFlow());

    unplug();
    EXPECT_FALSE(frame_->host().captureManager->streaming);
    EXPECT_EQ(frame_->host().devices.videoSource, nullptr);
    EXPECT_EQ(frame_->host().devices.audioSource, nullptr);
    EXPECT_EQ(frame_->host().interfaceMask, 0);
    EXPECT_EQ(frame_->windowTitle().toStdString(), kCaption) << "the caption stays";
    // The window keeps the last picture, and it stands still.
    const QImage first = grabbed(*frame_);
    pumpFor(300);
    const QImage second = grabbed(*frame_);
    EXPECT_FALSE(allBlack(first)) << "the last picture is gone";
    EXPECT_EQ(first, second) << "the picture still moves after the unplug";

    log_.clear();
    testing::DebugCapture debug;
    const uint64_t presentedBefore = frame_->presenter().presentedFrames;
    std::string message;
    ASSERT_TRUE(rig_.box->plug(&message)) << message;
    ASSERT_TRUE(pumpUntil([&] { return frame_->presenter().presentedFrames > presentedBefore; }));
    const auto firstFrame = std::chrono::steady_clock::now();
    EXPECT_EQ(log_.count("boxArrived"), 1);
    EXPECT_EQ(log_.count("buildUpCapture"), 1);
    EXPECT_TRUE(rig_.test.messageBoxes->boxes.empty());
    EXPECT_EQ(frame_->windowTitle().toStdString(), kCaption);
    EXPECT_TRUE(frame_->host().captureManager->streaming);
    EXPECT_TRUE(framesFlow());

    // The second arrival is the audio interface; capture restarts about a second after it.
    const auto secondArrival = debug.timeOf(rig_.box->audioInterfaceName());
    ASSERT_NE(secondArrival, std::chrono::steady_clock::time_point{});
    EXPECT_LT(debug.timeOf(rig_.box->videoInterfaceName()), secondArrival);
    const auto buildUp = log_.times[static_cast<size_t>(log_.find("buildUpCapture"))];
    const auto ms = [](auto d) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    };
    EXPECT_GE(ms(buildUp - secondArrival), 1000);
    EXPECT_LT(ms(buildUp - secondArrival), 2000);
    std::printf("second arrival -> build-up %lld ms, -> first new frame on screen %lld ms\n",
                static_cast<long long>(ms(buildUp - secondArrival)),
                static_cast<long long>(ms(firstFrame - secondArrival)));
    RecordProperty("arrival_to_first_frame_ms", static_cast<int>(ms(firstFrame - secondArrival)));
}

// The recording is finished while its frames still flow: before streaming stops and the
// session closes, on an unplug as on a sleep.
TEST_F(SimulatedHotplug, UnplugAndSleepFinishTheRecordingBeforeTheTeardown) {
    int stops = 0;
    frame_->entryPoints.StopRecording = [&] {
        ++stops;
        log_.add("StopRecording");
        frame_->host().captureManager->recording = false;
    };
    frame_->host().captureManager->recording = true;
    frame_->setCaptionState("Capture(00:01:23)");
    unplug();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(frame_->windowTitle().toStdString(), kCaption)
        << "the cut recording is no longer shown as running";
    const int stop = log_.find("StopRecording");
    ASSERT_GE(stop, 0);
    EXPECT_LT(log_.find("tearDownCapture"), stop);
    EXPECT_LT(stop, log_.find("stopStreaming"));
    EXPECT_LT(stop, log_.find("closeSession"));

    std::string message;
    ASSERT_TRUE(rig_.box->plug(&message));
    ASSERT_TRUE(pumpUntil([&] { return log_.has("startStreaming"); }));
    log_.clear();
    frame_->host().captureManager->recording = true;
    frame_->setCaptionState("Capture(00:00:05)");
    frame_->host().onPowerBroadcast(platform::PBT_APMSUSPEND, nullptr);
    EXPECT_EQ(stops, 2);
    EXPECT_EQ(frame_->windowTitle().toStdString(), kCaption);
    EXPECT_LT(log_.find("StopRecording"), log_.find("stopStreaming"));
    EXPECT_FALSE(frame_->host().captureManager->streaming);
}

// What follows the restarts (the analyzer's worker) hears of them around the teardown and the
// build-up, and only while registered.
TEST_F(SimulatedHotplug, AParticipantStopsBeforeTheTeardownAndRestartsAfterTheBuildUp) {
    struct Logged final : CaptureParticipant {
        explicit Logged(StepLog& log) : log(log) {}
        void captureStopping() override { log.add("captureStopping"); }
        void captureStarted() override { log.add("captureStarted"); }
        StepLog& log;
    } participant(log_);
    // Not registered: not called.
    unplug();
    EXPECT_FALSE(log_.has("captureStopping"));

    frame_->host().addParticipant(participant);
    log_.clear();
    std::string message;
    ASSERT_TRUE(rig_.box->plug(&message));
    ASSERT_TRUE(pumpUntil([&] { return log_.has("captureStarted"); }));
    EXPECT_LT(log_.find("captureStopping"), log_.find("tearDownCapture"));
    EXPECT_LT(log_.find("startStreaming"), log_.find("captureStarted"));
    frame_->host().removeParticipant(participant);
}

// --- sleep and resume ---

TEST_F(SimulatedHotplug, SleepTearsDownAndWakeBuildsUpWithTheirDebugTexts) {
    testing::DebugCapture debug;
    std::string message;
    rig_.power->sleep();
    ASSERT_TRUE(
        pumpUntil([&] { return log_.has("suspend") && log_.has("releaseCaptureSources"); }));
    EXPECT_EQ(frame_->host().suspended, 1);
    EXPECT_FALSE(frame_->host().captureManager->streaming);
    EXPECT_EQ(frame_->host().devices.videoSource, nullptr);

    rig_.power->wake();
    ASSERT_TRUE(pumpUntil([&] { return log_.has("resume") && log_.has("startStreaming"); }));
    EXPECT_EQ(frame_->host().suspended, 0);
    EXPECT_TRUE(frame_->host().captureManager->streaming);
    EXPECT_EQ(frame_->windowTitle().toStdString(), kCaption);
    EXPECT_EQ(log_.find("tearDownCapture", log_.find("resume")), -1)
        << "nothing to tear down after a sleep";
    EXPECT_TRUE(framesFlow());

    std::vector<std::string> power;
    for (const std::string& line : debug.lines())
        if (line.starts_with("++WM_POWERBROADCAST++")) power.push_back(line);
    EXPECT_EQ(power,
              (std::vector<std::string>{ShellTexts::kPowerSuspending, ShellTexts::kPowerSuspended,
                                        ShellTexts::kPowerResuming}));
    EXPECT_TRUE(rig_.test.messageBoxes->boxes.empty());
}

TEST_F(SimulatedHotplug, AResumeWhileCaptureRunsTearsDownFirst) {
    ASSERT_TRUE(frame_->host().captureManager->streaming);
    frame_->host().onPowerBroadcast(platform::PBT_APMRESUMEAUTOMATIC, nullptr);
    const int resume = log_.find("resume");
    const int down = log_.find("tearDownCapture", resume);
    const int up = log_.find("buildUpCapture", resume);
    ASSERT_GE(down, 0) << "built up over the running capture";
    EXPECT_LT(log_.find("stopStreaming", down), up);
    EXPECT_LT(log_.find("releaseCaptureSources", down), up);
    EXPECT_TRUE(frame_->host().captureManager->streaming);
    EXPECT_TRUE(framesFlow());
}

// Display power counts only on machines with modern standby, and only as a change of state.
TEST(PowerBroadcast, DisplayEventsActOnlyWithModernStandby) {
    testing::ScopedWorkingDirectory cwd("power-display");
    testing::TestBackends test;
    CTovrel2Frame frame(test.backends, kTovrel2Edition);
    StepLog log;
    log.attach(frame);
    platform::PowerBroadcastSetting off{platform::GUID_MONITOR_POWER_ON, 4, 0};
    platform::PowerBroadcastSetting on{platform::GUID_MONITOR_POWER_ON, 4, 1};
    platform::PowerBroadcastSetting otherSetting = off;
    otherSetting.PowerSetting.data1 ^= 1;

    EXPECT_TRUE(frame.host().onPowerBroadcast(platform::PBT_POWERSETTINGCHANGE, &off));
    EXPECT_FALSE(log.has("suspend")) << "without modern standby the display is only a display";

    frame.host().powerCaps.AoAc = true;
    frame.host().onPowerBroadcast(platform::PBT_POWERSETTINGCHANGE, nullptr);
    frame.host().onPowerBroadcast(platform::PBT_POWERSETTINGCHANGE, &otherSetting);
    frame.host().onPowerBroadcast(platform::PBT_POWERSETTINGCHANGE, &on);  // on while not suspended
    EXPECT_TRUE(log.steps.empty());
    frame.host().onPowerBroadcast(platform::PBT_POWERSETTINGCHANGE, &off);
    EXPECT_EQ(log.count("suspend"), 1);
    EXPECT_EQ(frame.host().suspended, 1);
    frame.host().onPowerBroadcast(platform::PBT_POWERSETTINGCHANGE, &off);
    EXPECT_EQ(log.count("suspend"), 1) << "off twice is one suspend";
    frame.host().onPowerBroadcast(platform::PBT_POWERSETTINGCHANGE, &on);
    EXPECT_EQ(log.count("resume"), 1);
    EXPECT_EQ(frame.host().suspended, 0);
    // Sleep and wake act whatever `suspended` holds.
    frame.host().onPowerBroadcast(platform::PBT_APMRESUMEAUTOMATIC, nullptr);
    EXPECT_EQ(log.count("resume"), 2);
}

TEST(PowerBroadcast, OtherEventsAreOnlyWrittenDown) {
    testing::ScopedWorkingDirectory cwd("power-other");
    testing::TestBackends test;
    CTovrel2Frame frame(test.backends, kTovrel2Edition);
    StepLog log;
    log.attach(frame);
    testing::DebugCapture debug;
    EXPECT_TRUE(frame.host().onPowerBroadcast(10, nullptr));  // a power-status change
    EXPECT_TRUE(log.steps.empty());
    EXPECT_EQ(debug.lines(),
              std::vector<std::string>{"++WM_POWERBROADCAST++ (wParam=10,lParam=0)\n"});
}

// A window that started without a box has no caption timer; the first restart that brings
// capture up (here a mode change) starts it, as a box arrival does, so that a recording started
// afterwards shows its time and tells the box.
TEST(Restart, StartsTheCaptionTimerOfAWindowThatStartedWithoutABox) {
    testing::ScopedWorkingDirectory cwd("restart-timer");
    HotplugRig rig(false);
    CTovrel2Frame frame(rig.test.backends, kTovrel2Edition);
    frame.onCreate();
    ASSERT_FALSE(frame.captionTimerActive());
    rig.box->attach();
    frame.host().restartCapture(0, 0, 0, 0);
    EXPECT_TRUE(frame.captionTimerActive());
    EXPECT_TRUE(frame.host().captureManager->sessionOpen);
    frame.onClose();
}

// After the shutdown a late notification brings nothing up again (and shows no message).
TEST(PowerBroadcast, NothingRestartsAfterTheShutdown) {
    testing::ScopedWorkingDirectory cwd("after-close");
    testing::TestBackends test;
    CTovrel2Frame frame(test.backends, kTovrel2Edition);
    frame.onCreate();
    frame.onClose();
    const size_t boxes = test.messageBoxes->boxes.size();
    StepLog log;
    log.attach(frame);
    frame.host().onPowerBroadcast(platform::PBT_APMRESUMEAUTOMATIC, nullptr);
    const DeviceBroadcastInterface video = named(usbName("VID_5D42&PID_0A50&MI_00"));
    const DeviceBroadcastInterface audio = named(usbName("VID_5D42&PID_0A50&MI_02"));
    frame.host().onDeviceChange(DBT_DEVICEARRIVAL, &video);
    frame.host().onDeviceChange(DBT_DEVICEARRIVAL, &audio);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(log.steps.empty());
    EXPECT_EQ(test.messageBoxes->boxes.size(), boxes);
}

}  // namespace
}  // namespace tovrel::shell
