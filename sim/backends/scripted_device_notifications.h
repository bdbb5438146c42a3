#pragma once

#include <QObject>

#include <cstdint>
#include <string>

#include "platform/desktop/device_notifications.h"

namespace tovrel::sim {

// The simulated box's device notifications: whoever plugs or unplugs the box announces each of
// its interfaces here, and the registered handler is told from the event loop, one interface per
// turn, as the udev monitor tells real ones.
// GUI thread only.
class ScriptedDeviceNotifications final : public QObject, public platform::DeviceNotifications {
    Q_OBJECT
  public:
    bool registerDeviceNotification(Handler handler) override;
    void unregisterDeviceNotification() override;

    // Queues one notification for the current registration; dropped when nobody is registered
    // now, or the registration has changed by the time it runs.
    void announce(uint32_t event, const std::string& interfaceName);
    bool registered() const { return static_cast<bool>(handler_); }

  private:
    Handler handler_;
    uint64_t registration_ = 0;  // counts registrations and unregistrations
};

}  // namespace tovrel::sim
