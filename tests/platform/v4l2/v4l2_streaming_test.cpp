// The V4L2 media source over a fake kernel: the streaming that umockdev cannot emulate, the
// faults a driver produces (fewer buffers, a refused requeue, interrupted calls, unplug), and a
// hostile node's answers. The test runs under AddressSanitizer too: the fake's buffers are heap
// memory, so a copy past a buffer's end fails it.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/mf_guids.h"
#include "platform/system/debug_output.h"
#include "platform/v4l2/v4l2_media_source.h"
#include "tests/platform/v4l2/fake_v4l2_system_calls.h"

namespace tovrel::platform {
namespace {

using test::FakeV4l2SystemCalls;

constexpr uint32_t kWidth = 8, kHeight = 4;
constexpr uint32_t kFrameBytes = kWidth * kHeight * 2;

std::vector<uint8_t> frame(uint8_t seed) {
    std::vector<uint8_t> bytes(kFrameBytes);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(seed + i);
    return bytes;
}

std::vector<uint8_t> bytesOf(const std::shared_ptr<Sample>& sample) {
    std::shared_ptr<MediaBuffer> buffer;
    EXPECT_EQ(sample->ConvertToContiguousBuffer(&buffer), S_OK);
    uint8_t* data = nullptr;
    uint32_t length = 0;
    buffer->Lock(&data, nullptr, &length);
    std::vector<uint8_t> bytes(data, data + length);
    buffer->Unlock();
    return bytes;
}

// Keeps what the backend writes to the debug output.
class DebugLog {
  public:
    DebugLog() {
        previous_ = setDebugOutputSink([this](std::string_view text) {
            std::lock_guard lock(mutex_);
            text_.append(text).append("\n");
        });
    }
    ~DebugLog() { setDebugOutputSink(previous_); }
    std::string text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }

  private:
    mutable std::mutex mutex_;
    std::string text_;
    DebugSink previous_;
};

class V4l2StreamingTest : public ::testing::Test {
  protected:
    std::shared_ptr<V4l2MediaSource> openSource() {
        HRESULT hr = E_FAIL;
        auto source = V4l2MediaSource::open(kernel, "/dev/video0", &hr);
        EXPECT_EQ(hr, S_OK);
        return source;
    }
    // One pull that must bring a frame (the fake has filled a buffer before).
    SourceReadResult pull(V4l2MediaSource& source, HRESULT expected = S_OK) {
        SourceReadResult result;
        EXPECT_EQ(source.pullSample(0, 2000, &result), expected);
        return result;
    }

    FakeV4l2SystemCalls kernel{"/dev/video0",
                               {{V4L2_PIX_FMT_YUYV, kWidth, kHeight, 1, 30},
                                {V4L2_PIX_FMT_YUYV, kWidth, kHeight, 1, 60},
                                {V4L2_PIX_FMT_NV12, kWidth, kHeight, 1, 30}}};
    DebugLog log;
};

TEST_F(V4l2StreamingTest, OpensTheNodeOnceAndClosesItAtShutdown) {
    auto source = openSource();
    ASSERT_TRUE(source);
    EXPECT_EQ(kernel.opens(), 1u);
    std::vector<MediaType> types;
    ASSERT_EQ(source->nativeTypes(0, &types), S_OK);
    ASSERT_EQ(types.size(), 3u);
    Guid subtype;
    types[2].GetGUID(MF_MT_SUBTYPE, &subtype);
    EXPECT_EQ(subtype, MFVideoFormat_NV12);
    EXPECT_EQ(source->Shutdown(), S_OK);
    EXPECT_EQ(kernel.openDescriptors(), 0u);
}

TEST_F(V4l2StreamingTest, AMissingNodeFailsAndSaysWhy) {
    HRESULT hr = S_OK;
    EXPECT_FALSE(V4l2MediaSource::open(kernel, "/dev/video9", &hr));
    EXPECT_EQ(hr, static_cast<HRESULT>(0x80070000u | ENOENT));
    EXPECT_NE(log.text().find("/dev/video9: open failed: No such file or directory"),
              std::string::npos)
        << log.text();
}

TEST_F(V4l2StreamingTest, DequeuesCopiesStampsAndRequeues) {
    auto source = openSource();
    ASSERT_EQ(source->startStream(0), S_OK);
    EXPECT_TRUE(kernel.streaming());
    EXPECT_EQ(kernel.grantedBuffers(), V4l2MediaSource::kBufferCount);
    EXPECT_EQ(kernel.queuedBuffers(), V4l2MediaSource::kBufferCount);

    ASSERT_TRUE(kernel.deliver(frame(1), 5'000'000));
    SourceReadResult first = pull(*source);
    ASSERT_TRUE(first.sample);
    EXPECT_EQ(first.timestamp100ns, 0) << "stamped from the stream's first frame";
    EXPECT_EQ(kernel.queuedBuffers(), V4l2MediaSource::kBufferCount) << "requeued";

    // Every buffer goes round once more: the first sample is a copy, not the driver's memory.
    for (uint8_t i = 0; i < V4l2MediaSource::kBufferCount; ++i) {
        ASSERT_TRUE(kernel.deliver(frame(static_cast<uint8_t>(10 + i)), 5'033'333 + i * 33'333));
        SourceReadResult next = pull(*source);
        ASSERT_TRUE(next.sample);
        EXPECT_EQ(next.timestamp100ns, 333'330 + i * 333'330);
        int64_t sampleTime = -1;
        next.sample->GetSampleTime(&sampleTime);
        EXPECT_EQ(sampleTime, next.timestamp100ns);
        EXPECT_EQ(bytesOf(next.sample), frame(static_cast<uint8_t>(10 + i)));
    }
    EXPECT_EQ(bytesOf(first.sample), frame(1));

    EXPECT_EQ(source->stopStream(0), S_OK);
    EXPECT_FALSE(kernel.streaming());
    EXPECT_EQ(kernel.mappedBuffers(), 0u);
    EXPECT_EQ(kernel.grantedBuffers(), 0u) << "buffers released";
    EXPECT_EQ(log.text(), "") << "a healthy stream logs nothing";
}

TEST_F(V4l2StreamingTest, AShortFrameIsCopiedAsFarAsItGoesAndAnErrorFrameIsDropped) {
    auto source = openSource();
    ASSERT_EQ(source->startStream(0), S_OK);
    std::vector<uint8_t> shortFrame(10, 7);
    ASSERT_TRUE(kernel.deliver(shortFrame, 1000));
    SourceReadResult result = pull(*source);
    ASSERT_TRUE(result.sample);
    EXPECT_EQ(bytesOf(result.sample), shortFrame);

    ASSERT_TRUE(kernel.deliver(frame(3), 2000, V4L2_BUF_FLAG_ERROR));
    pull(*source, S_FALSE);
    EXPECT_EQ(kernel.queuedBuffers(), V4l2MediaSource::kBufferCount) << "handed back all the same";
}

TEST_F(V4l2StreamingTest, StreamsInTheBuffersTheDriverGrants) {
    kernel.grantAtMost(1);
    auto source = openSource();
    ASSERT_EQ(source->startStream(0), S_OK);
    EXPECT_EQ(kernel.mappedBuffers(), 1u);
    EXPECT_NE(log.text().find("VIDIOC_REQBUFS granted 1 of 4 buffers"), std::string::npos);
    for (uint8_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(kernel.deliver(frame(i), 1000 * i));
        EXPECT_FALSE(kernel.deliver(frame(i), 1000 * i)) << "the one buffer is taken";
        SourceReadResult result = pull(*source);
        ASSERT_TRUE(result.sample);
        EXPECT_EQ(bytesOf(result.sample), frame(i));
    }
}

TEST_F(V4l2StreamingTest, NoGrantedBufferFailsTheStart) {
    kernel.grantAtMost(0);
    auto source = openSource();
    EXPECT_EQ(source->startStream(0), E_OUTOFMEMORY);
    EXPECT_FALSE(kernel.streaming());
    SourceReadResult result;
    EXPECT_EQ(source->pullSample(0, 10, &result), S_FALSE);
}

TEST_F(V4l2StreamingTest, ARefusedRequeueIsLoggedAndTheStreamGoesOnWithTheOthers) {
    auto source = openSource();
    ASSERT_EQ(source->startStream(0), S_OK);
    kernel.failIoctl(VIDIOC_QBUF, EINVAL);
    ASSERT_TRUE(kernel.deliver(frame(1), 1000));
    EXPECT_TRUE(pull(*source).sample) << "the frame was copied before the requeue";
    EXPECT_NE(log.text().find("/dev/video0: VIDIOC_QBUF failed: Invalid argument"),
              std::string::npos)
        << log.text();
    EXPECT_EQ(kernel.queuedBuffers(), V4l2MediaSource::kBufferCount - 1);
    for (uint8_t i = 0; i < 6; ++i) {
        ASSERT_TRUE(kernel.deliver(frame(i), 2000 + i));
        EXPECT_TRUE(pull(*source).sample);
    }
}

TEST_F(V4l2StreamingTest, WhenNoBufferIsLeftTheStreamFailsRatherThanWaitForEver) {
    kernel.grantAtMost(1);
    auto source = openSource();
    ASSERT_EQ(source->startStream(0), S_OK);
    kernel.failIoctl(VIDIOC_QBUF, ENOMEM);
    ASSERT_TRUE(kernel.deliver(frame(1), 1000));
    EXPECT_TRUE(pull(*source).sample);
    pull(*source, static_cast<HRESULT>(0x80070000u | ENOMEM));
    // A restart asks for buffers anew.
    ASSERT_EQ(source->stopStream(0), S_OK);
    ASSERT_EQ(source->startStream(0), S_OK);
    ASSERT_TRUE(kernel.deliver(frame(2), 2000));
    EXPECT_TRUE(pull(*source).sample);
}

TEST_F(V4l2StreamingTest, InterruptedCallsAreRetriedAndAnInterruptedWaitIsNothingYet) {
    kernel.failIoctl(VIDIOC_QUERYCAP, EINTR, 2);
    auto source = openSource();
    ASSERT_TRUE(source);
    kernel.failIoctl(VIDIOC_REQBUFS, EINTR);
    ASSERT_EQ(source->startStream(0), S_OK);
    kernel.failIoctl(VIDIOC_DQBUF, EINTR, 3);
    kernel.failIoctl(VIDIOC_QBUF, EINTR, 2);
    ASSERT_TRUE(kernel.deliver(frame(1), 1000));
    EXPECT_TRUE(pull(*source).sample);
    EXPECT_EQ(kernel.ioctlCalls(VIDIOC_DQBUF), 4u);
    EXPECT_EQ(kernel.queuedBuffers(), V4l2MediaSource::kBufferCount) << "requeued after EINTR";

    kernel.interruptNextPoll();
    ASSERT_TRUE(kernel.deliver(frame(2), 2000));
    pull(*source, S_FALSE);
    EXPECT_TRUE(pull(*source).sample);
    EXPECT_EQ(log.text(), "") << "an interruption is no failure";
}

TEST_F(V4l2StreamingTest, ANodeVanishingMidStreamEndsItAndShutdownStillReleases) {
    auto source = openSource();
    ASSERT_EQ(source->startStream(0), S_OK);
    ASSERT_TRUE(kernel.deliver(frame(1), 1000));
    EXPECT_TRUE(pull(*source).sample);

    HRESULT waited = S_OK;
    std::thread waiter([&] {
        SourceReadResult result;
        waited = source->pullSample(0, 10'000, &result);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto unplugged = std::chrono::steady_clock::now();
    kernel.vanish();
    waiter.join();
    EXPECT_EQ(waited, MF_E_DEVICE_NOT_CONNECTED);
    EXPECT_LT(std::chrono::steady_clock::now() - unplugged, std::chrono::seconds(5))
        << "the waiting pull woke up";
    EXPECT_NE(log.text().find("/dev/video0: VIDIOC_DQBUF failed: No such device"),
              std::string::npos)
        << log.text();
    SourceReadResult result;
    EXPECT_EQ(source->pullSample(0, 10, &result), MF_E_DEVICE_NOT_CONNECTED);

    EXPECT_EQ(source->Shutdown(), S_OK);
    EXPECT_EQ(kernel.mappedBuffers(), 0u);
    EXPECT_EQ(kernel.openDescriptors(), 0u);
}

TEST_F(V4l2StreamingTest, SelectingATypeWhileStreamingRestartsInIt) {
    auto source = openSource();
    ASSERT_EQ(source->startStream(0), S_OK);
    ASSERT_EQ(source->selectNativeType(0, 2), S_OK);
    EXPECT_TRUE(kernel.streaming());
    EXPECT_EQ(kernel.format().fmt.pix.pixelformat, static_cast<uint32_t>(V4L2_PIX_FMT_NV12));
    ASSERT_TRUE(kernel.deliver(std::vector<uint8_t>(kWidth * kHeight * 3 / 2, 9), 1000));
    SourceReadResult result = pull(*source);
    ASSERT_TRUE(result.sample);
    EXPECT_EQ(bytesOf(result.sample).size(), kWidth * kHeight * 3 / 2);
}

TEST_F(V4l2StreamingTest, AFormatTheDriverRefusesIsReportedAndLogged) {
    auto source = openSource();
    kernel.failIoctl(VIDIOC_S_FMT, EBUSY);
    EXPECT_EQ(source->selectNativeType(0, 1), static_cast<HRESULT>(0x80070000u | EBUSY));
    EXPECT_NE(log.text().find("VIDIOC_S_FMT failed: Device or resource busy"), std::string::npos);

    // A driver that answers the asked format with another: the type is refused, not streamed in
    // frames of a size the session does not expect.
    kernel.changeFormat({V4L2_PIX_FMT_YUYV, kWidth / 2, kHeight, 1, 30});
    kernel.keepFormat(true);
    EXPECT_EQ(source->selectNativeType(0, 2), MF_E_INVALIDMEDIATYPE);
    EXPECT_EQ(source->startStream(0), MF_E_INVALIDMEDIATYPE);
    EXPECT_FALSE(kernel.streaming());
    EXPECT_NE(log.text().find("VIDIOC_S_FMT answered 4x4 YUYV for 8x4 NV12"), std::string::npos)
        << log.text();
}

// --- a hostile node ---

// Whatever bytesused a node claims, a sample holds only what its buffer can: never more than the
// mapped buffer, and a zero or short frame as it came (the capture rejects what it cannot show).
TEST_F(V4l2StreamingTest, AClaimedFrameSizeNeverReachesPastTheBuffer) {
    auto source = openSource();
    ASSERT_EQ(source->startStream(0), S_OK);
    for (const uint32_t claimed : {kFrameBytes + 1, kFrameBytes * 3, 0xFFFFFFFFu}) {
        SCOPED_TRACE(claimed);
        kernel.tamperWithDequeues([claimed](v4l2_buffer& b) { b.bytesused = claimed; });
        ASSERT_TRUE(kernel.deliver(frame(5), 1000));
        SourceReadResult result = pull(*source);
        ASSERT_TRUE(result.sample);
        EXPECT_EQ(bytesOf(result.sample), frame(5));
    }
    kernel.tamperWithDequeues([](v4l2_buffer& b) { b.bytesused = 0; });
    ASSERT_TRUE(kernel.deliver(frame(6), 2000));
    SourceReadResult empty = pull(*source);
    ASSERT_TRUE(empty.sample);
    EXPECT_TRUE(bytesOf(empty.sample).empty());
    kernel.tamperWithDequeues({});
    ASSERT_TRUE(kernel.deliver(frame(7), 3000));
    EXPECT_EQ(bytesOf(pull(*source).sample), frame(7)) << "the stream goes on";
    EXPECT_EQ(kernel.queuedBuffers(), V4l2MediaSource::kBufferCount);
}

// A dequeued index that names no buffer of ours is skipped; the stream goes on with the others.
TEST_F(V4l2StreamingTest, ADequeuedIndexBeyondTheBuffersIsSkipped) {
    auto source = openSource();
    ASSERT_EQ(source->startStream(0), S_OK);
    kernel.tamperWithDequeues([](v4l2_buffer& b) { b.index = 1000; });
    ASSERT_TRUE(kernel.deliver(frame(1), 1000));
    pull(*source, S_FALSE);
    EXPECT_NE(log.text().find("VIDIOC_DQBUF answered buffer 1000 of 4"), std::string::npos)
        << log.text();
    kernel.tamperWithDequeues({});
    ASSERT_TRUE(kernel.deliver(frame(2), 2000));
    EXPECT_EQ(bytesOf(pull(*source).sample), frame(2));
}

// Failures of VIDIOC_DQBUF other than the unplug's end the stream the way an unplug does: the
// pull fails, and every later one, until a restart; the buffers are still released.
TEST_F(V4l2StreamingTest, ADequeueFailureEndsTheStreamAsAnUnplugDoes) {
    const std::pair<int, HRESULT> failures[] = {
        {EIO, MF_E_DEVICE_NOT_CONNECTED},                      // the queue's error state
        {EPIPE, static_cast<HRESULT>(0x80070000u | EPIPE)},    // the last buffer was taken
        {EINVAL, static_cast<HRESULT>(0x80070000u | EINVAL)},  // the queue forgot its state
        {ENOMEM, static_cast<HRESULT>(0x80070000u | ENOMEM)},
    };
    for (const auto& [error, expected] : failures) {
        SCOPED_TRACE(error);
        auto source = openSource();
        ASSERT_EQ(source->startStream(0), S_OK);
        kernel.failIoctl(VIDIOC_DQBUF, error);
        ASSERT_TRUE(kernel.deliver(frame(1), 1000));
        pull(*source, expected);
        pull(*source, expected);
        ASSERT_EQ(source->stopStream(0), S_OK);
        ASSERT_EQ(source->startStream(0), S_OK);
        ASSERT_TRUE(kernel.deliver(frame(2), 2000));
        EXPECT_EQ(bytesOf(pull(*source).sample), frame(2)) << "a restart streams again";
        EXPECT_EQ(source->Shutdown(), S_OK);
        EXPECT_EQ(kernel.mappedBuffers(), 0u);
        EXPECT_EQ(kernel.openDescriptors(), 0u);
    }
}

// A node that is not a capture device with streaming is not opened as a source, and is closed.
TEST_F(V4l2StreamingTest, ANodeThatIsNoStreamingCaptureDeviceIsRefused) {
    for (const uint32_t caps :
         {uint32_t{V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING},
          uint32_t{V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING},  // uvcvideo's second node
          uint32_t{V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE}, uint32_t{0}}) {
        SCOPED_TRACE(caps);
        kernel.setDeviceCaps(caps);
        HRESULT hr = S_OK;
        EXPECT_FALSE(V4l2MediaSource::open(kernel, "/dev/video0", &hr));
        EXPECT_EQ(hr, MF_E_INVALIDREQUEST);
        EXPECT_EQ(kernel.openDescriptors(), 0u);
    }
    EXPECT_NE(log.text().find("/dev/video0: no video capture with streaming"), std::string::npos);
}

// The driver switching formats under a running stream: the frames that follow are cut to the
// buffers, and a restart puts the chosen format back rather than stream in the driver's.
TEST_F(V4l2StreamingTest, AFormatChangedUnderTheStreamIsCutAndPutBackByARestart) {
    auto source = openSource();
    ASSERT_EQ(source->startStream(0), S_OK);
    kernel.changeFormat({V4L2_PIX_FMT_YUYV, kWidth * 2, kHeight * 2, 1, 30});
    ASSERT_TRUE(kernel.deliver(std::vector<uint8_t>(kFrameBytes * 4, 3), 1000));
    EXPECT_EQ(bytesOf(pull(*source).sample).size(), kFrameBytes);
    kernel.changeFormat({V4L2_PIX_FMT_YUYV, kWidth / 2, kHeight, 1, 30});
    ASSERT_TRUE(kernel.deliver(std::vector<uint8_t>(kFrameBytes / 2, 4), 2000));
    EXPECT_EQ(bytesOf(pull(*source).sample).size(), kFrameBytes / 2);

    ASSERT_EQ(source->stopStream(0), S_OK);
    ASSERT_EQ(source->startStream(0), S_OK);
    EXPECT_EQ(kernel.format().fmt.pix.width, kWidth);
    EXPECT_EQ(kernel.format().fmt.pix.height, kHeight);
    ASSERT_TRUE(kernel.deliver(frame(8), 3000));
    EXPECT_EQ(bytesOf(pull(*source).sample), frame(8));
    EXPECT_NE(log.text().find("the driver's format 4x4 YUYV is not the chosen 8x4 YUYV"),
              std::string::npos)
        << log.text();
}

}  // namespace
}  // namespace tovrel::platform
