#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/desktop/logind_execution_state.h"
#include "platform/desktop/logind_power_notifications.h"
#include "tests/support/mock_logind.h"

namespace tovrel::platform {
namespace {

QStringList inhibitorsOf(const QString& who) { return testing::MockLogind::inhibitorsOf(who); }

// logind lets go of an inhibitor when it sees the descriptor close: a moment later.
bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 100; ++i) {
        if (condition()) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return false;
}

void emitPrepareForSleep(bool start) {
    ASSERT_TRUE(testing::MockLogind::emitPrepareForSleep(start)) << "the mock took no signal";
}

QString uniqueWho(const char* tag) {
    return QString("tovrel-%1-%2").arg(tag).arg(QCoreApplication::applicationPid());
}

// Keep-awake is an "idle" block lock: the machine does not go to sleep on its own, while a
// "sleep" block lock, which would refuse the user's own suspend, is never taken.
TEST(LogindExecutionState, HoldsAnIdleBlockInhibitorWhileTheRequestLasts) {
    if (!std::getenv("TOVREL_TEST_LOGIND"))
        GTEST_SKIP() << "no mock logind (run through scripts/test.sh)";
    const QString who = uniqueWho("keep-awake");
    LogindExecutionState state(who);
    state.setThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_TRUE(state.keepingAwake());
    EXPECT_TRUE(eventually([&] { return inhibitorsOf(who) == QStringList{"idle/block"}; }))
        << inhibitorsOf(who).join(", ").toStdString();
    state.setThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);  // a repeat holds one
    EXPECT_EQ(inhibitorsOf(who), QStringList{"idle/block"});
    state.setThreadExecutionState(ES_CONTINUOUS);
    EXPECT_FALSE(state.keepingAwake());
    EXPECT_TRUE(eventually([&] { return inhibitorsOf(who).isEmpty(); }));
}

TEST(LogindExecutionState, CarriesOnWithoutLogind) {
    // A bus address nobody listens on stands for a machine without logind.
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    LogindExecutionState state("tovrel-test-nobus");
    state.setThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_FALSE(state.keepingAwake());
    state.setThreadExecutionState(ES_CONTINUOUS);
}

// PrepareForSleep(true) is the suspend event, and the "sleep" delay lock is let go only once the
// handler has returned; PrepareForSleep(false) takes it again before the resume event runs.
TEST(LogindPowerNotifications, HoldsTheSleepDelayUntilTheSuspendHandlerHasReturned) {
    if (!std::getenv("TOVREL_TEST_LOGIND"))
        GTEST_SKIP() << "no mock logind (run through scripts/test.sh)";
    const QString who = uniqueWho("power");
    LogindPowerNotifications power(who);
    EXPECT_FALSE(power.getPwrCapabilities().AoAc) << "logind tells nothing of the display";
    std::vector<uint32_t> events;
    std::vector<QStringList> heldDuring;
    ASSERT_TRUE(
        power.registerPowerNotification([&](uint32_t event, const PowerBroadcastSetting* data) {
            EXPECT_EQ(data, nullptr);
            events.push_back(event);
            heldDuring.push_back(inhibitorsOf(who));
        }));
    EXPECT_TRUE(eventually([&] { return inhibitorsOf(who) == QStringList{"sleep/delay"}; }));

    emitPrepareForSleep(true);
    ASSERT_TRUE(eventually([&] { return events.size() == 1; }));
    EXPECT_EQ(events[0], PBT_APMSUSPEND);
    EXPECT_EQ(heldDuring[0], QStringList{"sleep/delay"}) << "the machine could sleep mid-teardown";
    EXPECT_TRUE(eventually([&] { return inhibitorsOf(who).isEmpty(); }))
        << "the sleep stays delayed after the suspend path";
    EXPECT_FALSE(power.holdingSleepDelay());

    emitPrepareForSleep(false);
    ASSERT_TRUE(eventually([&] { return events.size() == 2; }));
    EXPECT_EQ(events[1], PBT_APMRESUMEAUTOMATIC);
    EXPECT_EQ(heldDuring[1], QStringList{"sleep/delay"});
    EXPECT_TRUE(power.holdingSleepDelay());

    power.unregisterPowerNotification();
    EXPECT_TRUE(eventually([&] { return inhibitorsOf(who).isEmpty(); }));
}

TEST(LogindPowerNotifications, RegistersNothingWithoutLogind) {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    LogindPowerNotifications power("tovrel-test-nobus");
    EXPECT_FALSE(power.registerPowerNotification([](uint32_t, const PowerBroadcastSetting*) {}));
    EXPECT_FALSE(power.holdingSleepDelay());
}

}  // namespace
}  // namespace tovrel::platform
