#include "platform/desktop/logind_execution_state.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>

#include <unistd.h>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

std::unique_ptr<ExecutionState> makeLogindExecutionState(const char* who) {
    return std::make_unique<LogindExecutionState>(QString::fromUtf8(who));
}

LogindExecutionState::~LogindExecutionState() { release(); }

void LogindExecutionState::setThreadExecutionState(uint32_t flags) {
    if ((flags & ES_CONTINUOUS) == 0) return;  // a one-off reset: nothing to hold
    if (flags & ES_SYSTEM_REQUIRED) {
        acquire();
    } else {
        release();
    }
}

void LogindExecutionState::acquire() {
    if (inhibitorFd_ >= 0) return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        outputDebugString("keep-awake: no system bus, sleep is not inhibited");
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "Inhibit");
    call << QString("sleep") << who_ << QString("Capturing from the box") << QString("block");
    QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(call, QDBus::Block, 2000);
    if (!reply.isValid()) {
        outputDebugString("keep-awake: logind refused the inhibitor: " +
                          reply.error().message().toStdString());
        return;
    }
    // The reply's descriptor closes with the reply; keep a duplicate of our own.
    inhibitorFd_ = ::dup(reply.value().fileDescriptor());
}

void LogindExecutionState::release() {
    if (inhibitorFd_ < 0) return;
    ::close(inhibitorFd_);
    inhibitorFd_ = -1;
}

}  // namespace tovrel::platform
