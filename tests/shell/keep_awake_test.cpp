#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <cstdlib>

#include "platform/desktop/logind_execution_state.h"
#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"
#include "test_backends.h"
#include "tests/support/mock_logind.h"

namespace tovrel::shell {
namespace {

bool logindHoldsIdleBlockOf(const QString& who) {
    return testing::MockLogind::inhibitorsOf(who).contains("idle/block");
}

bool eventually(const QString& who, bool held) {
    for (int i = 0; i < 100; ++i) {
        if (logindHoldsIdleBlockOf(who) == held) return true;
        QThread::msleep(20);
    }
    return false;
}

// Against the mock logind on the test script's private bus: the window holds an "idle" block
// inhibitor from its creation to the end of its shutdown, also when no box was found.
TEST(KeepAwake, HeldFromWindowCreationToTheEndOfShutdown) {
    if (!std::getenv("TOVREL_TEST_LOGIND"))
        GTEST_SKIP() << "no mock logind (run through scripts/test.sh)";
    testing::ScopedWorkingDirectory cwd("keep-awake");
    testing::TestBackends test;
    const QString who = QString("tovrel2-test-%1").arg(QCoreApplication::applicationPid());
    test.backends.executionState = std::make_unique<platform::LogindExecutionState>(who);

    CTovrel2Frame frame(test.backends, kTovrel2Edition);
    EXPECT_TRUE(eventually(who, false));
    frame.onCreate();
    EXPECT_TRUE(eventually(who, true)) << "no inhibitor after window creation";
    bool heldWhenSettingsWritten = false;
    frame.stepObserver = [&](const char* step) {
        if (std::string(step) == "writeSettings")
            heldWhenSettingsWritten = logindHoldsIdleBlockOf(who);
    };
    frame.onClose();
    EXPECT_TRUE(heldWhenSettingsWritten) << "the inhibitor ended before the last shutdown steps";
    EXPECT_TRUE(eventually(who, false)) << "the inhibitor outlived the shutdown";
}

}  // namespace
}  // namespace tovrel::shell
