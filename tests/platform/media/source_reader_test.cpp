#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/media/source_reader.h"
#include "tests/platform/media/fake_media_source.h"

namespace tovrel::platform {
namespace {

using test::FakeMediaSource;
using test::videoType;

// Records every completion; optionally asks for the next sample from inside the callback.
class RecordingCallback final : public SourceReaderCallback {
  public:
    struct Call {
        HRESULT status;
        uint32_t stream;
        uint32_t flags;
        int64_t timestamp;
        std::shared_ptr<Sample> sample;
        std::thread::id thread;
    };

    HRESULT OnReadSample(HRESULT status, uint32_t stream, uint32_t flags, int64_t timestamp,
                         const std::shared_ptr<Sample>& sample) override {
        {
            std::lock_guard lock(mutex);
            calls.push_back({status, stream, flags, timestamp, sample, std::this_thread::get_id()});
        }
        changed.notify_all();
        if (reader && chain) reader->ReadSample(0, 0, nullptr, nullptr, nullptr, nullptr);
        return S_OK;
    }
    HRESULT OnFlush(uint32_t stream) override {
        std::lock_guard lock(mutex);
        flushes.push_back(stream);
        changed.notify_all();
        return S_OK;
    }
    HRESULT OnEvent(uint32_t, uint32_t) override { return S_OK; }

    bool waitFor(size_t count, int timeoutMs = 2000) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return calls.size() >= count; });
    }
    bool waitForFlush() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(2), [&] { return !flushes.empty(); });
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Call> calls;
    std::vector<uint32_t> flushes;
    SourceReader* reader = nullptr;
    bool chain = false;
};

struct ReaderFixture : ::testing::Test {
    void open(std::vector<std::vector<MediaType>> streams, bool videoProcessing = false) {
        source = std::make_shared<FakeMediaSource>(std::move(streams));
        callback = std::make_shared<RecordingCallback>();
        Attributes attributes;
        attributes.SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, callback);
        if (videoProcessing) attributes.SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, 1);
        ASSERT_EQ(MFCreateSourceReaderFromMediaSource(source, &attributes, &reader), S_OK);
        callback->reader = reader.get();
    }
    void TearDown() override { reader.reset(); }
    HRESULT read(uint32_t stream = MF_SOURCE_READER_FIRST_VIDEO_STREAM) {
        return reader->ReadSample(stream, 0, nullptr, nullptr, nullptr, nullptr);
    }

    std::shared_ptr<FakeMediaSource> source;
    std::shared_ptr<RecordingCallback> callback;
    std::unique_ptr<SourceReader> reader;
};

TEST_F(ReaderFixture, NativeTypesComeInTheDevicesOrderAndEndWithNoMoreTypes) {
    open({{videoType(MFVideoFormat_MJPG, 1920, 1080, 60, 1),
           videoType(MFVideoFormat_YUY2, 640, 480, 30, 1)}});
    std::unique_ptr<MediaType> type;
    ASSERT_EQ(reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, &type), S_OK);
    EXPECT_TRUE(type->IsEqual(videoType(MFVideoFormat_MJPG, 1920, 1080, 60, 1)));
    ASSERT_EQ(reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 1, &type), S_OK);
    EXPECT_EQ(reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 2, &type),
              MF_E_NO_MORE_TYPES);
    EXPECT_EQ(reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, &type),
              MF_E_INVALIDSTREAMNUMBER);
}

TEST_F(ReaderFixture, CompletesOneReadAtATimeOnItsOwnThread) {
    open({{videoType(MFVideoFormat_YUY2, 4, 2, 30, 1)}});
    ASSERT_EQ(read(), S_OK);
    EXPECT_EQ(read(), MF_E_NOTACCEPTING) << "one outstanding read per stream";
    source->push(0, {S_OK, 0, 1234, test::bytesSample(std::vector<uint8_t>(16, 7), 1234)});
    ASSERT_TRUE(callback->waitFor(1));
    {
        std::lock_guard lock(callback->mutex);
        const auto& call = callback->calls[0];
        EXPECT_EQ(call.status, S_OK);
        EXPECT_EQ(call.stream, 0u);
        EXPECT_EQ(call.timestamp, 1234);
        ASSERT_TRUE(call.sample);
        EXPECT_NE(call.thread, std::this_thread::get_id());
    }
    EXPECT_EQ(source->starts.load(), 1);
    // The next sample waits for the next request.
    source->push(0, {S_OK, 0, 2, test::bytesSample({1})});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(callback->waitFor(2, 10));
    ASSERT_EQ(read(), S_OK);
    EXPECT_TRUE(callback->waitFor(2));
}

TEST_F(ReaderFixture, ACallbackMayIssueTheNextReadAndFlagsPassThrough) {
    open({{videoType(MFVideoFormat_YUY2, 4, 2, 30, 1)}});
    callback->chain = true;
    for (int i = 0; i < 3; ++i) source->push(0, {S_OK, 0, i, test::bytesSample({1})});
    source->push(0, {S_OK, MF_SOURCE_READERF_ENDOFSTREAM, 0, nullptr});
    ASSERT_EQ(read(), S_OK);
    ASSERT_TRUE(callback->waitFor(4));
    std::lock_guard lock(callback->mutex);
    EXPECT_EQ(callback->calls[3].flags, MF_SOURCE_READERF_ENDOFSTREAM);
    EXPECT_FALSE(callback->calls[3].sample);
}

TEST_F(ReaderFixture, AFailedSourceReportsOnceAndThenRefusesReads) {
    open({{videoType(MFVideoFormat_YUY2, 4, 2, 30, 1)}});
    source->push(0, {}, MF_E_DEVICE_NOT_CONNECTED);
    ASSERT_EQ(read(), S_OK);
    ASSERT_TRUE(callback->waitFor(1));
    {
        std::lock_guard lock(callback->mutex);
        EXPECT_EQ(callback->calls[0].status, MF_E_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(callback->calls[0].flags, MF_SOURCE_READERF_ERROR);
    }
    // No busy loop of failing reads: the reader answers at once.
    EXPECT_EQ(read(), MF_E_DEVICE_NOT_CONNECTED);
}

TEST_F(ReaderFixture, FlushDropsThePendingReadAndCallsOnFlush) {
    open({{videoType(MFVideoFormat_YUY2, 4, 2, 30, 1)}});
    ASSERT_EQ(read(), S_OK);
    ASSERT_EQ(reader->Flush(MF_SOURCE_READER_FIRST_VIDEO_STREAM), S_OK);
    ASSERT_TRUE(callback->waitForFlush());
    source->push(0, {S_OK, 0, 1, test::bytesSample({1})});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(callback->waitFor(1, 10)) << "the flushed read does not complete";
    EXPECT_EQ(read(), S_OK) << "a new read is accepted";
    EXPECT_TRUE(callback->waitFor(1));
}

TEST_F(ReaderFixture, DeselectedStreamsRefuseReads) {
    open({{videoType(MFVideoFormat_YUY2, 4, 2, 30, 1)}, {test::pcmType(48000, 2, 16)}});
    ASSERT_EQ(reader->SetStreamSelection(MF_SOURCE_READER_FIRST_AUDIO_STREAM, false), S_OK);
    EXPECT_EQ(read(MF_SOURCE_READER_FIRST_AUDIO_STREAM), MF_E_INVALIDREQUEST);
    bool selected = true;
    reader->GetStreamSelection(1, &selected);
    EXPECT_FALSE(selected);
    EXPECT_EQ(read(MF_SOURCE_READER_FIRST_VIDEO_STREAM), S_OK);
}

TEST_F(ReaderFixture, NativeTypeSelectionMatchesPartialTypesAndWholeRates) {
    open({{videoType(MFVideoFormat_YUY2, 1920, 1080, 60000, 1001),
           videoType(MFVideoFormat_MJPG, 1920, 1080, 60000, 1001),
           videoType(MFVideoFormat_MJPG, 1280, 720, 30, 1)}});
    MediaType wanted;
    wanted.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    wanted.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_MJPG);
    uint32_t flags = 0;
    ASSERT_EQ(reader->SetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, wanted, &flags),
              S_OK);
    EXPECT_EQ(source->selected.back(), 1u) << "the first MJPEG type";
    // 59/1, what a catalogue of whole frames per second offers, finds 60000/1001.
    MFSetAttributeSize(&wanted, MF_MT_FRAME_SIZE, 1920, 1080);
    MFSetAttributeRatio(&wanted, MF_MT_FRAME_RATE, 59, 1);
    ASSERT_EQ(reader->SetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, wanted, &flags),
              S_OK);
    EXPECT_EQ(source->selected.back(), 1u);
    MFSetAttributeRatio(&wanted, MF_MT_FRAME_RATE, 25, 1);
    EXPECT_EQ(reader->SetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, wanted, &flags),
              MF_E_INVALIDMEDIATYPE);
    std::unique_ptr<MediaType> current;
    ASSERT_EQ(reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, &current), S_OK);
    EXPECT_TRUE(current->IsEqual(videoType(MFVideoFormat_MJPG, 1920, 1080, 60000, 1001)));
}

TEST_F(ReaderFixture, CurrentTypeSwitchesToAMatchingNativeTypeOrFails) {
    open({{videoType(MFVideoFormat_MJPG, 1920, 1080, 60, 1),
           videoType(MFVideoFormat_YUY2, 640, 480, 30, 1)}});
    MediaType yuy2;
    yuy2.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    yuy2.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_YUY2);
    ASSERT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, yuy2), S_OK);
    EXPECT_EQ(source->selected.back(), 1u);
    MediaType nv12 = yuy2;
    nv12.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
    EXPECT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, nv12),
              MF_E_INVALIDMEDIATYPE);
    MediaType audio;
    audio.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    EXPECT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, audio),
              MF_E_INVALIDMEDIATYPE);
}

TEST_F(ReaderFixture, VideoProcessingDeliversAnNv12DeviceAsYuy2) {
    open({{videoType(MFVideoFormat_NV12, 4, 2, 30, 1)}}, true);
    MediaType yuy2;
    yuy2.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    yuy2.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_YUY2);
    ASSERT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, yuy2), S_OK);
    std::unique_ptr<MediaType> current;
    reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, &current);
    Guid subtype;
    current->GetGUID(MF_MT_SUBTYPE, &subtype);
    EXPECT_EQ(subtype, MFVideoFormat_YUY2);
    uint32_t w = 0, h = 0;
    MFGetAttributeSize(current.get(), MF_MT_FRAME_SIZE, &w, &h);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 2u);

    // 4 x 2 NV12: Y rows 10 11 12 13 / 20 21 22 23, one chroma row U0 V0 U1 V1.
    source->push(0, {S_OK, 0, 0,
                     test::bytesSample({10, 11, 12, 13, 20, 21, 22, 23, 100, 200, 101, 201}, 77)});
    ASSERT_EQ(read(), S_OK);
    ASSERT_TRUE(callback->waitFor(1));
    std::shared_ptr<Sample> sample;
    {
        std::lock_guard lock(callback->mutex);
        sample = callback->calls[0].sample;
    }
    ASSERT_TRUE(sample);
    std::shared_ptr<MediaBuffer> buffer;
    sample->ConvertToContiguousBuffer(&buffer);
    uint8_t* data = nullptr;
    uint32_t length = 0;
    buffer->Lock(&data, nullptr, &length);
    ASSERT_EQ(length, 16u);
    const std::vector<uint8_t> expected{10, 100, 11, 200, 12, 101, 13, 201,
                                        20, 100, 21, 200, 22, 101, 23, 201};
    EXPECT_EQ(std::vector<uint8_t>(data, data + length), expected);
    buffer->Unlock();
    int64_t time = 0;
    sample->GetSampleTime(&time);
    EXPECT_EQ(time, 77);

    // Without the transforms the stream delivers its native NV12 again.
    reader->RemoveAllTransformsForStream(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
    reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, &current);
    current->GetGUID(MF_MT_SUBTYPE, &subtype);
    EXPECT_EQ(subtype, MFVideoFormat_NV12);
}

TEST_F(ReaderFixture, WithoutVideoProcessingNv12StaysNv12) {
    open({{videoType(MFVideoFormat_NV12, 4, 2, 30, 1)}}, false);
    MediaType yuy2;
    yuy2.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_YUY2);
    EXPECT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, yuy2),
              MF_E_INVALIDMEDIATYPE);
}

TEST_F(ReaderFixture, AShortNv12FrameIsNotReadPastItsEnd) {
    open({{videoType(MFVideoFormat_NV12, 4, 2, 30, 1)}}, true);
    MediaType yuy2;
    yuy2.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_YUY2);
    ASSERT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, yuy2), S_OK);
    source->push(0, {S_OK, 0, 0, test::bytesSample({1, 2, 3})});
    ASSERT_EQ(read(), S_OK);
    ASSERT_TRUE(callback->waitFor(1));
    std::lock_guard lock(callback->mutex);
    uint32_t length = 99;
    callback->calls[0].sample->GetTotalLength(&length);
    EXPECT_EQ(length, 0u);
}

TEST_F(ReaderFixture, AudioStreamsNegotiatePcm) {
    open({{test::pcmType(48000, 2, 16)}});
    MediaType pcm;
    pcm.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    pcm.SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    ASSERT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, pcm), S_OK);
    std::unique_ptr<MediaType> current;
    ASSERT_EQ(reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, &current), S_OK);
    uint32_t rate = 0;
    current->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
    EXPECT_EQ(rate, 48000u);
    MediaType floats = pcm;
    floats.SetGUID(MF_MT_SUBTYPE, MFAudioFormat_Float);
    EXPECT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, floats),
              MF_E_INVALIDMEDIATYPE);
    EXPECT_EQ(reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, &current),
              MF_E_INVALIDSTREAMNUMBER);
}

TEST_F(ReaderFixture, ShutdownWaitsForTheWorkerAndStopsTheStreams) {
    open({{videoType(MFVideoFormat_YUY2, 4, 2, 30, 1)}});
    ASSERT_EQ(read(), S_OK);
    ASSERT_EQ(reader->Shutdown(), S_OK);
    EXPECT_EQ(source->streamStops.load(), 1);
    EXPECT_EQ(read(), MF_E_SHUTDOWN);
}

TEST(SourceReaderSync, WithoutACallbackReadSampleBlocksAndFillsItsOutputs) {
    auto source = std::make_shared<FakeMediaSource>(
        std::vector<std::vector<MediaType>>{{videoType(MFVideoFormat_YUY2, 4, 2, 30, 1)}});
    std::unique_ptr<SourceReader> reader;
    ASSERT_EQ(MFCreateSourceReaderFromMediaSource(source, nullptr, &reader), S_OK);
    EXPECT_EQ(reader->ReadSample(0, 0, nullptr, nullptr, nullptr, nullptr), E_POINTER);
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        source->push(0, {S_OK, 0, 555, test::bytesSample({9})});
    });
    uint32_t stream = 9, flags = 9;
    int64_t time = 0;
    std::shared_ptr<Sample> sample;
    EXPECT_EQ(
        reader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, &stream, &flags, &time, &sample),
        S_OK);
    producer.join();
    EXPECT_EQ(stream, 0u);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(time, 555);
    EXPECT_TRUE(sample);
}

}  // namespace
}  // namespace tovrel::platform
