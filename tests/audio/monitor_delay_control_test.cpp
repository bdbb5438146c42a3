#include "audio/monitor_delay_control.h"

#include <gtest/gtest.h>

namespace tovrel::audio {
namespace {

constexpr uint32_t kRate = 48000;
constexpr uint32_t kMs = kRate / 1000;
constexpr uint32_t kPassMs = 25;

// Feeds one surplus per 25 ms pass from `fromMs` for `forMs`; answers the largest drop asked.
uint32_t run(MonitorDelayControl& control, uint64_t& nowMs, uint64_t forMs, uint32_t surplus) {
    uint32_t asked = 0;
    for (const uint64_t end = nowMs + forMs; nowMs < end; nowMs += kPassMs)
        asked = std::max(asked, control.observe(nowMs, surplus));
    return asked;
}

TEST(MonitorDelayControlTest, DropsOnlyASurplusThatLastedAWholeWindow) {
    MonitorDelayControl control(kRate);
    uint64_t now = 1000;
    const uint32_t slack = (MonitorDelayControl::kTargetMs + MonitorDelayControl::kSlackMs) * kMs;
    // At the slack, however long: nothing to do.
    EXPECT_EQ(run(control, now, 10 * MonitorDelayControl::kWindowMs, slack), 0u);

    // 40 ms too much, but one pass of the window found the ring short: that pass needed all of
    // it, so it stays.
    run(control, now, MonitorDelayControl::kWindowMs / 2, 40 * kMs);
    control.observe(now, 0);
    now += kPassMs;
    EXPECT_EQ(run(control, now, MonitorDelayControl::kWindowMs / 2 - kPassMs, 40 * kMs), 0u);

    // A whole window at 40 ms over, the smallest at 35: exactly the excess over the target goes.
    uint32_t asked = run(control, now, MonitorDelayControl::kWindowMs, 40 * kMs);
    asked = std::max(asked, control.observe(now, 35 * kMs));
    now += kPassMs;
    asked = std::max(asked, run(control, now, MonitorDelayControl::kWindowMs, 40 * kMs));
    EXPECT_EQ(asked, 35 * kMs - control.targetFrames());
    // It is asked for until it has been taken, whatever the passes see meanwhile.
    control.dropped(10 * kMs);
    EXPECT_EQ(control.observe(now, 0), 25 * kMs - control.targetFrames());
    control.dropped(100 * kMs);
    EXPECT_EQ(control.pendingFrames(), 0u);
    // Then a new window starts: nothing more before it has passed.
    EXPECT_EQ(run(control, now, MonitorDelayControl::kWindowMs - kPassMs, 40 * kMs), 0u);
}

TEST(MonitorDelayControlTest, WaitsForQuietBeforeCuttingIntoSound) {
    MonitorDelayControl control(kRate);
    uint64_t now = 0;
    EXPECT_FALSE(control.mayCutSound(now));
    run(control, now, MonitorDelayControl::kWindowMs + kPassMs, 50 * kMs);
    ASSERT_GT(control.pendingFrames(), 0u);
    const uint64_t asked = now - kPassMs;
    EXPECT_FALSE(control.mayCutSound(asked + MonitorDelayControl::kQuietWaitMs - 1));
    EXPECT_TRUE(control.mayCutSound(asked + MonitorDelayControl::kQuietWaitMs));
    control.dropped(control.pendingFrames());
    EXPECT_FALSE(control.mayCutSound(asked + MonitorDelayControl::kQuietWaitMs));
}

}  // namespace
}  // namespace tovrel::audio
