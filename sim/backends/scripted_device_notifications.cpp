#include "sim/backends/scripted_device_notifications.h"

#include <QMetaObject>

namespace tovrel::sim {

bool ScriptedDeviceNotifications::registerDeviceNotification(Handler handler) {
    handler_ = std::move(handler);
    ++registration_;
    return true;
}

void ScriptedDeviceNotifications::unregisterDeviceNotification() {
    handler_ = nullptr;
    ++registration_;
}

void ScriptedDeviceNotifications::announce(uint32_t event, const std::string& interfaceName) {
    // Only the registration current at the plug or unplug hears of it: an interface plugged in
    // before a registration is present at it, and those are not announced.
    if (!handler_) return;
    QMetaObject::invokeMethod(
        this,
        [this, event, interfaceName, registration = registration_] {
            if (!handler_ || registration != registration_) return;
            const platform::DeviceBroadcastInterface data{platform::DBT_DEVTYP_DEVICEINTERFACE,
                                                          interfaceName};
            Handler handler = handler_;
            handler(event, &data);
        },
        Qt::QueuedConnection);
}

}  // namespace tovrel::sim
