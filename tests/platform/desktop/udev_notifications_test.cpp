// umockdev's GLib headers first: Qt's keywords (signals) break them.
#include "tests/platform/desktop/udev_capture_bed.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/desktop/udev_device_notifications.h"
#include "tests/support/event_loop_wait.h"

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
                seen_.emplace_back(event, data->dbcc_name);
                return true;
            }));
    }
    // The next `count` notifications (the monitor's socket is read from the event loop), after
    // a while of the loop in which any beyond them would have come.
    std::vector<Notification> next(size_t count) {
        EXPECT_TRUE(testing::runEventLoopUntil([&] { return seen_.size() >= count; }));
        testing::runEventLoopFor(200);
        return std::exchange(seen_, {});
    }

    UdevCaptureBed bed_;
    UdevDeviceNotifications notifications_;
    std::vector<Notification> seen_;
};

// What the conformance suite cannot tell from the outside: an interface with two nodes is
// removed with its last node, not its first, and a removal seen twice is not a second removal.
TEST_F(UdevNotificationsTest, AnInterfaceIsRemovedWithItsLastNodeOnly) {
    const std::string usb = bed_.addUsbDevice(2, 0x3C19, 0x0B8F);
    const std::string videoInterface = bed_.addInterface(usb, 0);
    const std::string audioInterface = bed_.addInterface(usb, 3);
    const std::string video0 = bed_.addVideoNode(videoInterface, 0);
    const std::string video1 = bed_.addVideoNode(videoInterface, 1);
    const std::string card = bed_.addSoundCard(audioInterface, 2);
    const std::string pcm = bed_.addSoundNode(card, "pcmC2D0c");
    start();

    bed_.removeNode(video1);
    bed_.removeNode(pcm);
    EXPECT_EQ(next(1), (std::vector<Notification>{
                           {DBT_DEVICEREMOVECOMPLETE, "USB#VID_3C19&PID_0B8F&MI_03#1-2:1.3"}}))
        << "the picture node is still there";
    bed_.removeNode(pcm);  // a node that no longer counts
    bed_.removeNode(video0);
    EXPECT_EQ(next(1), (std::vector<Notification>{
                           {DBT_DEVICEREMOVECOMPLETE, "USB#VID_3C19&PID_0B8F&MI_00#1-2:1.0"}}));
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
