#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QThread>

#include <cstdlib>
#include <string>

#include "platform/desktop/logind_execution_state.h"

namespace tovrel::platform {
namespace {

// The "who" of every sleep inhibitor the mock logind holds.
QStringList inhibitorOwners() {
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "ListInhibitors");
    QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, 2000);
    QStringList owners;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return owners;
    const QDBusArgument list = reply.arguments().at(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QString what, who, why, mode;
        uint uid = 0, pid = 0;
        list.beginStructure();
        list >> what >> who >> why >> mode >> uid >> pid;
        list.endStructure();
        if (what == "sleep") owners << who;
    }
    list.endArray();
    return owners;
}

bool waitForOwner(const QString& who, bool present) {
    for (int i = 0; i < 100; ++i) {
        if (inhibitorOwners().contains(who) == present) return true;
        QThread::msleep(20);
    }
    return false;
}

TEST(LogindExecutionState, HoldsASleepInhibitorWhileTheRequestLasts) {
    if (!std::getenv("TOVREL_TEST_LOGIND"))
        GTEST_SKIP() << "no mock logind (run through scripts/test.sh)";
    const QString who = QString("tovrel-test-%1").arg(QCoreApplication::applicationPid());
    LogindExecutionState state(who);
    state.setThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_TRUE(state.keepingAwake());
    EXPECT_TRUE(waitForOwner(who, true));
    state.setThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);  // a repeat holds one
    EXPECT_EQ(inhibitorOwners().count(who), 1);
    state.setThreadExecutionState(ES_CONTINUOUS);
    EXPECT_FALSE(state.keepingAwake());
    EXPECT_TRUE(waitForOwner(who, false));
}

TEST(LogindExecutionState, CarriesOnWithoutLogind) {
    // A bus address nobody listens on stands for a machine without logind.
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    LogindExecutionState state("tovrel-test-nobus");
    state.setThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_FALSE(state.keepingAwake());
    state.setThreadExecutionState(ES_CONTINUOUS);
}

}  // namespace
}  // namespace tovrel::platform
