// The power notifications conformance suite against both backends.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstdlib>

#include "platform/desktop/logind_power_notifications.h"
#include "platform/media/device_list_enumerator.h"
#include "sim/backends/scripted_device_notifications.h"
#include "sim/backends/scripted_power_notifications.h"
#include "sim/backends/simulated_box.h"
#include "tests/platform/desktop/power_notifications_conformance.h"
#include "tests/support/mock_logind.h"

namespace tovrel::platform::testing {
namespace {

// The mock logind of the test components emits PrepareForSleep on the private system bus.
class LogindBackend final : public PowerBackend {
  public:
    PowerNotifications& power() override { return power_; }
    void announce(bool suspend) override {
        ASSERT_TRUE(tovrel::testing::MockLogind::emitPrepareForSleep(suspend))
            << "the mock took no signal";
    }
    // The mock emits before it answers, and the bus keeps one sender's order: once a round
    // trip to the mock has come back, every signal before it is queued for the event loop.
    void settle() override {
        tovrel::testing::MockLogind::inhibitorsOf(who_);
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

  private:
    const QString who_ =
        QString("tovrel-power-conformance-%1").arg(QCoreApplication::applicationPid());
    LogindPowerNotifications power_{who_};
};

// The simulated box's "sleep" and "wake" lines, without the machine's own notifications.
class ScriptedBackend final : public PowerBackend {
  public:
    PowerNotifications& power() override { return power_; }
    void announce(bool suspend) override {
        EXPECT_EQ(box_.command(suspend ? "sleep" : "wake"),
                  suspend ? "ok: the computer goes to sleep" : "ok: the computer wakes up");
    }
    // The scripted events are posted to the event loop: what is posted now runs after them.
    void settle() override {
        bool reached = false;
        QMetaObject::invokeMethod(
            &power_, [&reached] { reached = true; }, Qt::QueuedConnection);
        while (!reached) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

  private:
    DeviceListEnumerator devices_;
    sim::ScriptedDeviceNotifications notifications_;
    sim::ScriptedPowerNotifications power_{nullptr};
    sim::SimulatedBox box_{sim::kDefaultBoxModel, sim::SimulatedStream::Pacing::Stepped, devices_,
                           notifications_, power_};
};

INSTANTIATE_TEST_SUITE_P(
    EveryBackend, PowerNotificationsConformance,
    ::testing::Values(PowerCase{"Logind",
                                [](std::string& reason) -> std::unique_ptr<PowerBackend> {
                                    if (!std::getenv("TOVREL_TEST_LOGIND")) {
                                        reason =
                                            "needs the mock logind of the test components "
                                            "(TOVREL_TEST_LOGIND unset)";
                                        return nullptr;
                                    }
                                    return std::make_unique<LogindBackend>();
                                }},
                      PowerCase{"ScriptedSimulatedBox",
                                [](std::string&) -> std::unique_ptr<PowerBackend> {
                                    return std::make_unique<ScriptedBackend>();
                                }}),
    powerCaseName);

}  // namespace
}  // namespace tovrel::platform::testing
