#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/media/mf_guids.h"
#include "sim/box/simulated_stream.h"

namespace tovrel::sim {
namespace {

using namespace platform;
using Pacing = SimulatedStream::Pacing;

SimulatedStream::Clocking clocking(uint32_t lead, uint64_t backlog, bool stepsSurviveStart,
                                   int64_t period100ns = 10'000) {
    SimulatedStream::Clocking c;
    c.period100ns = {period100ns, 2 * period100ns};
    c.lead = lead;
    c.backlog = backlog;
    c.stepsSurviveStart = stepsSurviveStart;
    return c;
}

struct Pull {
    HRESULT status;
    uint32_t flags;
    SimulatedStream::Turn turn;
};

Pull pull(SimulatedStream& stream, uint32_t timeoutMs = 0) {
    Pull p{};
    p.status = stream.awaitTurn(timeoutMs, &p.turn, &p.flags);
    return p;
}

TEST(SimulatedStream, SteppedSamplesAreNumberedAndStepsBeforeTheStartAreKeptOrDropped) {
    SimulatedStream keeps(Pacing::Stepped, clocking(0, 0, true));
    keeps.step(2);
    ASSERT_EQ(keeps.start(), S_OK);
    EXPECT_EQ(pull(keeps).turn.number, 0u);
    EXPECT_EQ(pull(keeps).turn.number, 1u);
    EXPECT_EQ(pull(keeps).status, S_FALSE) << "nothing more released";

    SimulatedStream drops(Pacing::Stepped, clocking(1, 0, false));
    drops.step(2);
    ASSERT_EQ(drops.start(), S_OK);
    EXPECT_EQ(pull(drops).status, S_FALSE);
    drops.step(1);
    const Pull p = pull(drops);
    EXPECT_EQ(p.status, S_OK);
    EXPECT_EQ(p.flags, 0u);
    EXPECT_EQ(p.turn.number, 0u);
}

TEST(SimulatedStream, ARealTimeReaderThatFellBehindKeepsOnlyTheBacklog) {
    // 10 ms periods; sample n is due (1 + n) periods after the start; two older samples are kept.
    SimulatedStream stream(Pacing::RealTime, clocking(1, 2, false, 100'000));
    ASSERT_EQ(stream.start(), S_OK);
    // The stream starts on the box clock's next whole period.
    const auto start = stream.startTime();
    std::this_thread::sleep_until(start + std::chrono::milliseconds(300));
    const Pull first = pull(stream);
    const auto periods = (std::chrono::steady_clock::now() - start) / std::chrono::milliseconds(10);
    ASSERT_EQ(first.status, S_OK);
    EXPECT_GE(first.turn.number, 27u) << "the newest due sample is at least 29";
    EXPECT_LE(first.turn.number, static_cast<uint64_t>(periods)) << "nothing before it is due";
    EXPECT_EQ(stream.lost(), first.turn.number) << "everything before the backlog is lost";
    // Every later sample follows the one before, or the ones a slow pull let go: none is handed
    // out twice and none goes missing without being counted.
    uint64_t previous = first.turn.number;
    for (int i = 0; i < 5; ++i) {
        const uint64_t lostBefore = stream.lost();
        const Pull next = pull(stream, 1000);
        ASSERT_EQ(next.status, S_OK);
        EXPECT_EQ(next.turn.number, previous + 1 + (stream.lost() - lostBefore));
        previous = next.turn.number;
    }
}

TEST(SimulatedStream, ATypeChangeMovesToTheNextTypeAndRestartsTheNumbers) {
    SimulatedStream stream(Pacing::Stepped, clocking(0, 0, true));
    ASSERT_EQ(stream.start(), S_OK);
    stream.step(3);
    EXPECT_EQ(pull(stream).turn.number, 0u);
    stream.changeType();
    const Pull changed = pull(stream);
    EXPECT_EQ(changed.status, S_OK);
    EXPECT_EQ(changed.flags, static_cast<uint32_t>(MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED));
    EXPECT_EQ(stream.nativeIndex(), 1u);
    const Pull next = pull(stream);
    EXPECT_EQ(next.turn.number, 0u);
    EXPECT_EQ(next.turn.typeIndex, 1u);
    stream.changeType();
    pull(stream);
    EXPECT_EQ(stream.nativeIndex(), 0u) << "wraps to the first type";
    EXPECT_EQ(stream.select(2), MF_E_INVALIDMEDIATYPE);
}

// A device clock that runs fast makes its periods shorter from the next sample on, without a
// jump; an exact rate keeps whole seconds whole although its period in 100 ns is rounded.
TEST(SimulatedStream, AClockThatDriftsChangesItsPeriodsFromTheNextSampleOnAndRatesStayExact) {
    SimulatedStream stream(Pacing::Stepped, clocking(0, 0, true, 100'000));
    ASSERT_EQ(stream.start(), S_OK);
    stream.step(6);
    EXPECT_EQ(pull(stream).turn.boxTime100ns, 0);
    EXPECT_EQ(pull(stream).turn.boxTime100ns, 100'000);
    stream.setClockDrift(250'000);  // a quarter fast: 8 ms periods
    EXPECT_EQ(pull(stream).turn.boxTime100ns, 200'000);
    EXPECT_EQ(pull(stream).turn.boxTime100ns, 280'000);
    stream.clearFaults();
    EXPECT_EQ(stream.clockDrift(), 0);
    const Pull back = pull(stream);
    EXPECT_EQ(back.turn.boxTime100ns, 360'000);
    EXPECT_EQ(back.turn.periodNs, 10'000'000.0);
    EXPECT_EQ(pull(stream).turn.boxTime100ns, 460'000);

    SimulatedStream::Clocking ntsc = clocking(0, 0, true, 166'833);
    ntsc.rates = {{60000, 1001}, {60000, 1001}};
    SimulatedStream exact(Pacing::Stepped, ntsc);
    ASSERT_EQ(exact.start(), S_OK);
    exact.step(60'001);
    for (int i = 0; i < 60'000; ++i) pull(exact);
    EXPECT_EQ(pull(exact).turn.boxTime100ns, 10'010'000'000) << "1001 s, not 60,000 · 166,833";
}

TEST(SimulatedStream, FaultsCancelAndShutdown) {
    SimulatedStream stream(Pacing::Stepped, clocking(0, 0, true));
    ASSERT_EQ(stream.start(), S_OK);
    stream.step(5);
    stream.stall();
    EXPECT_EQ(pull(stream).status, S_FALSE) << "a stalled stream delivers nothing";
    stream.clearFaults();
    EXPECT_EQ(pull(stream).status, S_OK);
    stream.end();
    EXPECT_EQ(pull(stream).flags, static_cast<uint32_t>(MF_SOURCE_READERF_ENDOFSTREAM));
    stream.clearFaults();

    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stream.cancel();
    });
    stream.stall();
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(pull(stream, 5000).status, S_FALSE);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(4))
        << "the cancel ends the wait";
    canceller.join();

    stream.unplug();
    EXPECT_EQ(pull(stream).status, MF_E_DEVICE_NOT_CONNECTED);
    stream.stopStream();
    EXPECT_EQ(stream.start(), MF_E_DEVICE_NOT_CONNECTED);
    stream.clearFaults();
    EXPECT_EQ(stream.shutdown(), S_OK);
    EXPECT_EQ(pull(stream).status, MF_E_SHUTDOWN);
    EXPECT_EQ(stream.start(), MF_E_SHUTDOWN);
    EXPECT_EQ(stream.stop(), MF_E_SHUTDOWN);
    EXPECT_EQ(stream.usable(), MF_E_SHUTDOWN);
}

}  // namespace
}  // namespace tovrel::sim
