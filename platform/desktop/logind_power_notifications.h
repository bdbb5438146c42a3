#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "platform/desktop/logind_inhibitor.h"
#include "platform/desktop/power_notifications.h"

namespace tovrel::platform {

// PowerNotifications over logind: PrepareForSleep(true) on the system bus is the suspend event,
// PrepareForSleep(false) the resume event. While registered it holds a "sleep" inhibitor in
// "delay" mode, so that logind announces the sleep and waits; the inhibitor is let go only once
// the handler has returned from the suspend event (capture torn down, a recording finalised),
// and taken again on resume before the handler builds capture up. logind tells nothing about
// the display's power, so getPwrCapabilities reports no modern standby and no setting change is
// ever delivered.
// GUI thread only.
class LogindPowerNotifications final : public QObject, public PowerNotifications {
    Q_OBJECT
  public:
    explicit LogindPowerNotifications(QString who);
    ~LogindPowerNotifications() override;

    bool registerPowerNotification(Handler handler) override;
    void unregisterPowerNotification() override;
    PowerCapabilities getPwrCapabilities() const override { return {}; }

    bool holdingSleepDelay() const { return delay_.held(); }

  private slots:
    void onPrepareForSleep(bool start);

  private:
    Handler handler_;
    LogindInhibitor delay_;
    bool connected_ = false;
};

std::unique_ptr<PowerNotifications> makeLogindPowerNotifications(const char* who);

}  // namespace tovrel::platform
