#include <gtest/gtest.h>

#include <QApplication>

#include <string>
#include <vector>

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
    ASSERT_NE(frame.captureManager, nullptr);
    EXPECT_TRUE(frame.captureManager->streaming);
    frame.onClose();

    const std::vector<std::string> expected{
        "readSettings",  "createCaptureManager", "createAudioCapture",    "createVideoCapture",
        "openSession",   "startStreaming",       "installKeyboardFilter", "startCaptionTimer",
        "keepAwake",     "stopCaptionTimer",     "removeKeyboardFilter",  "stopRecordings",
        "stopStreaming", "closeSession",         "releaseCaptureSources", "writeSettings",
        "endKeepAwake"};
    EXPECT_EQ(steps, expected);
    EXPECT_FALSE(frame.keyboardFilterInstalled());
    EXPECT_FALSE(frame.captionTimerActive());
    EXPECT_FALSE(test.executionState->keepingAwake());
}

}  // namespace
}  // namespace tovrel::shell
