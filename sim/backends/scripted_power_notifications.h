#pragma once

#include <QObject>

#include <cstdint>
#include <memory>

#include "platform/desktop/power_notifications.h"

namespace tovrel::sim {

// Power notifications that a script can send besides the machine's own: the real backend (when
// given) keeps delivering the machine's sleep and wake, and sleep() and wake() deliver the same
// events from the event loop, so the simulated box's user can try the suspend and resume paths
// without sending the machine to sleep.
// GUI thread only.
class ScriptedPowerNotifications final : public QObject, public platform::PowerNotifications {
    Q_OBJECT
  public:
    explicit ScriptedPowerNotifications(std::unique_ptr<platform::PowerNotifications> machine);
    ~ScriptedPowerNotifications() override;

    bool registerPowerNotification(Handler handler) override;
    void unregisterPowerNotification() override;
    platform::PowerCapabilities getPwrCapabilities() const override;

    void sleep();
    void wake();
    bool registered() const { return static_cast<bool>(handler_); }

  private:
    void deliver(uint32_t event);

    std::unique_ptr<platform::PowerNotifications> machine_;
    Handler handler_;
    uint64_t registration_ = 0;  // counts registrations and unregistrations
};

}  // namespace tovrel::sim
