#include "tests/platform/desktop/power_notifications_conformance.h"

#include <QCoreApplication>
#include <QThread>

#include <vector>

#include "tests/support/event_loop_wait.h"

namespace tovrel::platform::testing {

using tovrel::testing::runEventLoopUntil;

void PowerNotificationsConformance::SetUp() {
    std::string reason;
    backend = GetParam().make(reason);
    if (!backend) GTEST_SKIP() << reason;
}

void PowerNotificationsConformance::TearDown() {
    if (backend) backend->power().unregisterPowerNotification();
    backend.reset();
}

namespace {

// What a handler saw: the events in order, and whether each came as the header promises.
struct Seen {
    std::vector<uint32_t> events;
    int withData = 0;
    int offTheGuiThread = 0;
    int insideTheAnnouncement = 0;
    bool announcing = false;

    PowerNotifications::Handler handler() {
        return [this](uint32_t event, const PowerBroadcastSetting* data) {
            events.push_back(event);
            withData += data != nullptr;
            offTheGuiThread += QThread::currentThread() != QCoreApplication::instance()->thread();
            insideTheAnnouncement += announcing;
        };
    }
};

void announce(PowerBackend& backend, Seen& seen, bool suspend) {
    seen.announcing = true;
    backend.announce(suspend);
    seen.announcing = false;
}

}  // namespace

// Sleep then wake: told in that order, without data, on the GUI thread from the event loop (a
// handler that tears capture down must not run inside whoever announced the sleep).
TEST_P(PowerNotificationsConformance, SuspendThenResumeInOrderFromTheEventLoop) {
    Seen seen;
    ASSERT_TRUE(backend->power().registerPowerNotification(seen.handler()));
    announce(*backend, seen, true);
    ASSERT_TRUE(runEventLoopUntil([&] { return seen.events.size() == 1; }));
    announce(*backend, seen, false);
    ASSERT_TRUE(runEventLoopUntil([&] { return seen.events.size() == 2; }));
    backend->settle();
    EXPECT_EQ(seen.events, (std::vector<uint32_t>{PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC}));
    EXPECT_EQ(seen.withData, 0);
    EXPECT_EQ(seen.offTheGuiThread, 0);
    EXPECT_EQ(seen.insideTheAnnouncement, 0);
    EXPECT_FALSE(backend->power().getPwrCapabilities().AoAc)
        << "neither backend can tell the display's power, so none claims modern standby";
}

TEST_P(PowerNotificationsConformance, NothingIsToldAfterUnregistering) {
    Seen seen;
    ASSERT_TRUE(backend->power().registerPowerNotification(seen.handler()));
    backend->power().unregisterPowerNotification();
    announce(*backend, seen, true);
    backend->settle();
    EXPECT_TRUE(seen.events.empty()) << "told after unregistering";
}

// The main window closing during the suspend event unregisters from inside the handler: the
// wake already on its way is not told.
TEST_P(PowerNotificationsConformance, UnregisteringInsideTheHandlerStopsWhatIsOnItsWay) {
    std::vector<uint32_t> events;
    ASSERT_TRUE(backend->power().registerPowerNotification(
        [&](uint32_t event, const PowerBroadcastSetting*) {
            events.push_back(event);
            backend->power().unregisterPowerNotification();
        }));
    backend->announce(true);
    backend->announce(false);
    ASSERT_TRUE(runEventLoopUntil([&] { return !events.empty(); }));
    backend->settle();
    EXPECT_EQ(events, std::vector<uint32_t>{PBT_APMSUSPEND});
}

TEST_P(PowerNotificationsConformance, UnregisteringIsSafeWhenNotRegisteredAndTwice) {
    backend->power().unregisterPowerNotification();
    backend->power().unregisterPowerNotification();
    Seen first;
    ASSERT_TRUE(backend->power().registerPowerNotification(first.handler()));
    backend->power().unregisterPowerNotification();
    backend->power().unregisterPowerNotification();

    // Registered again, the new handler alone is told.
    Seen second;
    ASSERT_TRUE(backend->power().registerPowerNotification(second.handler()));
    announce(*backend, second, true);
    ASSERT_TRUE(runEventLoopUntil([&] { return second.events.size() == 1; }));
    backend->settle();
    EXPECT_EQ(second.events, std::vector<uint32_t>{PBT_APMSUSPEND});
    EXPECT_TRUE(first.events.empty());
}

// A sleep announced before anyone registered is the past: a handler registered afterwards,
// before the event loop came round, is not told of it.
TEST_P(PowerNotificationsConformance, WhatCameBeforeRegistrationIsNotTold) {
    Seen seen;
    announce(*backend, seen, true);
    ASSERT_TRUE(backend->power().registerPowerNotification(seen.handler()));
    backend->settle();
    EXPECT_TRUE(seen.events.empty());
    announce(*backend, seen, false);
    ASSERT_TRUE(runEventLoopUntil([&] { return seen.events.size() == 1; }));
    EXPECT_EQ(seen.events, std::vector<uint32_t>{PBT_APMRESUMEAUTOMATIC});
}

}  // namespace tovrel::platform::testing
