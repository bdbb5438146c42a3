// A hostile V4L2 node under a whole capture session: the fake kernel's answers go through the
// media source and the source reader into the capture manager's callback, as a box's do. Every
// nonsense frame is refused or cut and the stream goes on; a failing dequeue ends it as an unplug
// does. Under AddressSanitizer a read past any buffer on that road fails the test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/mf_manager.h"
#include "capture/offscreen_surface.h"
#include "capture/video_mode.h"
#include "imaging/pixel_conversion.h"
#include "platform/system/debug_output.h"
#include "platform/system/manual_clock.h"
#include "platform/v4l2/v4l2_media_source.h"
#include "tests/platform/v4l2/fake_v4l2_system_calls.h"

namespace tovrel::platform {
namespace {

using test::FakeV4l2SystemCalls;

constexpr uint32_t kW = 64, kH = 32;
constexpr uint32_t kYuy2Bytes = kW * kH * 2;
constexpr uint32_t kNv12Bytes = kW * kH * 3 / 2;

template <typename Predicate>
bool waitUntil(Predicate predicate, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<uint8_t> pattern(size_t bytes, uint8_t seed) {
    std::vector<uint8_t> out(bytes);
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(seed + i * 7);
    return out;
}

std::vector<uint8_t> bgraOfYuy2(const uint8_t* yuy2) {
    std::vector<uint8_t> bgra(kW * kH * 4);
    imaging::convertYuy2ToBgra(yuy2, kW * 2, bgra.data(), kW * 4,
                               imaging::Size{int32_t{kW}, int32_t{kH}}, 0);
    return bgra;
}

std::vector<uint8_t> bgraOfNv12(const std::vector<uint8_t>& nv12) {
    std::vector<uint8_t> yuy2(kYuy2Bytes);
    imaging::convertNv12ToYuy2(nv12.data(), kW, nv12.data() + kW * kH, kW, yuy2.data(), kW * 2,
                               imaging::Size{int32_t{kW}, int32_t{kH}});
    return bgraOfYuy2(yuy2.data());
}

class HostileNodeSession : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = setDebugOutputSink([this](std::string_view text) {
            std::lock_guard lock(logMutex_);
            log_.append(text).append("\n");
        });
    }
    void TearDown() override {
        manager.stopStreaming(clock);
        manager.closeSession();
        source.reset();
        EXPECT_EQ(kernel.mappedBuffers(), 0u);
        EXPECT_EQ(kernel.openDescriptors(), 0u) << "the node was closed";
        setDebugOutputSink(previous_);
    }
    void open(int32_t format) {
        HRESULT hr = E_FAIL;
        source = V4l2MediaSource::open(kernel, "/dev/video0", &hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(manager.openSession(&surface, nullptr, source, false, false, 0, 0, 0, format),
                  S_OK);
        ASSERT_EQ(manager.startStreaming(), S_OK);
    }
    // Hands the stream one frame, its dequeue answer rewritten by `tamper`, once the session has
    // a buffer queued; waits until it was dequeued.
    void feed(const std::vector<uint8_t>& bytes,
              std::function<void(v4l2_buffer&)> tamper = nullptr) {
        kernel.tamperWithDequeues(std::move(tamper));
        const uint32_t before = kernel.ioctlCalls(VIDIOC_DQBUF);
        ASSERT_TRUE(waitUntil([&] { return kernel.deliver(bytes, stamp_ += 16'667); }))
            << "no buffer was handed back to the driver";
        ASSERT_TRUE(waitUntil([&] { return kernel.ioctlCalls(VIDIOC_DQBUF) > before; }));
    }
    uint64_t rejected() const { return manager.videoCallback->rejectedFrames.load(); }
    bool shows(const std::vector<uint8_t>& bgra) {
        return waitUntil([&] {
            std::lock_guard lock(manager.frameLock);
            return std::memcmp(manager.bgraFrame.get(), bgra.data(), bgra.size()) == 0;
        });
    }
    std::string log() const {
        std::lock_guard lock(logMutex_);
        return log_;
    }

    FakeV4l2SystemCalls kernel{
        "/dev/video0", {{V4L2_PIX_FMT_YUYV, kW, kH, 1, 30}, {V4L2_PIX_FMT_NV12, kW, kH, 1, 30}}};
    ManualClock clock{1000};
    capture::MFManager manager{clock};
    capture::OffscreenSurface surface{kW, kH};
    std::shared_ptr<V4l2MediaSource> source;

  private:
    int64_t stamp_ = 0;
    mutable std::mutex logMutex_;
    std::string log_;
    DebugSink previous_;
};

TEST_F(HostileNodeSession, NonsenseFramesAreRefusedOrCutAndTheStreamGoesOn) {
    open(capture::kFormatYuy2);
    ASSERT_EQ(manager.activeFormat, capture::kFormatYuy2);
    const std::vector<uint8_t> first = pattern(kYuy2Bytes, 1);
    feed(first);
    ASSERT_TRUE(shows(bgraOfYuy2(first.data())));

    feed(pattern(kYuy2Bytes, 2), [](v4l2_buffer& b) { b.bytesused = 0; });
    EXPECT_TRUE(waitUntil([&] { return rejected() == 1; })) << "a frame of no bytes";
    feed(pattern(kYuy2Bytes / 2 + 3, 3));
    EXPECT_TRUE(waitUntil([&] { return rejected() == 2; })) << "a short frame";

    const std::vector<uint8_t> claimed = pattern(kYuy2Bytes, 4);
    feed(claimed, [](v4l2_buffer& b) { b.bytesused = 0xFFFFFFF0u; });
    EXPECT_TRUE(shows(bgraOfYuy2(claimed.data()))) << "bytesused beyond the buffer, cut to it";

    feed(pattern(kYuy2Bytes, 5), [](v4l2_buffer& b) { b.index = 77; });
    const std::vector<uint8_t> after = pattern(kYuy2Bytes, 6);
    feed(after);
    EXPECT_TRUE(shows(bgraOfYuy2(after.data()))) << "after a buffer that is none of ours";

    // The driver changes its format under the running stream, smaller then larger.
    kernel.changeFormat({V4L2_PIX_FMT_YUYV, kW / 2, kH, 1, 30});
    feed(pattern(kYuy2Bytes / 2, 7));
    EXPECT_TRUE(waitUntil([&] { return rejected() == 3; })) << "a frame of the smaller format";
    kernel.changeFormat({V4L2_PIX_FMT_YUYV, kW * 2, kH * 2, 1, 30});
    const std::vector<uint8_t> larger = pattern(kYuy2Bytes * 4, 8);
    feed(larger);
    EXPECT_TRUE(shows(bgraOfYuy2(larger.data()))) << "a frame of the larger format, cut";
    EXPECT_EQ(rejected(), 3u);
}

TEST_F(HostileNodeSession, NonsenseNv12FramesAreNotConvertedPastTheirEnd) {
    open(capture::kFormatNv12);
    const std::vector<uint8_t> first = pattern(kNv12Bytes, 11);
    feed(first);
    ASSERT_TRUE(shows(bgraOfNv12(first)));
    feed(pattern(kNv12Bytes, 12), [](v4l2_buffer& b) { b.bytesused = 0; });
    EXPECT_TRUE(waitUntil([&] { return rejected() == 1; }));
    feed(pattern(kNv12Bytes - 1, 13));
    EXPECT_TRUE(waitUntil([&] { return rejected() == 2; }));
    const std::vector<uint8_t> claimed = pattern(kNv12Bytes, 14);
    feed(claimed, [](v4l2_buffer& b) { b.bytesused = kNv12Bytes * 9; });
    EXPECT_TRUE(shows(bgraOfNv12(claimed)));
}

// A dequeue failure other than the unplug's: the reader reports it, the callback reads no more,
// and nothing spins; closing the session releases the node as after an unplug.
TEST_F(HostileNodeSession, AFailingDequeueEndsTheStreamAsAnUnplugDoes) {
    open(capture::kFormatYuy2);
    const std::vector<uint8_t> first = pattern(kYuy2Bytes, 21);
    feed(first);
    ASSERT_TRUE(shows(bgraOfYuy2(first.data())));
    kernel.failIoctl(VIDIOC_DQBUF, EPIPE);
    feed(pattern(kYuy2Bytes, 22));
    ASSERT_TRUE(waitUntil([&] { return log().find("Video No sample") != std::string::npos; }))
        << log();
    EXPECT_NE(log().find("/dev/video0: VIDIOC_DQBUF failed: Broken pipe"), std::string::npos);
    const uint32_t dequeues = kernel.ioctlCalls(VIDIOC_DQBUF);
    kernel.deliver(pattern(kYuy2Bytes, 23), 1'000'000);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(kernel.ioctlCalls(VIDIOC_DQBUF), dequeues) << "the ended stream is not read";
    EXPECT_TRUE(shows(bgraOfYuy2(first.data()))) << "the last picture stays";
}

}  // namespace
}  // namespace tovrel::platform
