#include "tests/support/mock_logind.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariantList>

namespace tovrel::testing {
namespace {
constexpr int kCallTimeoutMs = 2000;
const QString kService = "org.freedesktop.login1";
const QString kPath = "/org/freedesktop/login1";
}  // namespace

QStringList MockLogind::inhibitorsOf(const QString& who) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, "org.freedesktop.login1.Manager", "ListInhibitors");
    QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, kCallTimeoutMs);
    QStringList held;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return held;
    const QDBusArgument list = reply.arguments().at(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QString what, owner, why, mode;
        uint uid = 0, pid = 0;
        list.beginStructure();
        list >> what >> owner >> why >> mode >> uid >> pid;
        list.endStructure();
        if (owner == who) held << what + "/" + mode;
    }
    list.endArray();
    return held;
}

bool MockLogind::emitPrepareForSleep(bool start) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Mock", "EmitSignal");
    call << QString("org.freedesktop.login1.Manager") << QString("PrepareForSleep") << QString("b")
         << QVariantList{QVariant::fromValue(QDBusVariant(start))};
    const QDBusMessage reply =
        QDBusConnection::systemBus().call(call, QDBus::Block, kCallTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace tovrel::testing
