// The device notifications conformance suite against both backends.
#ifdef TOVREL_HAVE_UMOCKDEV
// umockdev's GLib headers first: Qt's keywords (signals) break them.
#include "tests/platform/desktop/udev_capture_bed.h"
#endif

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "platform/desktop/udev_device_notifications.h"
#include "platform/media/device_list_enumerator.h"
#include "sim/backends/scripted_device_notifications.h"
#include "sim/backends/scripted_power_notifications.h"
#include "sim/backends/simulated_box.h"
#include "tests/platform/desktop/device_notifications_conformance.h"
#include "tests/support/event_loop_wait.h"

namespace tovrel::platform::testing {
namespace {

#ifdef TOVREL_HAVE_UMOCKDEV
// A box in umockdev's sysfs: a UVC function with its picture and metadata nodes, and a sound
// interface whose card has a capture, a playback and a control node (only the capture counts).
class UdevBackend final : public DeviceBackend {
  public:
    DeviceNotifications& notifications() override { return notifications_; }
    std::vector<std::string> plug() override {
        if (usb_.empty()) {
            usb_ = bed_.addUsbDevice(1, 0x5D42, 0x0A50);
            videoInterface_ = bed_.addInterface(usb_, 0);
            audioInterface_ = bed_.addInterface(usb_, 2);
        }
        add(bed_.addVideoNode(videoInterface_, 0));
        add(bed_.addVideoNode(videoInterface_, 1));
        const std::string card = add(bed_.addSoundCard(audioInterface_, 1));
        add(bed_.addSoundNode(card, "controlC1"));
        add(bed_.addSoundNode(card, "pcmC1D0p"));
        add(bed_.addSoundNode(card, "pcmC1D0c"));
        return {"USB#VID_5D42&PID_0A50&MI_00#1-1:1.0", "USB#VID_5D42&PID_0A50&MI_02#1-1:1.2"};
    }
    void unplug() override {
        // Children before their card, as the kernel takes them away.
        while (!nodes_.empty()) {
            bed_.removeNode(nodes_.back());
            nodes_.pop_back();
            letTheMonitorRead();
        }
    }
    // The monitor's socket is read from the event loop; umockdev sends at once, so a short
    // while of the loop is plenty (too short only lets a wrong notification go unseen).
    void settle() override { tovrel::testing::runEventLoopFor(300); }

  private:
    const std::string& add(std::string node) {
        nodes_.push_back(std::move(node));
        letTheMonitorRead();
        return nodes_.back();
    }
    // umockdev sends each uevent without waiting, into a socket that holds only a few (the
    // system's datagram queue): the event loop reads them as the nodes appear, as it would
    // while a real box is being plugged in.
    void letTheMonitorRead() { QCoreApplication::processEvents(); }

    tovrel::testing::UdevCaptureBed bed_;
    UdevDeviceNotifications notifications_;
    std::string usb_, videoInterface_, audioInterface_;
    std::vector<std::string> nodes_;
};
#endif

// The simulated box's "plug" and "unplug" lines.
class ScriptedBackend final : public DeviceBackend {
  public:
    DeviceNotifications& notifications() override { return notifications_; }
    std::vector<std::string> plug() override {
        EXPECT_EQ(box_.command("plug"), "ok: plugged in QUORVA PX50h");
        return {box_.videoInterfaceName(), box_.audioInterfaceName()};
    }
    void unplug() override { EXPECT_EQ(box_.command("unplug"), "ok: unplugged QUORVA PX50h"); }
    // The announcements are posted to the event loop: what is posted now runs after them.
    void settle() override {
        bool reached = false;
        QMetaObject::invokeMethod(
            &notifications_, [&reached] { reached = true; }, Qt::QueuedConnection);
        while (!reached) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

  private:
    DeviceListEnumerator devices_;
    sim::ScriptedDeviceNotifications notifications_;
    sim::ScriptedPowerNotifications power_{nullptr};
    sim::SimulatedBox box_{sim::kDefaultBoxModel, sim::SimulatedStream::Pacing::Stepped, devices_,
                           notifications_, power_};
};

INSTANTIATE_TEST_SUITE_P(
    EveryBackend, DeviceNotificationsConformance,
    ::testing::Values(DeviceCase{"Udev",
                                 [](std::string& reason) -> std::unique_ptr<DeviceBackend> {
#ifdef TOVREL_HAVE_UMOCKDEV
                                     if (tovrel::testing::UdevCaptureBed::available())
                                         return std::make_unique<UdevBackend>();
                                     reason = "needs umockdev-wrapper (run through ctest)";
#else
                                     reason = "built without umockdev";
#endif
                                     return nullptr;
                                 }},
                      DeviceCase{"ScriptedSimulatedBox",
                                 [](std::string&) -> std::unique_ptr<DeviceBackend> {
                                     return std::make_unique<ScriptedBackend>();
                                 }}),
    deviceCaseName);

}  // namespace
}  // namespace tovrel::platform::testing
