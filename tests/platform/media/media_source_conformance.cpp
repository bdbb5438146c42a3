#include "tests/platform/media/media_source_conformance.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/media/mf_constants.h"
#include "platform/media/mf_guids.h"

namespace tovrel::platform::testing {

void MediaSourceConformance::SetUp() {
    std::string reason;
    backend = GetParam().make(reason);
    if (!backend) GTEST_SKIP() << reason;
}

void MediaSourceConformance::TearDown() {
    if (backend) backend->source().Shutdown();
    backend.reset();
}

namespace {

uint32_t bytesOf(const std::shared_ptr<Sample>& sample) {
    std::shared_ptr<MediaBuffer> buffer;
    if (FAILED(sample->ConvertToContiguousBuffer(&buffer))) return 0;
    uint32_t length = 0;
    buffer->GetCurrentLength(&length);
    return length;
}

}  // namespace

TEST_P(MediaSourceConformance, DescribesItsStreamsAndRefusesOthers) {
    const uint32_t streams = source().streamCount();
    ASSERT_GE(streams, 1u);
    std::vector<MediaType> types;
    ASSERT_EQ(source().nativeTypes(0, &types), S_OK);
    ASSERT_FALSE(types.empty());
    for (const MediaType& type : types) {
        Guid major;
        ASSERT_EQ(type.GetMajorType(&major), S_OK);
        EXPECT_TRUE(major == MFMediaType_Video || major == MFMediaType_Audio);
        Guid subtype;
        EXPECT_EQ(type.GetGUID(MF_MT_SUBTYPE, &subtype), S_OK);
    }
    uint32_t current = UINT32_MAX;
    ASSERT_EQ(source().currentNativeIndex(0, &current), S_OK);
    EXPECT_LT(current, types.size());

    EXPECT_EQ(source().nativeTypes(streams, &types), MF_E_INVALIDSTREAMNUMBER);
    EXPECT_EQ(source().currentNativeIndex(streams, &current), MF_E_INVALIDSTREAMNUMBER);
    EXPECT_EQ(source().nativeTypes(0, nullptr), E_POINTER);
    EXPECT_EQ(source().currentNativeIndex(0, nullptr), E_POINTER);
}

TEST_P(MediaSourceConformance, SelectsOnlyItsOwnTypes) {
    std::vector<MediaType> types;
    ASSERT_EQ(source().nativeTypes(0, &types), S_OK);
    uint32_t current = 0;
    ASSERT_EQ(source().currentNativeIndex(0, &current), S_OK);
    EXPECT_TRUE(FAILED(source().selectNativeType(0, static_cast<uint32_t>(types.size()))));
    EXPECT_EQ(source().selectNativeType(source().streamCount(), 0), MF_E_INVALIDSTREAMNUMBER);
    uint32_t after = UINT32_MAX;
    ASSERT_EQ(source().currentNativeIndex(0, &after), S_OK);
    EXPECT_EQ(after, current) << "a refused type leaves the current one";
    const auto last = static_cast<uint32_t>(types.size() - 1);
    ASSERT_EQ(source().selectNativeType(0, last), S_OK);
    ASSERT_EQ(source().currentNativeIndex(0, &after), S_OK);
    EXPECT_EQ(after, last);
}

TEST_P(MediaSourceConformance, DeliversStampedSamplesOnceStarted) {
    ASSERT_EQ(source().startStream(0), S_OK);
    EXPECT_EQ(source().startStream(0), S_OK) << "starting twice is no fault";
    int64_t previous = -1;
    for (int i = 0; i < 3; ++i) {
        backend->produce();
        SourceReadResult result;
        ASSERT_EQ(source().pullSample(0, 3000, &result), S_OK) << "sample " << i;
        ASSERT_TRUE(result.sample) << "sample " << i;
        EXPECT_EQ(result.status, S_OK);
        EXPECT_GE(result.timestamp100ns, previous) << "sample " << i;
        EXPECT_GT(bytesOf(result.sample), 0u) << "sample " << i;
        previous = result.timestamp100ns;
    }
    EXPECT_EQ(source().stopStream(0), S_OK);
    SourceReadResult none;
    EXPECT_EQ(source().pullSample(0, 0, nullptr), E_POINTER);
    EXPECT_EQ(source().pullSample(source().streamCount(), 0, &none), MF_E_INVALIDSTREAMNUMBER);
}

// A pull that waits is woken by cancelPull from another thread and brings nothing. A stopped
// stream delivers nothing, so the only way out before the time-out is the cancel; the cancel is
// repeated because one sent before the pull begins waiting may be forgotten.
TEST_P(MediaSourceConformance, ACancelledPullReturnsWithoutASample) {
    ASSERT_EQ(source().startStream(0), S_OK);
    ASSERT_EQ(source().stopStream(0), S_OK);
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        while (!done) {
            source().cancelPull(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto begin = std::chrono::steady_clock::now();
    SourceReadResult result;
    const HRESULT hr = source().pullSample(0, 20'000, &result);
    const auto took = std::chrono::steady_clock::now() - begin;
    done = true;
    canceller.join();
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_FALSE(result.sample);
    EXPECT_LT(took, std::chrono::seconds(10)) << "woken by the cancel, not by the time-out";
}

TEST_P(MediaSourceConformance, AfterShutdownEveryCallAnswersShutdown) {
    ASSERT_EQ(source().startStream(0), S_OK);
    EXPECT_EQ(source().Shutdown(), S_OK);
    EXPECT_EQ(source().startStream(0), MF_E_SHUTDOWN);
    SourceReadResult result;
    EXPECT_EQ(source().pullSample(0, 100, &result), MF_E_SHUTDOWN);
    EXPECT_EQ(source().Stop(), MF_E_SHUTDOWN);
}

}  // namespace tovrel::platform::testing
