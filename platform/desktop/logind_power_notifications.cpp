#include "platform/desktop/logind_power_notifications.h"

#include <QDBusConnection>
#include <QDBusError>

#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {
constexpr char kService[] = "org.freedesktop.login1";
constexpr char kPath[] = "/org/freedesktop/login1";
constexpr char kInterface[] = "org.freedesktop.login1.Manager";
constexpr char kSignal[] = "PrepareForSleep";
}  // namespace

std::unique_ptr<PowerNotifications> makeLogindPowerNotifications(const char* who) {
    return std::make_unique<LogindPowerNotifications>(QString::fromUtf8(who));
}

LogindPowerNotifications::LogindPowerNotifications(QString who)
    : delay_("sleep", std::move(who), "Finishing the recording and closing the capture", "delay") {}

LogindPowerNotifications::~LogindPowerNotifications() { unregisterPowerNotification(); }

bool LogindPowerNotifications::registerPowerNotification(Handler handler) {
    unregisterPowerNotification();
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        outputDebugString("power notifications: no system bus, sleep and wake are not seen");
        return false;
    }
    connected_ =
        bus.connect(kService, kPath, kInterface, kSignal, this, SLOT(onPrepareForSleep(bool)));
    if (!connected_) {
        logCallFailure("logind", "connect PrepareForSleep",
                       bus.lastError().message().toStdString());
        return false;
    }
    handler_ = std::move(handler);
    delay_.acquire();
    return true;
}

void LogindPowerNotifications::unregisterPowerNotification() {
    if (connected_) {
        QDBusConnection::systemBus().disconnect(kService, kPath, kInterface, kSignal, this,
                                                SLOT(onPrepareForSleep(bool)));
        connected_ = false;
    }
    handler_ = nullptr;
    delay_.release();
}

void LogindPowerNotifications::onPrepareForSleep(bool start) {
    if (!handler_) return;
    // A copy: the handler may unregister (a close during the event).
    Handler handler = handler_;
    if (start) {
        handler(PBT_APMSUSPEND, nullptr);
        // Only now may the machine sleep: the suspend path has finished.
        delay_.release();
    } else {
        if (handler_) delay_.acquire();
        handler(PBT_APMRESUMEAUTOMATIC, nullptr);
    }
}

}  // namespace tovrel::platform
