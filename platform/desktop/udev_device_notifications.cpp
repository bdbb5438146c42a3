#include "platform/desktop/udev_device_notifications.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {

constexpr const char* kSubsystems[] = {"video4linux", "sound"};

std::optional<unsigned long> hexOf(const char* text) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 16);
    if (errno != 0 || end == text) return std::nullopt;
    return value;
}

std::string textOf(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

std::unique_ptr<DeviceNotifications> makeUdevDeviceNotifications() {
    return std::make_unique<UdevDeviceNotifications>();
}

UdevDeviceNotifications::UdevDeviceNotifications() = default;

UdevDeviceNotifications::~UdevDeviceNotifications() { unregisterDeviceNotification(); }

std::string UdevDeviceNotifications::interfaceName(uint16_t vendorId, uint16_t productId,
                                                   uint8_t interfaceNumber,
                                                   std::string_view instance) {
    char head[40];
    std::snprintf(head, sizeof head, "USB#VID_%04X&PID_%04X&MI_%02X#", vendorId, productId,
                  interfaceNumber);
    return std::string(head) + std::string(instance);
}

bool UdevDeviceNotifications::isCaptureNode(std::string_view subsystem, std::string_view sysname) {
    if (subsystem == "video4linux") return sysname.starts_with("video");
    if (subsystem == "sound") {
        unsigned card = 0, device = 0;
        char direction = 0;
        int used = 0;
        const std::string name(sysname);
        return std::sscanf(name.c_str(), "pcmC%uD%u%c%n", &card, &device, &direction, &used) == 3 &&
               direction == 'c' && static_cast<size_t>(used) == name.size();
    }
    return false;
}

std::optional<std::string> UdevDeviceNotifications::instanceOf(std::string_view devpath) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= devpath.size()) {
        const size_t slash = devpath.find('/', start);
        const size_t end = slash == std::string_view::npos ? devpath.size() : slash;
        if (end > start) parts.push_back(devpath.substr(start, end - start));
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] == "video4linux" || parts[i] == "sound") {
            // A USB interface's kernel name is bus-ports:config.interface ("1-4.2:1.0").
            const std::string_view name = parts[i - 1];
            const size_t colon = name.find(':');
            const size_t dash = name.find('-');
            if (colon == std::string_view::npos || dash == std::string_view::npos || dash > colon ||
                name.find('.', colon) == std::string_view::npos)
                return std::nullopt;
            return std::string(name);
        }
    }
    return std::nullopt;
}

std::optional<std::string> UdevDeviceNotifications::nameOf(udev_device* device) const {
    const char* devpath = udev_device_get_devpath(device);
    std::optional<std::string> instance = instanceOf(devpath ? devpath : "");
    if (!instance) return std::nullopt;
    std::optional<unsigned long> vendor, product, number;
    if (udev_device* usbInterface =
            udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_interface")) {
        number = hexOf(udev_device_get_sysattr_value(usbInterface, "bInterfaceNumber"));
        if (udev_device* usbDevice =
                udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device")) {
            vendor = hexOf(udev_device_get_sysattr_value(usbDevice, "idVendor"));
            product = hexOf(udev_device_get_sysattr_value(usbDevice, "idProduct"));
        }
    }
    // A removed node's parents are gone from sysfs; the event still carries udev's properties.
    if (!vendor) vendor = hexOf(udev_device_get_property_value(device, "ID_VENDOR_ID"));
    if (!product) product = hexOf(udev_device_get_property_value(device, "ID_MODEL_ID"));
    if (!number) number = hexOf(udev_device_get_property_value(device, "ID_USB_INTERFACE_NUM"));
    if (!vendor || !product || !number || *vendor > 0xFFFF || *product > 0xFFFF || *number > 0xFF)
        return std::nullopt;
    return interfaceName(static_cast<uint16_t>(*vendor), static_cast<uint16_t>(*product),
                         static_cast<uint8_t>(*number), *instance);
}

bool UdevDeviceNotifications::addNode(const std::string& syspath, const std::string& name) {
    if (nodes_.count(syspath)) return false;  // a repeated add of a node already counted
    nodes_[syspath] = name;
    return ++interfaces_[name] == 1;
}

std::optional<std::string> UdevDeviceNotifications::removeNode(const std::string& syspath) {
    auto node = nodes_.find(syspath);
    if (node == nodes_.end()) return std::nullopt;
    const std::string name = node->second;
    nodes_.erase(node);
    auto count = interfaces_.find(name);
    if (count == interfaces_.end() || --count->second > 0) return std::nullopt;
    interfaces_.erase(count);
    return name;
}

void UdevDeviceNotifications::countPresentNodes() {
    udev_enumerate* enumerate = udev_enumerate_new(udev_);
    if (enumerate == nullptr) return;
    for (const char* subsystem : kSubsystems)
        udev_enumerate_add_match_subsystem(enumerate, subsystem);
    udev_enumerate_scan_devices(enumerate);
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
        udev_device* device = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
        if (device == nullptr) continue;
        if (isCaptureNode(textOf(udev_device_get_subsystem(device)),
                          textOf(udev_device_get_sysname(device)))) {
            if (std::optional<std::string> name = nameOf(device))
                addNode(textOf(udev_device_get_syspath(device)), *name);
        }
        udev_device_unref(device);
    }
    udev_enumerate_unref(enumerate);
}

bool UdevDeviceNotifications::registerDeviceNotification(Handler handler) {
    unregisterDeviceNotification();
    udev_ = udev_new();
    if (udev_ == nullptr) {
        logErrno("udev", "udev_new", errno);
        return false;
    }
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr) {
        logErrno("udev", "udev_monitor_new_from_netlink", errno);
        unregisterDeviceNotification();
        return false;
    }
    for (const char* subsystem : kSubsystems)
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem, nullptr);
    if (const int error = udev_monitor_enable_receiving(monitor_); error < 0) {
        logErrno("udev", "udev_monitor_enable_receiving", -error);
        unregisterDeviceNotification();
        return false;
    }
    // Counted after the monitor listens: a node that arrives in between is seen by both, and
    // the second count of the same node is ignored.
    countPresentNodes();
    handler_ = std::move(handler);
    notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &UdevDeviceNotifications::onReadable);
    return true;
}

void UdevDeviceNotifications::unregisterDeviceNotification() {
    if (notifier_) {
        // The handler may unregister from inside the notifier's own signal: no delete there.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    handler_ = nullptr;
    if (monitor_) udev_monitor_unref(monitor_);
    monitor_ = nullptr;
    if (udev_) udev_unref(udev_);
    udev_ = nullptr;
    nodes_.clear();
    interfaces_.clear();
}

void UdevDeviceNotifications::onReadable() {
    // Each wake-up drains what the monitor holds; the handler may unregister meanwhile.
    while (monitor_ != nullptr) {
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (device == nullptr) return;
        const std::string action = textOf(udev_device_get_action(device));
        const std::string syspath = textOf(udev_device_get_syspath(device));
        std::optional<DeviceBroadcastInterface> broadcast;
        uint32_t event = 0;
        if (isCaptureNode(textOf(udev_device_get_subsystem(device)),
                          textOf(udev_device_get_sysname(device)))) {
            if (action == "add") {
                std::optional<std::string> name = nameOf(device);
                if (name && addNode(syspath, *name)) {
                    event = DBT_DEVICEARRIVAL;
                    broadcast = DeviceBroadcastInterface{DBT_DEVTYP_DEVICEINTERFACE, *name};
                }
            } else if (action == "remove") {
                if (std::optional<std::string> name = removeNode(syspath)) {
                    event = DBT_DEVICEREMOVECOMPLETE;
                    broadcast = DeviceBroadcastInterface{DBT_DEVTYP_DEVICEINTERFACE, *name};
                }
            }
        }
        udev_device_unref(device);
        if (broadcast && handler_) {
            Handler handler = handler_;
            handler(event, &*broadcast);
        }
    }
}

}  // namespace tovrel::platform
