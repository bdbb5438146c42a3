#include "platform/desktop/logind_inhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>

#include <unistd.h>

#include <cerrno>

#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {
constexpr int kCallTimeoutMs = 2000;
}

LogindInhibitor::LogindInhibitor(QString what, QString who, QString why, QString mode)
    : what_(std::move(what)), who_(std::move(who)), why_(std::move(why)), mode_(std::move(mode)) {}

LogindInhibitor::~LogindInhibitor() { release(); }

bool LogindInhibitor::acquire() {
    if (fd_ >= 0) return true;
    QDBusConnection bus = QDBusConnection::systemBus();
    const std::string label = "logind " + what_.toStdString() + " " + mode_.toStdString();
    if (!bus.isConnected()) {
        outputDebugString(label + " inhibitor: no system bus, nothing is held");
        return false;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "Inhibit");
    call << what_ << who_ << why_ << mode_;
    QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) {
        logCallFailure(label, "Inhibit", reply.error().message().toStdString());
        return false;
    }
    // The reply's descriptor closes with the reply; keep a duplicate of our own.
    fd_ = ::dup(reply.value().fileDescriptor());
    if (fd_ < 0) logErrno(label, "dup", errno);
    return fd_ >= 0;
}

void LogindInhibitor::release() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

}  // namespace tovrel::platform
