#include "sim/backends/scripted_device_notifications.h"

#include <QMetaObject>

namespace tovrel::sim {

bool ScriptedDeviceNotifications::registerDeviceNotification(Handler handler) {
    handler_ = std::move(handler);
    return true;
}

void ScriptedDeviceNotifications::unregisterDeviceNotification() { handler_ = nullptr; }

void ScriptedDeviceNotifications::announce(uint32_t event, const std::string& interfaceName) {
    QMetaObject::invokeMethod(
        this,
        [this, event, interfaceName] {
            if (!handler_) return;
            const platform::DeviceBroadcastInterface data{platform::DBT_DEVTYP_DEVICEINTERFACE,
                                                          interfaceName};
            Handler handler = handler_;
            handler(event, &data);
        },
        Qt::QueuedConnection);
}

}  // namespace tovrel::sim
