#include "tests/platform/desktop/device_notifications_conformance.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <regex>
#include <utility>

#include "tests/support/event_loop_wait.h"

namespace tovrel::platform::testing {

using tovrel::testing::runEventLoopUntil;

void DeviceNotificationsConformance::SetUp() {
    std::string reason;
    backend = GetParam().make(reason);
    if (!backend) GTEST_SKIP() << reason;
}

void DeviceNotificationsConformance::TearDown() {
    if (backend) backend->notifications().unregisterDeviceNotification();
    backend.reset();
}

namespace {

using Notification = std::pair<uint32_t, std::string>;

// What a handler saw, in order, and whether each came as the header promises.
struct Seen {
    std::vector<Notification> notifications;
    int notAnInterface = 0;
    int offTheGuiThread = 0;

    DeviceNotifications::Handler handler() {
        return [this](uint32_t event, const DeviceBroadcastInterface* data) {
            if (data == nullptr || data->dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
                ++notAnInterface;
                return true;
            }
            notifications.emplace_back(event, data->dbcc_name);
            offTheGuiThread += QThread::currentThread() != QCoreApplication::instance()->thread();
            return true;
        };
    }
    // The names told with `event`, sorted (the header promises no order between interfaces).
    std::vector<std::string> namesOf(uint32_t event) const {
        std::vector<std::string> names;
        for (const auto& [e, name] : notifications)
            if (e == event) names.push_back(name);
        std::sort(names.begin(), names.end());
        return names;
    }
};

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// Each interface arrives once however many nodes it has, under its USB name, and goes once when
// its last node goes; told on the GUI thread.
TEST_P(DeviceNotificationsConformance, EachInterfaceArrivesOnceAndIsRemovedOnce) {
    Seen seen;
    ASSERT_TRUE(backend->notifications().registerDeviceNotification(seen.handler()));
    const std::vector<std::string> names = sorted(backend->plug());
    ASSERT_GE(names.size(), 2u) << "a box has a video and a sound capture interface";
    const std::regex form("USB#VID_[0-9A-F]{4}&PID_[0-9A-F]{4}&MI_[0-9A-F]{2}#.+");
    for (const std::string& name : names) EXPECT_TRUE(std::regex_match(name, form)) << name;
    ASSERT_TRUE(runEventLoopUntil([&] { return seen.notifications.size() >= names.size(); }));
    backend->settle();
    EXPECT_EQ(seen.notifications.size(), names.size()) << "an interface told more than once";
    EXPECT_EQ(seen.namesOf(DBT_DEVICEARRIVAL), names);

    seen.notifications.clear();
    backend->unplug();
    ASSERT_TRUE(runEventLoopUntil([&] { return seen.notifications.size() >= names.size(); }));
    backend->settle();
    EXPECT_EQ(seen.notifications.size(), names.size()) << "an interface removed more than once";
    EXPECT_EQ(seen.namesOf(DBT_DEVICEREMOVECOMPLETE), names);
    EXPECT_EQ(seen.notAnInterface, 0);
    EXPECT_EQ(seen.offTheGuiThread, 0);
}

// A box plugged in before registration is present at it: not announced, but its removal is.
TEST_P(DeviceNotificationsConformance, InterfacesPresentAtRegistrationAreNotAnnounced) {
    Seen seen;
    const std::vector<std::string> names = sorted(backend->plug());
    ASSERT_TRUE(backend->notifications().registerDeviceNotification(seen.handler()));
    backend->settle();
    EXPECT_TRUE(seen.notifications.empty()) << "announced although present at registration";
    seen.notifications.clear();

    backend->unplug();
    ASSERT_TRUE(runEventLoopUntil([&] { return seen.notifications.size() >= names.size(); }));
    backend->settle();
    EXPECT_EQ(seen.namesOf(DBT_DEVICEREMOVECOMPLETE), names);
    EXPECT_EQ(seen.notifications.size(), names.size());
}

TEST_P(DeviceNotificationsConformance, NothingIsToldAfterUnregistering) {
    Seen seen;
    ASSERT_TRUE(backend->notifications().registerDeviceNotification(seen.handler()));
    backend->notifications().unregisterDeviceNotification();
    backend->plug();
    backend->settle();
    backend->unplug();
    backend->settle();
    EXPECT_TRUE(seen.notifications.empty()) << "told after unregistering";
}

// The main window closing inside the handler unregisters: the box's other interface, already
// on its way, is not told.
TEST_P(DeviceNotificationsConformance, UnregisteringInsideTheHandlerStopsWhatIsOnItsWay) {
    int told = 0;
    ASSERT_TRUE(backend->notifications().registerDeviceNotification(
        [&](uint32_t, const DeviceBroadcastInterface*) {
            ++told;
            backend->notifications().unregisterDeviceNotification();
            return true;
        }));
    backend->plug();
    ASSERT_TRUE(runEventLoopUntil([&] { return told > 0; }));
    backend->settle();
    EXPECT_EQ(told, 1);
}

TEST_P(DeviceNotificationsConformance, UnregisteringIsSafeWhenNotRegisteredAndTwice) {
    backend->notifications().unregisterDeviceNotification();
    backend->notifications().unregisterDeviceNotification();
    Seen first;
    ASSERT_TRUE(backend->notifications().registerDeviceNotification(first.handler()));
    backend->notifications().unregisterDeviceNotification();
    backend->notifications().unregisterDeviceNotification();

    // Registered again, the new handler alone is told.
    Seen second;
    ASSERT_TRUE(backend->notifications().registerDeviceNotification(second.handler()));
    const std::vector<std::string> names = sorted(backend->plug());
    ASSERT_TRUE(runEventLoopUntil([&] { return second.notifications.size() >= names.size(); }));
    EXPECT_EQ(second.namesOf(DBT_DEVICEARRIVAL), names);
    EXPECT_TRUE(first.notifications.empty());
}

}  // namespace tovrel::platform::testing
