#include "sim/backends/scripted_power_notifications.h"

#include <QMetaObject>

namespace tovrel::sim {

ScriptedPowerNotifications::ScriptedPowerNotifications(
    std::unique_ptr<platform::PowerNotifications> machine)
    : machine_(std::move(machine)) {}

ScriptedPowerNotifications::~ScriptedPowerNotifications() { unregisterPowerNotification(); }

bool ScriptedPowerNotifications::registerPowerNotification(Handler handler) {
    handler_ = handler;
    ++registration_;
    // Without the machine's notifications the scripted ones still arrive.
    if (machine_) machine_->registerPowerNotification(std::move(handler));
    return true;
}

void ScriptedPowerNotifications::unregisterPowerNotification() {
    handler_ = nullptr;
    ++registration_;
    if (machine_) machine_->unregisterPowerNotification();
}

platform::PowerCapabilities ScriptedPowerNotifications::getPwrCapabilities() const {
    return machine_ ? machine_->getPwrCapabilities() : platform::PowerCapabilities{};
}

void ScriptedPowerNotifications::sleep() { deliver(platform::PBT_APMSUSPEND); }

void ScriptedPowerNotifications::wake() { deliver(platform::PBT_APMRESUMEAUTOMATIC); }

void ScriptedPowerNotifications::deliver(uint32_t event) {
    // Told only to the registration that was current when it happened, as the machine's own
    // notifications are: a handler registered meanwhile did not exist at the time.
    if (!handler_) return;
    QMetaObject::invokeMethod(
        this,
        [this, event, registration = registration_] {
            if (!handler_ || registration != registration_) return;
            Handler handler = handler_;
            handler(event, nullptr);
        },
        Qt::QueuedConnection);
}

}  // namespace tovrel::sim
