#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>
#include <string>
#include <vector>

#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"
#include "sim/backends/simulated_backends.h"
#include "test_backends.h"

namespace tovrel::shell {
namespace {

// With the simulated box plugged in, start-up takes the capture road: the session opens and
// streams, the caption shows the mode, and shutdown stops streaming before closing the session.
TEST(SimulatedStart, OpensTheSessionAndShutsDownInOrder) {
    testing::ScopedWorkingDirectory cwd("simulated-start");
    testing::TestBackends test;
    auto simulated = sim::makeSimulatedBackends();
    test.backends.mediaDevices = std::move(simulated->mediaDevices);
    test.backends.clock = &platform::SystemClock::instance();  // the workers run in real time

    CTovrel2Frame frame(test.backends, kTovrel2Edition);
    std::vector<std::string> steps;
    frame.stepObserver = [&](const char* s) { steps.push_back(s); };
    EXPECT_EQ(frame.onCreate(), 0);
    EXPECT_TRUE(test.messageBoxes->boxes.empty());
    EXPECT_EQ(frame.windowTitle().toStdString(), "Tovrel2-Preview-1920x1080p@60.00");
    EXPECT_TRUE(frame.keyboardFilterInstalled());
    EXPECT_TRUE(frame.captionTimerActive());
    ASSERT_NE(frame.host().captureManager, nullptr);
    EXPECT_TRUE(frame.host().captureManager->streaming);
    frame.onClose();

    const std::vector<std::string> expected{"readSettings",
                                            "registerDeviceNotifications",
                                            "registerPowerNotifications",
                                            "createCaptureManager",
                                            "createAudioCapture",
                                            "createVideoCapture",
                                            "openSession",
                                            "startStreaming",
                                            "installKeyboardFilter",
                                            "startCaptionTimer",
                                            "keepAwake",
                                            "stopCaptionTimer",
                                            "removeKeyboardFilter",
                                            "stopRecordings",
                                            "stopStreaming",
                                            "closeSession",
                                            "releaseCaptureSources",
                                            "unregisterNotifications",
                                            "writeSettings",
                                            "endKeepAwake"};
    EXPECT_EQ(steps, expected);
    EXPECT_FALSE(frame.keyboardFilterInstalled());
    EXPECT_FALSE(frame.captionTimerActive());
    EXPECT_FALSE(test.executionState->keepingAwake());
}

// Only a close writes the settings: a streaming window destroyed without one (a failed start,
// the end of a test) stops its capture and runs none of the shutdown steps.
TEST(SimulatedStart, AWindowDestroyedWithoutACloseLeavesTheSettingsAlone) {
    testing::ScopedWorkingDirectory cwd("destroyed-unclosed");
    testing::TestBackends test;
    auto simulated = sim::makeSimulatedBackends();
    test.backends.mediaDevices = std::move(simulated->mediaDevices);
    test.backends.clock = &platform::SystemClock::instance();

    std::vector<std::string> steps;
    {
        CTovrel2Frame frame(test.backends, kTovrel2Edition);
        EXPECT_EQ(frame.onCreate(), 0);
        ASSERT_NE(frame.host().captureManager, nullptr);
        ASSERT_TRUE(frame.host().captureManager->streaming);
        frame.stepObserver = [&](const char* s) { steps.push_back(s); };
    }
    EXPECT_EQ(steps, std::vector<std::string>{});
    EXPECT_FALSE(std::filesystem::exists(cwd.path() / "setting.ini"));

    // A window that never started capture leaves it alone too.
    {
        testing::TestBackends bare;
        CTovrel2Frame frame(bare.backends, kTovrel2Edition);
        frame.onCreate();
    }
    EXPECT_FALSE(std::filesystem::exists(cwd.path() / "setting.ini"));
}

}  // namespace
}  // namespace tovrel::shell
