#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/desktop/logind_power_notifications.h"
#include "shell/shell_texts.h"
#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"
#include "tests/shell/hotplug_rig.h"
#include "tests/support/mock_logind.h"

namespace tovrel::shell {
namespace {

bool holdsSleepDelay(const QString& who) {
    return testing::MockLogind::inhibitorsOf(who).contains("sleep/delay");
}

void emitPrepareForSleep(bool start) { testing::MockLogind::emitPrepareForSleep(start); }

// The main window against the mock logind: PrepareForSleep(true) runs the suspend path with its
// texts while the sleep is still delayed, and the delay ends only after the teardown;
// PrepareForSleep(false) builds capture up again.
TEST(PowerWithLogind, PrepareForSleepRunsTheSuspendAndResumePaths) {
    if (!std::getenv("TOVREL_TEST_LOGIND"))
        GTEST_SKIP() << "no mock logind (run through scripts/test.sh)";
    testing::ScopedWorkingDirectory cwd("power-logind");
    testing::HotplugRig rig(true);
    rig.box->attach();
    const QString who = QString("tovrel2-power-%1").arg(QCoreApplication::applicationPid());
    rig.test.backends.powerNotifications =
        std::make_unique<platform::LogindPowerNotifications>(who);

    CTovrel2Frame frame(rig.test.backends, kTovrel2Edition);
    testing::StepLog log;
    frame.onCreate();
    ASSERT_TRUE(frame.host().captureManager->streaming);
    EXPECT_TRUE(testing::pumpUntil([&] { return holdsSleepDelay(who); }, 3000))
        << "no delay inhibitor while capture runs";

    bool heldAtTheEndOfTheTeardown = false;
    frame.stepObserver = [&](const char* name) {
        log.add(name);
        if (std::string(name) == "releaseCaptureSources")
            heldAtTheEndOfTheTeardown = holdsSleepDelay(who);
    };
    testing::DebugCapture debug;
    emitPrepareForSleep(true);
    ASSERT_TRUE(testing::pumpUntil([&] { return log.has("releaseCaptureSources"); }));
    EXPECT_TRUE(heldAtTheEndOfTheTeardown) << "the machine may sleep before the teardown ended";
    EXPECT_TRUE(testing::pumpUntil([&] { return !holdsSleepDelay(who); }, 3000))
        << "the sleep stays delayed after the suspend path";
    EXPECT_EQ(frame.host().suspended, 1);
    EXPECT_FALSE(frame.host().captureManager->streaming);
    std::vector<std::string> texts;
    for (const std::string& line : debug.lines())
        if (line.starts_with("++WM_POWERBROADCAST++")) texts.push_back(line);
    EXPECT_EQ(texts, (std::vector<std::string>{ShellTexts::kPowerSuspending,
                                               ShellTexts::kPowerSuspended}));

    emitPrepareForSleep(false);
    ASSERT_TRUE(testing::pumpUntil([&] { return log.has("startStreaming"); }));
    EXPECT_EQ(frame.host().suspended, 0);
    EXPECT_TRUE(frame.host().captureManager->streaming);
    EXPECT_EQ(frame.windowTitle().toStdString(), "Tovrel2-Preview-1920x1080p@60.00");
    EXPECT_TRUE(holdsSleepDelay(who)) << "the next sleep would not wait";
    EXPECT_TRUE(rig.test.messageBoxes->boxes.empty());

    frame.onClose();
    EXPECT_TRUE(testing::pumpUntil([&] { return !holdsSleepDelay(who); }, 3000))
        << "the delay outlived the window";
}

}  // namespace
}  // namespace tovrel::shell
