#include <gtest/gtest.h>

#include "sim/backends/simulated_backends.h"

namespace tovrel::sim {
namespace {

TEST(BackendChoice, SimulateSelectsTheSimulatedBox) {
    auto simulated = BackendChoice::fromArguments({"tovrel2", "--simulate"});
    ASSERT_NE(simulated, nullptr);
    EXPECT_TRUE(simulated->simulated);
    EXPECT_EQ(simulated->name, "simulated");

    auto real = BackendChoice::fromArguments({"tovrel2", "-platform", "offscreen"});
    ASSERT_NE(real, nullptr);
    EXPECT_FALSE(real->simulated);
    EXPECT_EQ(real->name, "linux");

    // The desktop facilities are real in both.
    for (auto* b : {simulated.get(), real.get()}) {
        EXPECT_NE(b->profiles, nullptr);
        EXPECT_NE(b->messageBoxes, nullptr);
        EXPECT_NE(b->executionState, nullptr);
        EXPECT_NE(b->windowClassMarker, nullptr);
    }
}

}  // namespace
}  // namespace tovrel::sim
