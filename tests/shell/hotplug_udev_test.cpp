// umockdev's GLib headers first: Qt's keywords (signals) break them.
#include "tests/platform/desktop/udev_capture_bed.h"

#include <gtest/gtest.h>

#include <QImage>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/desktop/udev_device_notifications.h"
#include "shell/preview_presenter.h"
#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"
#include "tests/shell/hotplug_rig.h"

namespace tovrel::shell {
namespace {

using testing::pumpFor;
using testing::pumpUntil;
using testing::UdevCaptureBed;

constexpr char kCaption[] = "Tovrel2-Preview-1920x1080p@60.00";

long long msBetween(std::chrono::steady_clock::time_point from,
                    std::chrono::steady_clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// The main window on the real udev monitor, the simulated box's devices standing in for the
// capture devices the udev nodes would open.
class HotplugWithUdev : public ::testing::Test {
  protected:
    HotplugWithUdev()
        : cwd_(::testing::UnitTest::GetInstance()->current_test_info()->name()), rig_(true) {
        rig_.test.backends.deviceNotifications = platform::makeUdevDeviceNotifications();
    }
    void SetUp() override {
        if (!UdevCaptureBed::available()) GTEST_SKIP() << "needs umockdev-wrapper";
    }
    void create(bool boxAttached) {
        if (boxAttached) rig_.box->attach();
        frame_ = std::make_unique<CTovrel2Frame>(rig_.test.backends, kTovrel2Edition);
        frame_->resize(640, 360);
        frame_->onCreate();
        frame_->show();
        log_.attach(*frame_);
    }
    void TearDown() override {
        if (frame_) frame_->onClose();
    }
    bool framesFlow() {
        const uint64_t before = frame_->presenter().presentedFrames;
        return pumpUntil([&] { return frame_->presenter().presentedFrames > before + 3; }, 5000);
    }
    // Plugs a box in node by node: the video node, a pause, then the audio capture node. Checks
    // that capture comes up once, about a second after the second node.
    void plugInOneByOne(int port, uint16_t vendorId, uint16_t productId, uint8_t audioInterface) {
        const std::string usb = bed_.addUsbDevice(port, vendorId, productId);
        const std::string videoInterface = bed_.addInterface(usb, 0);
        const std::string soundInterface = bed_.addInterface(usb, audioInterface);
        video_ = bed_.addVideoNode(videoInterface, 0);
        pumpFor(300);
        EXPECT_FALSE(log_.has("boxArrived")) << "restarted on the video interface alone";
        const std::string card = bed_.addSoundCard(soundInterface, port);
        const auto secondArrival = std::chrono::steady_clock::now();
        bed_.addSoundNode(card, "pcmC" + std::to_string(port) + "D0c");
        const uint64_t presented = frame_->presenter().presentedFrames;
        ASSERT_TRUE(pumpUntil([&] { return frame_->presenter().presentedFrames > presented; }));
        const auto firstFrame = std::chrono::steady_clock::now();
        pumpFor(500);
        EXPECT_EQ(log_.count("boxArrived"), 1);
        EXPECT_EQ(log_.count("buildUpCapture"), 1);
        const int buildUp = log_.find("buildUpCapture");
        ASSERT_GE(buildUp, 0);
        const long long toBuildUp = msBetween(secondArrival, log_.times[buildUp]);
        EXPECT_GE(toBuildUp, 1000);
        EXPECT_LT(toBuildUp, 2000);
        std::printf("udev: second arrival -> build-up %lld ms, -> first new frame %lld ms\n",
                    toBuildUp, msBetween(secondArrival, firstFrame));
        EXPECT_EQ(frame_->windowTitle().toStdString(), kCaption);
        EXPECT_TRUE(frame_->host().captureManager->streaming);
    }

    testing::ScopedWorkingDirectory cwd_;
    UdevCaptureBed bed_;
    testing::HotplugRig rig_;
    std::unique_ptr<CTovrel2Frame> frame_;
    testing::StepLog log_;
    std::string video_;
};

// A window started without a box (the device message shown), then the box plugged in.
TEST_F(HotplugWithUdev, ABoxPluggedInRestartsCaptureOnceAfterItsSecondInterface) {
    create(false);
    EXPECT_EQ(rig_.test.messageBoxes->boxes.size(), 1u);
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Tovrel2");
    rig_.box->attach();
    plugInOneByOne(1, 0x5D42, 0x0A50, 2);
    EXPECT_TRUE(framesFlow());
    EXPECT_EQ(rig_.test.messageBoxes->boxes.size(), 1u) << "a message on the restart";
    EXPECT_TRUE(frame_->captionTimerActive()) << "a later recording would have no caption timer";
}

TEST_F(HotplugWithUdev, ABoxOfTheSecondFamilyRestartsCaptureLikewise) {
    create(true);
    ASSERT_TRUE(framesFlow());
    plugInOneByOne(2, 0x3C19, 0x0B8F, 3);
    EXPECT_EQ(frame_->host().interfaceMask, 0x30);
    EXPECT_TRUE(framesFlow());
}

// The video interface's removal tears capture down; the window keeps the last picture and its
// caption, and shows no message.
TEST_F(HotplugWithUdev, TheVideoInterfaceRemovedTearsDownAndKeepsTheLastPicture) {
    create(true);
    const std::string usb = bed_.addUsbDevice(3, 0x7B30, 0x4E11);
    const std::string videoNode = bed_.addVideoNode(bed_.addInterface(usb, 0), 0);
    ASSERT_TRUE(framesFlow());
    pumpFor(200);
    log_.clear();
    bed_.removeNode(videoNode);
    ASSERT_TRUE(pumpUntil([&] { return log_.has("releaseCaptureSources"); }));
    EXPECT_EQ(log_.count("boxRemoved"), 1);
    EXPECT_FALSE(frame_->host().captureManager->streaming);
    EXPECT_EQ(frame_->host().devices.videoSource, nullptr);
    EXPECT_EQ(frame_->windowTitle().toStdString(), kCaption);
    EXPECT_TRUE(rig_.test.messageBoxes->boxes.empty());
    const QImage first = frame_->grab().toImage();
    pumpFor(300);
    const QImage second = frame_->grab().toImage();
    bool black = true;
    for (int y = 0; y < first.height() && black; y += 16)
        for (int x = 0; x < first.width() && black; x += 16)
            black = (first.pixel(x, y) & 0xFFFFFF) == 0;
    EXPECT_FALSE(black) << "the last picture is gone";
    EXPECT_EQ(first, second) << "the picture still moves";
}

}  // namespace
}  // namespace tovrel::shell
