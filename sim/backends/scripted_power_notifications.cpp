#include "sim/backends/scripted_power_notifications.h"

#include <QMetaObject>

namespace tovrel::sim {

ScriptedPowerNotifications::ScriptedPowerNotifications(
    std::unique_ptr<platform::PowerNotifications> machine)
    : machine_(std::move(machine)) {}

ScriptedPowerNotifications::~ScriptedPowerNotifications() { unregisterPowerNotification(); }

bool ScriptedPowerNotifications::registerPowerNotification(Handler handler) {
    handler_ = handler;
    // Without the machine's notifications the scripted ones still arrive.
    if (machine_) machine_->registerPowerNotification(std::move(handler));
    return true;
}

void ScriptedPowerNotifications::unregisterPowerNotification() {
    handler_ = nullptr;
    if (machine_) machine_->unregisterPowerNotification();
}

platform::PowerCapabilities ScriptedPowerNotifications::getPwrCapabilities() const {
    return machine_ ? machine_->getPwrCapabilities() : platform::PowerCapabilities{};
}

void ScriptedPowerNotifications::sleep() { deliver(platform::PBT_APMSUSPEND); }

void ScriptedPowerNotifications::wake() { deliver(platform::PBT_APMRESUMEAUTOMATIC); }

void ScriptedPowerNotifications::deliver(uint32_t event) {
    QMetaObject::invokeMethod(
        this,
        [this, event] {
            if (!handler_) return;
            Handler handler = handler_;
            handler(event, nullptr);
        },
        Qt::QueuedConnection);
}

}  // namespace tovrel::sim
