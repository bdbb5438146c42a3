#pragma once

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/desktop/device_notifications.h"

class QSocketNotifier;
struct udev;
struct udev_device;
struct udev_monitor;

namespace tovrel::platform {

// DeviceNotifications over a libudev monitor on the "video4linux" and "sound" subsystems. A
// capture node (a video node, a capture PCM) is announced under the USB interface it belongs
// to; an interface with several nodes (a UVC function's picture and metadata nodes) arrives with
// its first node and is removed completely with its last. The nodes present at registration are
// counted without being announced, so that their later removal is recognised.
// GUI thread only.
class UdevDeviceNotifications final : public QObject, public DeviceNotifications {
    Q_OBJECT
  public:
    UdevDeviceNotifications();
    ~UdevDeviceNotifications() override;

    bool registerDeviceNotification(Handler handler) override;
    void unregisterDeviceNotification() override;

    // "USB#VID_xxxx&PID_xxxx&MI_xx#instance", upper-case hex; the instance is the USB
    // interface's kernel name ("1-4:1.0").
    static std::string interfaceName(uint16_t vendorId, uint16_t productId, uint8_t interfaceNumber,
                                     std::string_view instance);
    // Whether a node of the subsystem is a capture node: "videoN", or "pcmCxDyc".
    static bool isCaptureNode(std::string_view subsystem, std::string_view sysname);
    // The USB interface's kernel name in a node's device path: the path element before the
    // subsystem's folder (".../1-4/1-4:1.2/sound/card1/pcmC1D0c" gives "1-4:1.2").
    static std::optional<std::string> instanceOf(std::string_view devpath);

  private:
    void onReadable();
    // The interface name of a node, from its USB parents or, once they are gone, its properties.
    std::optional<std::string> nameOf(udev_device* device) const;
    // Counts the node in; true when it is its interface's first.
    bool addNode(const std::string& syspath, const std::string& name);
    // Counts the node out; the interface's name when it was its last.
    std::optional<std::string> removeNode(const std::string& syspath);
    void countPresentNodes();

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    Handler handler_;
    std::map<std::string, std::string> nodes_;  // node syspath -> interface name
    std::map<std::string, int> interfaces_;     // interface name -> nodes present
};

std::unique_ptr<DeviceNotifications> makeUdevDeviceNotifications();

}  // namespace tovrel::platform
