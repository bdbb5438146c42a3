// umockdev's GLib headers first: Qt's keywords (signals) break them.
#include "tests/platform/desktop/udev_capture_bed.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <string>
#include <utility>
#include <vector>

#include "platform/desktop/udev_device_notifications.h"

namespace tovrel::platform {
namespace {

using testing::UdevCaptureBed;
using Notification = std::pair<uint32_t, std::string>;

class UdevNotificationsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!UdevCaptureBed::available()) GTEST_SKIP() << "needs umockdev-wrapper";
    }
    void start() {
        ASSERT_TRUE(notifications_.registerDeviceNotification(
            [this](uint32_t event, const DeviceBroadcastInterface* data) {
                EXPECT_EQ(data->dbcc_devicetype, DBT_DEVTYP_DEVICEINTERFACE);
                seen_.emplace_back(event, data->dbcc_name);
                return true;
            }));
    }
    // What arrived by now (the monitor's socket is read from the event loop).
    std::vector<Notification> drain() {
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(5);
        }
        return std::exchange(seen_, {});
    }

    UdevCaptureBed bed_;
    UdevDeviceNotifications notifications_;
    std::vector<Notification> seen_;
};

const std::string kVideo = "USB#VID_5D42&PID_0A50&MI_00#1-1:1.0";
const std::string kAudio = "USB#VID_5D42&PID_0A50&MI_02#1-1:1.2";

// A box plugged in: each interface is announced once, when its first capture node appears, in
// the form the box texts match; nodes that capture nothing (playback, control, the card itself)
// are not interfaces of interest.
TEST_F(UdevNotificationsTest, EachCaptureInterfaceArrivesOnceUnderItsUsbName) {
    start();
    const std::string usb = bed_.addUsbDevice(1, 0x5D42, 0x0A50);
    const std::string videoInterface = bed_.addInterface(usb, 0);
    const std::string audioInterface = bed_.addInterface(usb, 2);
    bed_.addVideoNode(videoInterface, 0);
    EXPECT_EQ(drain(), (std::vector<Notification>{{DBT_DEVICEARRIVAL, kVideo}}));
    bed_.addVideoNode(videoInterface, 1);  // the UVC function's metadata node
    EXPECT_TRUE(drain().empty());
    const std::string card = bed_.addSoundCard(audioInterface, 1);
    bed_.addSoundNode(card, "controlC1");
    bed_.addSoundNode(card, "pcmC1D0p");
    EXPECT_TRUE(drain().empty());
    bed_.addSoundNode(card, "pcmC1D0c");
    EXPECT_EQ(drain(), (std::vector<Notification>{{DBT_DEVICEARRIVAL, kAudio}}));
}

// Removal is complete only with an interface's last node; nodes present before registration
// are not announced, but their removal is.
TEST_F(UdevNotificationsTest, AnInterfaceIsRemovedWithItsLastNodeAlsoWhenItWasThereBefore) {
    const std::string usb = bed_.addUsbDevice(2, 0x3C19, 0x0B8F);
    const std::string videoInterface = bed_.addInterface(usb, 0);
    const std::string audioInterface = bed_.addInterface(usb, 3);
    const std::string video0 = bed_.addVideoNode(videoInterface, 0);
    const std::string video1 = bed_.addVideoNode(videoInterface, 1);
    const std::string card = bed_.addSoundCard(audioInterface, 2);
    const std::string pcm = bed_.addSoundNode(card, "pcmC2D0c");
    drain();
    start();
    EXPECT_TRUE(drain().empty()) << "present at registration";

    bed_.removeNode(video1);
    EXPECT_TRUE(drain().empty()) << "the picture node is still there";
    bed_.removeNode(video0);
    bed_.removeNode(pcm);
    EXPECT_EQ(drain(), (std::vector<Notification>{
                           {DBT_DEVICEREMOVECOMPLETE, "USB#VID_3C19&PID_0B8F&MI_00#1-2:1.0"},
                           {DBT_DEVICEREMOVECOMPLETE, "USB#VID_3C19&PID_0B8F&MI_03#1-2:1.3"}}));
    // A node that never counted (a removal seen twice) is not a second removal.
    bed_.removeNode(pcm);
    EXPECT_TRUE(drain().empty());

    notifications_.unregisterDeviceNotification();
    bed_.addVideoNode(videoInterface, 0);
    EXPECT_TRUE(drain().empty()) << "told after unregistering";
}

TEST(UdevDeviceNotificationsNames, FollowTheUsbInterfaceForm) {
    EXPECT_EQ(UdevDeviceNotifications::interfaceName(0x5d42, 0x0a50, 2, "3-1.4:1.2"),
              "USB#VID_5D42&PID_0A50&MI_02#3-1.4:1.2");
    EXPECT_TRUE(UdevDeviceNotifications::isCaptureNode("video4linux", "video12"));
    EXPECT_FALSE(UdevDeviceNotifications::isCaptureNode("video4linux", "v4l-subdev0"));
    EXPECT_TRUE(UdevDeviceNotifications::isCaptureNode("sound", "pcmC10D3c"));
    EXPECT_FALSE(UdevDeviceNotifications::isCaptureNode("sound", "pcmC1D0p"));
    EXPECT_FALSE(UdevDeviceNotifications::isCaptureNode("sound", "pcmC1D0cx"));
    EXPECT_FALSE(UdevDeviceNotifications::isCaptureNode("sound", "controlC1"));
    EXPECT_FALSE(UdevDeviceNotifications::isCaptureNode("input", "video0"));
    EXPECT_EQ(UdevDeviceNotifications::instanceOf(
                  "/devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.2/sound/card1/pcmC1D0c"),
              "3-1:1.2");
    EXPECT_EQ(UdevDeviceNotifications::instanceOf("/devices/3-1/3-1:1.0/video4linux/video0"),
              "3-1:1.0");
    // Not behind a USB interface (a PCI card, a virtual device): no USB name to give.
    EXPECT_EQ(UdevDeviceNotifications::instanceOf("/devices/pci0000:00/video4linux/video0"),
              std::nullopt);
    EXPECT_EQ(UdevDeviceNotifications::instanceOf("/devices/virtual/sound/card0/pcmC0D0c"),
              std::nullopt);
}

}  // namespace
}  // namespace tovrel::platform
