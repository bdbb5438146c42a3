#include "tests/platform/media/sink_writer_conformance.h"

#include <algorithm>

#include "platform/media/mf_guids.h"

namespace tovrel::platform::testing {

void SinkWriterConformance::SetUp() {
    std::string reason;
    backend = GetParam().make(reason);
    if (!backend) GTEST_SKIP() << reason;
}

void SinkWriterConformance::TearDown() { backend.reset(); }

MediaType conformanceVideoOutput() {
    MediaType t;
    t.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    t.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_H264);
    t.SetUINT32(MF_MT_AVG_BITRATE, 400'000);
    MFSetAttributeSize(&t, MF_MT_FRAME_SIZE, kConformanceWidth, kConformanceHeight);
    MFSetAttributeRatio(&t, MF_MT_FRAME_RATE, kConformanceFps, 1);
    t.SetUINT32(MF_MT_MPEG2_PROFILE, 100);
    return t;
}

MediaType conformanceVideoInput() {
    MediaType t;
    t.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    t.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
    MFSetAttributeSize(&t, MF_MT_FRAME_SIZE, kConformanceWidth, kConformanceHeight);
    MFSetAttributeRatio(&t, MF_MT_FRAME_RATE, kConformanceFps, 1);
    t.SetUINT32(MF_MT_DEFAULT_STRIDE, kConformanceWidth);
    return t;
}

MediaType conformanceAudioOutput() {
    MediaType t;
    t.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    t.SetGUID(MF_MT_SUBTYPE, MFAudioFormat_AAC);
    t.SetUINT32(MF_MT_AVG_BITRATE, 160'000);
    t.SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, kConformanceChannels);
    t.SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, kConformanceRate);
    return t;
}

MediaType conformanceAudioInput() {
    MediaType t;
    t.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    t.SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    t.SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, kConformanceRate);
    t.SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, kConformanceChannels);
    t.SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
    return t;
}

namespace {

std::shared_ptr<Sample> sampleOf(uint32_t bytes, uint8_t fill, int64_t time100ns) {
    std::shared_ptr<Sample> sample;
    MFCreateSample(&sample);
    std::shared_ptr<MediaBuffer> buffer;
    MFCreateMemoryBuffer(bytes, &buffer);
    uint8_t* data = nullptr;
    buffer->Lock(&data, nullptr, nullptr);
    std::fill(data, data + bytes, fill);
    buffer->Unlock();
    buffer->SetCurrentLength(bytes);
    sample->AddBuffer(buffer);
    sample->SetSampleTime(time100ns);
    return sample;
}

std::shared_ptr<Sample> videoFrame(int64_t time100ns, uint8_t shade = 100) {
    return sampleOf(kConformanceWidth * kConformanceHeight * 3 / 2, shade, time100ns);
}

// `ms` of sound.
std::shared_ptr<Sample> sound(int64_t time100ns, uint32_t ms = 100) {
    return sampleOf(kConformanceRate / 1000 * ms * kConformanceChannels * 2, 0, time100ns);
}

// Video as stream 0, sound as stream 1, both with their inputs.
void addBothStreams(SinkWriter& writer) {
    uint32_t video = 99, audio = 99;
    ASSERT_EQ(writer.AddStream(conformanceVideoOutput(), &video), S_OK);
    ASSERT_EQ(writer.AddStream(conformanceAudioOutput(), &audio), S_OK);
    EXPECT_EQ(video, 0u) << "indices count from 0 in the order of AddStream";
    EXPECT_EQ(audio, 1u);
    ASSERT_EQ(writer.SetInputMediaType(video, conformanceVideoInput(), nullptr), S_OK);
    ASSERT_EQ(writer.SetInputMediaType(audio, conformanceAudioInput(), nullptr), S_OK);
}

}  // namespace

TEST_P(SinkWriterConformance, CallsOutOfOrderAreRefusedWithTheDocumentedResults) {
    std::unique_ptr<SinkWriter> writer = backend->create();
    ASSERT_TRUE(writer);
    uint32_t index = 99;
    EXPECT_EQ(writer->BeginWriting(), MF_E_INVALIDREQUEST) << "no streams";
    EXPECT_EQ(writer->WriteSample(0, videoFrame(0)), MF_E_INVALIDREQUEST) << "nothing begun";
    EXPECT_EQ(writer->Finalize(), MF_E_INVALIDREQUEST) << "nothing begun";
    ASSERT_EQ(writer->AddStream(conformanceVideoOutput(), &index), S_OK);
    EXPECT_EQ(writer->SetInputMediaType(1, conformanceVideoInput(), nullptr),
              MF_E_INVALIDSTREAMNUMBER);
    EXPECT_EQ(writer->BeginWriting(), MF_E_INVALIDREQUEST) << "a stream without its input type";
    ASSERT_EQ(writer->AddStream(conformanceAudioOutput(), &index), S_OK);
    ASSERT_EQ(writer->SetInputMediaType(0, conformanceVideoInput(), nullptr), S_OK);
    EXPECT_EQ(writer->BeginWriting(), MF_E_INVALIDREQUEST) << "the sound lacks its input type";
    ASSERT_EQ(writer->SetInputMediaType(1, conformanceAudioInput(), nullptr), S_OK);
    EXPECT_EQ(writer->WriteSample(0, videoFrame(0)), MF_E_INVALIDREQUEST) << "nothing begun";

    ASSERT_EQ(writer->BeginWriting(), S_OK);
    EXPECT_EQ(writer->BeginWriting(), MF_E_INVALIDREQUEST);
    EXPECT_EQ(writer->AddStream(conformanceAudioOutput(), &index), MF_E_INVALIDREQUEST);
    EXPECT_EQ(writer->SetInputMediaType(1, conformanceAudioInput(), nullptr), MF_E_INVALIDREQUEST);
    EXPECT_EQ(writer->WriteSample(2, sound(0)), MF_E_INVALIDSTREAMNUMBER);
    EXPECT_EQ(writer->WriteSample(1, nullptr), E_POINTER);
    std::shared_ptr<Sample> untimed;
    MFCreateSample(&untimed);
    std::shared_ptr<MediaBuffer> buffer;
    MFCreateMemoryBuffer(64, &buffer);
    buffer->SetCurrentLength(64);
    untimed->AddBuffer(buffer);
    EXPECT_EQ(writer->WriteSample(1, untimed), E_INVALIDARG);
    EXPECT_EQ(writer->WriteSample(0, videoFrame(0)), S_OK);
    EXPECT_EQ(writer->WriteSample(1, sound(0)), S_OK);

    EXPECT_EQ(writer->Finalize(), S_OK);
    EXPECT_EQ(writer->Finalize(), MF_E_INVALIDREQUEST);
    EXPECT_EQ(writer->WriteSample(0, videoFrame(1'000'000)), MF_E_INVALIDREQUEST);
}

// A start that fails leaves the writer unbegun: nothing to write, nothing to finalise.
TEST_P(SinkWriterConformance, AFailedStartLeavesNothingToWriteOrFinalize) {
    std::unique_ptr<SinkWriter> writer = backend->createUnwritable();
    ASSERT_TRUE(writer);
    addBothStreams(*writer);
    EXPECT_TRUE(FAILED(writer->BeginWriting()));
    EXPECT_EQ(writer->WriteSample(0, videoFrame(0)), MF_E_INVALIDREQUEST);
    EXPECT_EQ(writer->Finalize(), MF_E_INVALIDREQUEST);
}

// One second of both: every stream in the order added, every frame, and the times written.
TEST_P(SinkWriterConformance, AFinishedFileHoldsTheStreamsFramesAndTimesWritten) {
    std::unique_ptr<SinkWriter> writer = backend->create();
    ASSERT_TRUE(writer);
    addBothStreams(*writer);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    constexpr int kFrames = 10;
    constexpr int64_t kFrameTime = 10'000'000 / kConformanceFps;
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(writer->WriteSample(0, videoFrame(i * kFrameTime, static_cast<uint8_t>(i * 20))),
                  S_OK);
        ASSERT_EQ(writer->WriteSample(1, sound(i * kFrameTime)), S_OK);
    }
    ASSERT_EQ(writer->Finalize(), S_OK);
    writer.reset();

    // An AAC encoder starts with one frame (1024 samples) of priming, and the file moves both
    // streams by it alike, keeping them in step: an end may come up to that much late.
    constexpr double kPriming = 1024.0 / kConformanceRate, kRounding = 0.001;
    const std::vector<FinishedStream> streams = backend->finished();
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].type, "video");
    EXPECT_EQ(streams[0].videoFrames, kFrames);
    EXPECT_EQ(streams[1].type, "audio");
    for (const FinishedStream& stream : streams) {
        EXPECT_NEAR(stream.start, 0.0, kRounding) << stream.type;
        EXPECT_GE(stream.end, 1.0 - kRounding) << stream.type << " cut short";
        EXPECT_LE(stream.end, 1.0 + kPriming + kRounding) << stream.type;
    }
}

}  // namespace tovrel::platform::testing
