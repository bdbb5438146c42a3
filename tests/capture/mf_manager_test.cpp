#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "capture/frame_event.h"
#include "capture/mf_manager.h"
#include "capture/offscreen_surface.h"
#include "imaging/pixel_conversion.h"
#include "platform/media/mf_guids.h"
#include "platform/system/manual_clock.h"
#include "sim/video/simulated_video_source.h"

namespace tovrel::capture {
namespace {

using namespace platform;
using sim::SimPixelFormat;
using sim::SimulatedVideoSource;
using sim::VideoFault;

constexpr uint32_t kW = 64, kH = 32;
constexpr std::array<sim::SimVideoMode, 2> kYuy2AndMjpg{{
    {SimPixelFormat::Yuy2, kW, kH, 30, 1},
    {SimPixelFormat::Mjpg, kW, kH, 30, 1},
}};
constexpr std::array<sim::SimVideoMode, 1> kMjpgOnly{{{SimPixelFormat::Mjpg, kW, kH, 30, 1}}};

template <typename Predicate>
bool waitUntil(Predicate predicate, int timeoutMs = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The newest image the renderer handed the surface, as the window would put it on screen.
std::vector<uint8_t> shownImage(OffscreenSurface& surface) {
    bool fresh = false;
    const PreviewImages::Image* image = surface.images().takeNewest(&fresh);
    if (image == nullptr) return {};
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < image->height; ++y) {
        const uint8_t* row = image->bgra + static_cast<int64_t>(y) * image->stride;
        out.insert(out.end(), row, row + image->width * 4);
    }
    return out;
}

// The n-th frame of a stepped source on `modes`, in native type `index`.
std::shared_ptr<Sample> frameOf(std::span<const sim::SimVideoMode> modes, uint32_t index,
                                uint64_t n, VideoFault fault = VideoFault::Stall) {
    SimulatedVideoSource twin(modes, SimulatedVideoSource::Pacing::Stepped);
    twin.selectNativeType(0, index);
    twin.startStream(0);
    twin.step(static_cast<uint32_t>(n + 1));
    SourceReadResult result;
    for (uint64_t i = 0; i <= n; ++i) {
        if (i == n && fault != VideoFault::Stall) twin.injectFault(fault);
        twin.pullSample(0, 1000, &result);
    }
    return result.sample;
}

std::vector<uint8_t> bytesOf(const std::shared_ptr<Sample>& sample) {
    std::shared_ptr<MediaBuffer> buffer;
    sample->ConvertToContiguousBuffer(&buffer);
    uint8_t* data = nullptr;
    uint32_t length = 0;
    buffer->Lock(&data, nullptr, &length);
    std::vector<uint8_t> out(data, data + length);
    buffer->Unlock();
    return out;
}

std::vector<uint8_t> bgraOf(const std::vector<uint8_t>& yuy2) {
    std::vector<uint8_t> bgra(kW * kH * 4);
    imaging::convertYuy2ToBgra(yuy2.data(), kW * 2, bgra.data(), kW * 4,
                               imaging::Size{static_cast<int32_t>(kW), static_cast<int32_t>(kH)},
                               0);
    return bgra;
}

bool hasGreenOutline(const uint8_t* bgra, size_t bytes) {
    for (size_t i = 0; i + 3 < bytes; i += 4) {
        if (bgra[i] == 0 && bgra[i + 1] == 136 && bgra[i + 2] == 0) return true;
    }
    return false;
}

struct SessionFixture : ::testing::Test {
    void open(std::span<const sim::SimVideoMode> modes, int32_t format = kFormatYuy2) {
        source =
            std::make_shared<SimulatedVideoSource>(modes, SimulatedVideoSource::Pacing::Stepped);
        ASSERT_EQ(manager.openSession(&surface, nullptr, source, false, false, 0, 0, 0, format),
                  S_OK);
    }
    HRESULT deliver(const std::shared_ptr<Sample>& sample, uint32_t flags = 0, int64_t time = 0) {
        return manager.videoCallback->OnReadSample(S_OK, 0, flags, time, sample);
    }
    void TearDown() override {
        manager.stopStreaming(clock);
        manager.closeSession();
    }

    ManualClock clock{1000};
    MFManager manager{clock};
    OffscreenSurface surface{kW, kH};
    std::shared_ptr<SimulatedVideoSource> source;
};

TEST_F(SessionFixture, OpensTheSessionOnTheDevicesDefaultMode) {
    open(kYuy2AndMjpg);
    EXPECT_TRUE(manager.sessionOpen);
    EXPECT_TRUE(manager.videoReader);
    EXPECT_FALSE(manager.audioReader) << "no audio source given";
    EXPECT_EQ(manager.activeFormat, kFormatYuy2);
    EXPECT_EQ(manager.width, kW);
    EXPECT_FLOAT_EQ(manager.frameRate, 30.0f);
    EXPECT_EQ(manager.yuy2ModeCount, 1);
    EXPECT_EQ(manager.mjpgModeCount, 1);
    EXPECT_GE(clock.totalSleptMs(), MFManager::kOpenSettleMs);
}

TEST_F(SessionFixture, StreamedFramesReachTheSurfaceConvertedToBgra) {
    open(kYuy2AndMjpg);
    ASSERT_EQ(manager.startStreaming(), S_OK);
    EXPECT_EQ(manager.startStreaming(), MF_E_INVALIDREQUEST);
    // A frame that arrives before the render thread waits is not shown: keep them coming.
    ASSERT_TRUE(waitUntil([&] {
        source->step(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return surface.ready >= 1;
    }));
    const uint64_t stepped = source->framesDelivered() + 1;
    ASSERT_TRUE(waitUntil([&] { return source->framesDelivered() >= stepped - 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(surface.images().width(), static_cast<int32_t>(kW));
    EXPECT_EQ(surface.images().height(), static_cast<int32_t>(kH));
    EXPECT_TRUE(manager.d2dTarget);
    EXPECT_FALSE(manager.d3dDevice);
    {
        std::lock_guard lock(manager.frameLock);
        EXPECT_EQ(std::memcmp(manager.bgraFrame.get(), manager.snapshotFrame.get(), kW * kH * 4),
                  0);
    }
    const uint64_t before = source->framesDelivered();
    source->step(3);
    EXPECT_TRUE(waitUntil([&] { return source->framesDelivered() >= before + 3; }))
        << "the chain goes on";
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const uint64_t last = source->framesDelivered() - 1;
    // The stop wakes the render thread, which presents the last frame once more.
    manager.stopStreaming(clock);
    EXPECT_FALSE(manager.renderThread.joinable()) << "the render thread was joined";
    EXPECT_EQ(shownImage(surface), bgraOf(bytesOf(frameOf(kYuy2AndMjpg, 0, last))));
}

TEST_F(SessionFixture, ATypeChangeStopsReading) {
    open(kYuy2AndMjpg);
    manager.startStreaming();
    source->step(1);
    ASSERT_TRUE(waitUntil([&] { return source->framesDelivered() == 1; }));
    source->injectFault(VideoFault::MediaTypeChange);
    source->step(5);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(source->framesDelivered(), 1u);
}

TEST_F(SessionFixture, TheEndOfTheStreamStopsReading) {
    open(kYuy2AndMjpg);
    manager.startStreaming();
    source->injectFault(VideoFault::EndOfStream);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    source->clearFaults();
    source->step(3);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(source->framesDelivered(), 0u);
}

TEST_F(SessionFixture, ClearingStreamingEndsTheChain) {
    open(kYuy2AndMjpg);
    manager.startStreaming();
    source->step(1);
    ASSERT_TRUE(waitUntil([&] { return source->framesDelivered() == 1; }));
    // The frame counts as delivered before its callback runs; clearing streaming before the
    // callback got past its streaming check would end the chain at once. A frame of this size
    // takes microseconds even under the sanitizers.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    manager.stopStreaming(clock);
    source->step(1);
    ASSERT_TRUE(waitUntil([&] { return source->framesDelivered() == 2; }))
        << "the outstanding read completes";
    source->step(3);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(source->framesDelivered(), 2u) << "and asks for nothing more";
}

TEST_F(SessionFixture, ASessionOpenedTwiceReleasesTheFirst) {
    open(kYuy2AndMjpg);
    auto first = source;
    manager.startStreaming();
    first->step(1);
    ASSERT_TRUE(waitUntil([&] { return first->framesDelivered() == 1; }));
    EXPECT_TRUE(first->streaming());
    manager.stopStreaming(clock);
    open(kMjpgOnly);
    EXPECT_FALSE(first->streaming()) << "the first reader stopped its stream";
    EXPECT_EQ(manager.activeFormat, kFormatMjpg);
    EXPECT_TRUE(manager.decodedFrame);
    first->step(3);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(first->framesDelivered(), 1u);
}

TEST_F(SessionFixture, CloseIsSafeTwiceAndKeepsTheViewFlags) {
    open(kYuy2AndMjpg);
    manager.previewVisible = false;
    manager.motionDetection = true;
    manager.startStreaming();
    manager.closeSession();  // without a stop first: the render thread is joined on the way
    manager.closeSession();
    EXPECT_FALSE(manager.sessionOpen);
    EXPECT_FALSE(manager.streaming);
    EXPECT_FALSE(manager.bgraFrame);
    EXPECT_FALSE(manager.videoReader);
    EXPECT_FALSE(manager.previewVisible);
    EXPECT_TRUE(manager.motionDetection);
}

TEST_F(SessionFixture, ASessionWithoutSourcesFailsItsLaterStepsCleanly) {
    ASSERT_EQ(manager.openSession(&surface, nullptr, nullptr, false, true, 0, 0, 0, kFormatYuy2),
              S_OK);
    EXPECT_TRUE(manager.sessionOpen);
    EXPECT_FALSE(manager.videoReader);
    EXPECT_FALSE(manager.bgraFrame);
    EXPECT_EQ(manager.startStreaming(), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    manager.stopStreaming(clock);
    EXPECT_EQ(surface.ready.load(), 0);
}

TEST_F(SessionFixture, WithThePreviewHiddenTheFramesAreUntouchedButStillRecorded) {
    open(kYuy2AndMjpg);
    manager.streaming = true;
    manager.previewVisible = false;
    manager.recording = true;
    int recorded = 0;
    manager.recordVideoSample = [&](const std::shared_ptr<Sample>&, int64_t, const uint8_t*) {
        ++recorded;
        return S_OK;
    };
    std::memset(manager.bgraFrame.get(), 0xAB, kW * kH * 4);
    std::memset(manager.snapshotFrame.get(), 0xCD, kW * kH * 4);
    deliver(frameOf(kYuy2AndMjpg, 0, 0));
    EXPECT_EQ(recorded, 1);
    for (uint32_t i = 0; i < kW * kH * 4; ++i) {
        ASSERT_EQ(manager.bgraFrame.get()[i], 0xAB);
        ASSERT_EQ(manager.snapshotFrame.get()[i], 0xCD);
    }
}

TEST_F(SessionFixture, TheSystemClockStampsRecordedFramesOnAUsb3Bridge) {
    source =
        std::make_shared<SimulatedVideoSource>(kYuy2AndMjpg, SimulatedVideoSource::Pacing::Stepped);
    ASSERT_EQ(manager.openSession(&surface, nullptr, source, true, false, 0, 0, 0, kFormatYuy2),
              S_OK);
    manager.recording = true;
    int64_t stamped = -1;
    manager.recordVideoSample = [&](const std::shared_ptr<Sample>&, int64_t time, const uint8_t*) {
        stamped = time;
        return S_OK;
    };
    deliver(frameOf(kYuy2AndMjpg, 0, 0), 0, 777);
    EXPECT_EQ(stamped, static_cast<int64_t>(clock.timeGetTime()) * 10000);
}

TEST_F(SessionFixture, AShortYuy2SampleIsNotReadPastItsEnd) {
    open(kYuy2AndMjpg);
    manager.streaming = true;
    std::memset(manager.bgraFrame.get(), 0xAB, kW * kH * 4);
    deliver(frameOf(kYuy2AndMjpg, 0, 0, VideoFault::ShortSample));
    EXPECT_EQ(manager.bgraFrame.get()[0], 0xAB);
    EXPECT_EQ(manager.videoCallback->rejectedFrames.load(), 1u);
    deliver(nullptr);  // "Video No sample": nothing to convert, the chain goes on
    EXPECT_EQ(manager.bgraFrame.get()[0], 0xAB);
}

TEST_F(SessionFixture, MjpegFramesThatDoNotFitAreDroppedAndTheFirstShowsBlack) {
    open(kMjpgOnly, kFormatYuy2);
    ASSERT_EQ(manager.activeFormat, kFormatMjpg);
    manager.streaming = true;
    // Garbage in the preview frame first: black can only come from the conversion of the
    // decoded frame that nothing has decoded into yet.
    std::memset(manager.bgraFrame.get(), 0xAB, kW * kH * 4);
    deliver(frameOf(kMjpgOnly, 0, 0, VideoFault::CorruptJpeg));
    for (size_t i : {size_t{0}, size_t{kW * 4 * (kH / 2) + 8}, size_t{kW * kH * 4 - 4}}) {
        EXPECT_EQ(manager.bgraFrame.get()[i], 0) << "black, not garbage, at " << i;
        EXPECT_EQ(manager.bgraFrame.get()[i + 1], 0);
        EXPECT_EQ(manager.bgraFrame.get()[i + 2], 0);
    }
    deliver(frameOf(kMjpgOnly, 0, 1));
    std::vector<uint8_t> shown(manager.bgraFrame.get(), manager.bgraFrame.get() + kW * kH * 4);
    EXPECT_NE(shown[0], 0) << "a decoded frame";
    for (VideoFault fault :
         {VideoFault::WrongSizeJpeg, VideoFault::Jpeg420, VideoFault::CorruptJpeg}) {
        deliver(frameOf(kMjpgOnly, 0, 5, fault));
        EXPECT_EQ(std::memcmp(shown.data(), manager.bgraFrame.get(), shown.size()), 0)
            << "the previous frame is shown again";
    }
    EXPECT_EQ(manager.videoCallback->rejectedFrames.load(), 4u);
    // A truncated frame decodes as far as it goes (with a warning) or is dropped: never worse.
    deliver(frameOf(kMjpgOnly, 0, 7, VideoFault::TruncatedJpeg));
    const std::vector<uint8_t> truncated(manager.bgraFrame.get(),
                                         manager.bgraFrame.get() + kW * kH * 4);
    const uint32_t rejected = manager.videoCallback->rejectedFrames.load();
    ASSERT_TRUE(rejected == 4u || rejected == 5u) << rejected;
    deliver(frameOf(kMjpgOnly, 0, 7));
    const uint8_t* whole = manager.bgraFrame.get();
    if (rejected == 5u) {
        EXPECT_EQ(truncated, shown) << "dropped: the previous frame stays";
    } else {
        EXPECT_TRUE(std::equal(truncated.begin(), truncated.begin() + kW * 4, whole))
            << "decoded with a warning: the rows it has are the frame's own";
    }
}

TEST_F(SessionFixture, MjpegFramesArriveWholeOnEveryRoad) {
    static constexpr std::array<sim::SimVideoMode, 1> kMjpg80x40{
        {{SimPixelFormat::Mjpg, 80, 40, 30, 1}}};
    open(kMjpg80x40);
    ASSERT_EQ(manager.activeFormat, kFormatMjpg);
    const size_t yuy2Bytes = 80 * 2 * 40, bgraBytes = 80 * 4 * 40;
    std::vector<uint8_t> recorded;
    manager.recordVideoSample = [&](const std::shared_ptr<Sample>&, int64_t, const uint8_t* f) {
        recorded.assign(f, f + yuy2Bytes);
        return S_OK;
    };
    const auto bgraOfFrame = [&](const std::vector<uint8_t>& yuy2) {
        std::vector<uint8_t> bgra(bgraBytes);
        imaging::convertYuy2ToBgra(yuy2.data(), 160, bgra.data(), 320, imaging::Size{80, 40}, 0);
        return bgra;
    };
    const auto shown = [&] {
        return std::vector<uint8_t>(manager.bgraFrame.get(), manager.bgraFrame.get() + bgraBytes);
    };
    const auto snapshot = [&] {
        return std::vector<uint8_t>(manager.snapshotFrame.get(),
                                    manager.snapshotFrame.get() + bgraBytes);
    };
    const auto decoded = [&] {
        return std::vector<uint8_t>(manager.decodedFrame.get(),
                                    manager.decodedFrame.get() + yuy2Bytes);
    };

    // Recording with the preview hidden packs the whole frame for the recording: frames 3 and 2
    // give the expected pictures, and frame 2 is left in decodedFrame.
    manager.streaming = true;
    manager.recording = true;
    manager.previewVisible = false;
    deliver(frameOf(kMjpg80x40, 0, 3));
    const std::vector<uint8_t> frame3 = recorded;
    deliver(frameOf(kMjpg80x40, 0, 2));
    const std::vector<uint8_t> frame2 = recorded;
    ASSERT_EQ(frame3.size(), yuy2Bytes);
    ASSERT_NE(frame3, frame2);

    // The preview alone packs in its conversion pass: frame 3 in both BGRA frames and in
    // decodedFrame, none of it left over from frame 2.
    manager.recording = false;
    manager.previewVisible = true;
    deliver(frameOf(kMjpg80x40, 0, 3));
    EXPECT_EQ(decoded(), frame3);
    EXPECT_EQ(shown(), bgraOfFrame(frame3));
    EXPECT_EQ(snapshot(), bgraOfFrame(frame3));

    // Recording and preview together: the recording and the preview get the same frame.
    manager.recording = true;
    deliver(frameOf(kMjpg80x40, 0, 5));
    EXPECT_NE(recorded, frame3) << "a later frame";
    EXPECT_EQ(decoded(), recorded);
    EXPECT_EQ(shown(), bgraOfFrame(recorded));
    EXPECT_EQ(snapshot(), bgraOfFrame(recorded));

    // A frame that does not decode while the preview alone runs shows the last decoded frame.
    manager.recording = false;
    const std::vector<uint8_t> frame5 = recorded;
    deliver(frameOf(kMjpg80x40, 0, 6, VideoFault::CorruptJpeg));
    EXPECT_EQ(decoded(), frame5);
    EXPECT_EQ(shown(), bgraOfFrame(frame5));
    manager.streaming = false;
}

TEST_F(SessionFixture, MotionOutlinesAppearButNeverDuringARecording) {
    open(kYuy2AndMjpg);
    manager.streaming = true;
    manager.motionDetection = true;
    deliver(frameOf(kYuy2AndMjpg, 0, 0));
    EXPECT_FALSE(hasGreenOutline(manager.bgraFrame.get(), kW * kH * 4))
        << "the first run only takes its reference";
    deliver(frameOf(kYuy2AndMjpg, 0, 1));
    EXPECT_TRUE(hasGreenOutline(manager.bgraFrame.get(), kW * kH * 4)) << "the block moved";
    EXPECT_TRUE(hasGreenOutline(manager.snapshotFrame.get(), kW * kH * 4))
        << "snapshots carry them";
    manager.recording = true;
    deliver(frameOf(kYuy2AndMjpg, 0, 2));
    EXPECT_FALSE(hasGreenOutline(manager.bgraFrame.get(), kW * kH * 4));
    manager.recording = false;
    deliver(frameOf(kYuy2AndMjpg, 0, 3));
    EXPECT_TRUE(hasGreenOutline(manager.bgraFrame.get(), kW * kH * 4)) << "outlines resume";
}

TEST_F(SessionFixture, NothingIsReadOnceStreamingAndRecordingAreClear) {
    open(kYuy2AndMjpg);
    std::memset(manager.bgraFrame.get(), 0xAB, kW * kH * 4);
    deliver(frameOf(kYuy2AndMjpg, 0, 0));
    EXPECT_EQ(manager.bgraFrame.get()[0], 0xAB);
    EXPECT_FALSE(source->streaming()) << "no next read was requested";
}

TEST(FrameEvent, APulseWithoutAWaiterIsLostASetIsKept) {
    FrameEvent event;
    event.pulse();
    EXPECT_FALSE(event.wait(10));
    event.set();
    EXPECT_TRUE(event.wait(10));
    EXPECT_FALSE(event.wait(10)) << "auto-reset";
    event.set();
    event.reset();
    EXPECT_FALSE(event.wait(10));
}

TEST(FrameEvent, APulseWakesTheThreadThatWaits) {
    FrameEvent event;
    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = event.wait(5000); });
    // A pulse before the waiter waits is lost (that is the event's rule), so pulse until it
    // wakes, rather than betting on a sleep that a loaded machine can outlast.
    std::atomic<bool> done{false};
    std::thread pulser([&] {
        while (!done) {
            event.pulse();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    waiter.join();
    done = true;
    pulser.join();
    EXPECT_TRUE(woke);
    EXPECT_FALSE(event.wait(10)) << "nothing left for the next wait";
}

}  // namespace
}  // namespace tovrel::capture
