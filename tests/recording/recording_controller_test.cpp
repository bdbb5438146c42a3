#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "capture/mf_manager.h"
#include "capture/offscreen_surface.h"
#include "imaging/pixel_conversion.h"
#include "platform/media/mf_guids.h"
#include "platform/media/recording_sink_writer.h"
#include "platform/system/manual_clock.h"
#include "recording/recording_controller.h"
#include "recording/video_bitrate.h"
#include "sim/audio/simulated_audio_source.h"
#include "sim/video/simulated_video_source.h"

namespace tovrel::recording {
namespace {

using namespace platform;
using capture::MFManager;

constexpr uint32_t kW = 64, kH = 32;
constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);
constexpr std::array<sim::SimVideoMode, 1> kModes{{{sim::SimPixelFormat::Yuy2, kW, kH, 30, 1}}};

uint32_t u32(const Attributes& a, const Guid& key) {
    uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(a.GetUINT32(key, &value), S_OK);
    return value;
}

uint64_t u64(const Attributes& a, const Guid& key) {
    uint64_t value = 0;
    EXPECT_EQ(a.GetUINT64(key, &value), S_OK);
    return value;
}

Guid guid(const Attributes& a, const Guid& key) {
    Guid value;
    EXPECT_EQ(a.GetGUID(key, &value), S_OK);
    return value;
}

std::shared_ptr<Sample> audioSample() {
    std::shared_ptr<Sample> sample;
    MFCreateSample(&sample);
    std::shared_ptr<MediaBuffer> buffer;
    MFCreateMemoryBuffer(1920, &buffer);
    buffer->SetCurrentLength(1920);
    sample->AddBuffer(buffer);
    return sample;
}

struct ControllerFixture : ::testing::Test {
    void open(bool useSystemClock = false) {
        video = std::make_shared<sim::SimulatedVideoSource>(
            kModes, sim::SimulatedVideoSource::Pacing::Stepped);
        audio =
            std::make_shared<sim::SimulatedAudioSource>(sim::SimulatedAudioSource::Pacing::Stepped);
        ASSERT_EQ(manager.openSession(&surface, audio, video, useSystemClock, false, 0, 0, 0,
                                      capture::kFormatYuy2),
                  S_OK);
    }
    void TearDown() override {
        controller.reset();
        manager.stopStreaming(clock);
        manager.closeSession();
    }
    std::shared_ptr<RecordingSinkWriter::Log> startAndLog(int32_t videoType = 0,
                                                          int32_t audioType = 0) {
        EXPECT_EQ(controller->StartRecording("/tmp/MF1.mp4", 2, videoType, audioType, 1), S_OK);
        return writers.last();
    }

    ManualClock clock{5000};
    MFManager manager{clock};
    capture::OffscreenSurface surface;
    RecordingSinkWriterFactory writers;
    std::unique_ptr<RecordingController> controller =
        std::make_unique<RecordingController>(manager, writers);
    std::shared_ptr<sim::SimulatedVideoSource> video;
    std::shared_ptr<sim::SimulatedAudioSource> audio;
};

TEST_F(ControllerFixture, RefusedPathsAndASecondStartChangeNothing) {
    open(true);
    manager.quality = 2;
    for (const char* path : {"/tmp/MF1.MP4", "/tmp/MF1", "/tmp/x.mp4/MF1", "/tmp/MF1.mp4 "}) {
        EXPECT_EQ(controller->StartRecording(path, 4, 1, 1, 1), MF_E_INVALIDMEDIATYPE) << path;
    }
    EXPECT_EQ(writers.created(), 0u);
    EXPECT_EQ(manager.quality, 2);
    EXPECT_EQ(clock.raisedPeriods(), 0);
    EXPECT_FALSE(manager.recording);

    ASSERT_EQ(controller->StartRecording("/tmp/MF1.mp4", 4, 0, 0, 1), S_OK);
    EXPECT_EQ(clock.raisedPeriods(), 1);
    EXPECT_EQ(controller->StartRecording("/tmp/MF2.mp4", 0, 1, 1, 0), MF_E_INVALIDREQUEST);
    EXPECT_EQ(writers.created(), 1u);
    EXPECT_EQ(manager.quality, 4);
    EXPECT_EQ(clock.raisedPeriods(), 1);
}

TEST_F(ControllerFixture, TheStartOpensTheWriterInOrderAndTheStopClosesItOnce) {
    open(true);
    auto log = startAndLog();
    ASSERT_TRUE(log);
    EXPECT_EQ(log->path, "/tmp/MF1.mp4");
    EXPECT_EQ(u32(log->attributes, MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS), 1u);
    EXPECT_EQ(u32(log->attributes, MF_SINK_WRITER_DISABLE_THROTTLING), 1u);
    EXPECT_EQ(guid(log->attributes, MF_TRANSCODE_CONTAINERTYPE), MFTranscodeContainerType_MPEG4);
    EXPECT_EQ(u32(log->attributes, MF_READWRITE_DISABLE_CONVERTERS), 0u);
    EXPECT_EQ(log->calls, (std::vector<std::string>{"AddStream", "SetInputMediaType", "AddStream",
                                                    "SetInputMediaType", "BeginWriting"}));
    EXPECT_EQ(manager.videoStreamIndex, 0u);
    EXPECT_EQ(manager.audioStreamIndex, 1u);
    EXPECT_TRUE(manager.recording);

    const uint64_t sleptBefore = clock.totalSleptMs();
    EXPECT_EQ(controller->StopRecording(), S_OK);
    EXPECT_GE(clock.totalSleptMs() - sleptBefore, RecordingController::kStopPauseMs);
    EXPECT_TRUE(log->finalized);
    EXPECT_TRUE(log->released);
    EXPECT_FALSE(manager.sinkWriter);
    EXPECT_EQ(manager.audioStreamIndex, 0u);
    EXPECT_EQ(clock.raisedPeriods(), 0);

    EXPECT_EQ(controller->StopRecording(), MF_E_INVALIDREQUEST);
    EXPECT_EQ(clock.raisedPeriods(), 0) << "a second stop leaves the timer alone";
    EXPECT_EQ(std::count(log->calls.begin(), log->calls.end(), "Finalize"), 1);
}

TEST_F(ControllerFixture, WithoutHardwarePreferenceTheItemIsAbsent) {
    open();
    ASSERT_EQ(controller->StartRecording("/tmp/MF1.mp4", 2, 0, 0, 0), S_OK);
    EXPECT_FALSE(writers.last()->attributes.HasItem(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS));
}

TEST_F(ControllerFixture, AWriterThatCannotBeCreatedLeavesNoRecording) {
    open(true);
    writers.failWith = kAccessDenied;
    EXPECT_EQ(controller->StartRecording("/tmp/MF1.mp4", 2, 0, 0, 1), kAccessDenied);
    EXPECT_FALSE(manager.recording);
    EXPECT_FALSE(manager.sinkWriter);
    EXPECT_EQ(clock.raisedPeriods(), 0);
    EXPECT_EQ(controller->StopRecording(), MF_E_INVALIDREQUEST);
}

TEST_F(ControllerFixture, AStreamThatCannotBeConfiguredLeavesNoRecording) {
    // No audio device: the audio stream has no input type.
    video = std::make_shared<sim::SimulatedVideoSource>(kModes,
                                                        sim::SimulatedVideoSource::Pacing::Stepped);
    ASSERT_EQ(
        manager.openSession(&surface, nullptr, video, false, false, 0, 0, 0, capture::kFormatYuy2),
        S_OK);
    EXPECT_TRUE(FAILED(controller->StartRecording("/tmp/MF1.mp4", 2, 0, 0, 1)));
    EXPECT_FALSE(manager.recording);
    auto log = writers.last();
    EXPECT_TRUE(log->released);
    EXPECT_FALSE(log->begun);

    // A video input type that cannot even be made (the first type the start makes).
    failMediaTypeCreationsOnThisThread(1);
    EXPECT_EQ(controller->StartRecording("/tmp/MF1.mp4", 2, 0, 0, 1), E_OUTOFMEMORY);
    EXPECT_FALSE(manager.recording);
    EXPECT_TRUE(writers.last()->released);
}

TEST_F(ControllerFixture, VideoTypesAttributeByAttribute) {
    open();
    auto log = startAndLog(0);
    const MediaType& in = log->inputTypes[0];
    EXPECT_EQ(guid(in, MF_MT_MAJOR_TYPE), MFMediaType_Video);
    EXPECT_EQ(guid(in, MF_MT_AM_FORMAT_TYPE), FORMAT_VideoInfo2);
    EXPECT_EQ(guid(in, MF_MT_SUBTYPE), MFVideoFormat_NV12);
    EXPECT_EQ(u32(in, MF_MT_SAMPLE_SIZE), kW * kH * 3 / 2);
    EXPECT_EQ(u32(in, MF_MT_AVG_BITRATE), kW * kH * 30 * 12);
    EXPECT_EQ(u32(in, MF_MT_VIDEO_CHROMA_SITING), 1u);
    EXPECT_EQ(u32(in, MF_MT_DEFAULT_STRIDE), kW);
    EXPECT_EQ(manager.nv12Stride, static_cast<int32_t>(kW));
    EXPECT_EQ(u64(in, MF_MT_FRAME_SIZE), packPair(kW, kH));
    EXPECT_EQ(u64(in, MF_MT_FRAME_RATE), packPair(30, 1));
    EXPECT_EQ(u64(in, MF_MT_FRAME_RATE_RANGE_MIN), packPair(30, 1));
    EXPECT_EQ(u64(in, MF_MT_FRAME_RATE_RANGE_MAX), packPair(30, 1));
    EXPECT_EQ(u32(in, MF_MT_FIXED_SIZE_SAMPLES), 1u);
    EXPECT_EQ(u32(in, MF_MT_ALL_SAMPLES_INDEPENDENT), 1u);
    EXPECT_EQ(u32(in, MF_MT_INTERLACE_MODE), 2u);
    EXPECT_EQ(in.GetCount(), 14u);
    // The frames go on the grid of the mode's own rate.
    EXPECT_EQ(u64(log->encodingParameters.at(0), MF_MT_FRAME_RATE), packPair(30, 1));
    EXPECT_EQ(log->encodingParameters.at(1).GetCount(), 0u) << "the sound has no grid";

    const MediaType& out = log->outputTypes[0];
    EXPECT_EQ(guid(out, MF_MT_SUBTYPE), MFVideoFormat_H264);
    EXPECT_EQ(u32(out, MF_MT_AVG_BITRATE), VideoBitrate(kW, kH, 30, MFVideoFormat_H264, 2));
    EXPECT_EQ(u64(out, MF_MT_FRAME_SIZE), packPair(kW, kH));
    EXPECT_EQ(u64(out, MF_MT_FRAME_RATE), packPair(30, 1));
    EXPECT_EQ(u32(out, MF_MT_INTERLACE_MODE), 2u);
    EXPECT_EQ(u32(out, MF_MT_MPEG2_PROFILE), 100u);
    EXPECT_EQ(u32(out, MF_MT_MPEG2_LEVEL), 11u);
    EXPECT_EQ(u32(out, CODECAPI_AVEncCommonRateControlMode), 3u);
    EXPECT_EQ(u32(out, CODECAPI_AVEncMPVGOPSize), 12u);
    EXPECT_EQ(u32(out, CODECAPI_AVLowLatencyMode), 0u);
    EXPECT_EQ(out.GetCount(), 11u);
}

// The configuration alone, for capture formats the simulated box need not offer.
struct ConfigurationFixture : ::testing::Test {
    std::shared_ptr<RecordingSinkWriter::Log> configure(uint32_t w, uint32_t h, float fps,
                                                        const Guid& subtype, int32_t quality,
                                                        HRESULT expected = S_OK) {
        manager.width = w;
        manager.height = h;
        manager.frameRate = fps;
        manager.quality = quality;
        auto log = std::make_shared<RecordingSinkWriter::Log>();
        log->begun = false;
        manager.sinkWriter = std::make_unique<RecordingSinkWriter>(log);
        EXPECT_EQ(controller.ConfigureVideoStream(subtype), expected);
        manager.sinkWriter.reset();
        return log;
    }
    ManualClock clock;
    MFManager manager{clock};
    RecordingSinkWriterFactory writers;
    RecordingController controller{manager, writers};
};

TEST_F(ConfigurationFixture, FractionalRatesQualitySevenAndTheLevelTables) {
    manager.frameRateNumerator = 30000;
    manager.frameRateDenominator = 1001;
    auto log = configure(1920, 1080, 29.97f, MFVideoFormat_H264, 7);
    EXPECT_EQ(u64(log->inputTypes[0], MF_MT_FRAME_RATE), packPair(29, 1));
    EXPECT_EQ(u64(log->outputTypes[0], MF_MT_FRAME_RATE), packPair(29, 1));
    // The types declare 29; the frames are placed on the grid of the true 29.97.
    EXPECT_EQ(u64(log->encodingParameters[0], MF_MT_FRAME_RATE), packPair(30000, 1001));
    // The input rate keeps the fraction; the output rate and level use 29.
    EXPECT_EQ(u32(log->inputTypes[0], MF_MT_AVG_BITRATE),
              static_cast<uint32_t>(static_cast<float>(1920 * 1080) * 29.97f * 8 * 3 * 0.5f));
    EXPECT_EQ(u32(log->outputTypes[0], MF_MT_AVG_BITRATE),
              VideoBitrate(1920, 1080, 29, MFVideoFormat_H264, 2));
    EXPECT_EQ(u32(log->outputTypes[0], MF_MT_MPEG2_LEVEL), 41u);

    log = configure(1280, 720, 60, MFVideoFormat_H264, 2);
    EXPECT_EQ(u32(log->outputTypes[0], MF_MT_MPEG2_LEVEL), 32u);
    EXPECT_EQ(u32(log->outputTypes[0], MF_MT_AVG_BITRATE), 7'614'595u);
    log = configure(1280, 720, 60, MFVideoFormat_HEVC, 2);
    EXPECT_EQ(u32(log->outputTypes[0], MF_MT_MPEG2_LEVEL), 120u);
    EXPECT_EQ(u32(log->outputTypes[0], MF_MT_MPEG2_PROFILE), 1u);
    log = configure(3840, 2160, 30, MFVideoFormat_HEVC, 2);
    EXPECT_EQ(u32(log->outputTypes[0], MF_MT_MPEG2_LEVEL), 150u);
    EXPECT_EQ(u32(log->outputTypes[0], MF_MT_AVG_BITRATE), 14'194'157u);
    log = configure(3840, 2160, 30, MFVideoFormat_H264, 2);
    EXPECT_EQ(u32(log->outputTypes[0], MF_MT_MPEG2_LEVEL), 51u);
}

// A type that cannot be made: without an input type the stream is added but gets no input, and
// the configuration fails with the creation's result; without an output type nothing is added.
TEST_F(ConfigurationFixture, ATypeThatCannotBeMadeFailsTheConfiguration) {
    failMediaTypeCreationsOnThisThread(1);  // the input type is made first
    auto log = configure(1920, 1080, 30, MFVideoFormat_H264, 2, E_OUTOFMEMORY);
    EXPECT_EQ(log->calls, std::vector<std::string>{"AddStream"});
    EXPECT_EQ(manager.nv12Stride, 1920) << "the stride is asked for all the same";
    failMediaTypeCreationsOnThisThread(2);
    log = configure(1920, 1080, 30, MFVideoFormat_H264, 2, E_OUTOFMEMORY);
    EXPECT_TRUE(log->calls.empty());
    log = configure(1920, 1080, 30, MFVideoFormat_H264, 2);
    EXPECT_EQ(log->calls, (std::vector<std::string>{"AddStream", "SetInputMediaType"}));
}

// 3840 x 2160 x 60 x 12 = 5,971,968,000 bits per second does not fit 32 bits: the input rate is
// the low 32 bits of that product, and taking them must not be the undefined float-to-unsigned
// conversion (the sanitizer build checks float-cast-overflow).
TEST_F(ConfigurationFixture, AnInputRatePast32BitsKeepsItsLow32Bits) {
    auto log = configure(3840, 2160, 60, MFVideoFormat_H264, 2);
    EXPECT_EQ(u32(log->inputTypes[0], MF_MT_AVG_BITRATE), 5'971'968'000u - 4'294'967'296u);
    log = configure(7680, 4320, 120, MFVideoFormat_HEVC, 2);  // 47,775,744,000: 11 times 2^32
    EXPECT_EQ(u32(log->inputTypes[0], MF_MT_AVG_BITRATE), 47'775'744'000u - 11 * 4'294'967'296u);
    log = configure(3840, 2160, 30, MFVideoFormat_H264, 2);  // 2,985,984,000 still fits
    EXPECT_EQ(u32(log->inputTypes[0], MF_MT_AVG_BITRATE), 2'985'984'000u);
}

TEST_F(ControllerFixture, AudioTypesForAacAndMp3) {
    open();
    for (int32_t audioType : {0, 1}) {
        auto log = startAndLog(0, audioType);
        const MediaType& out = log->outputTypes[1];
        EXPECT_EQ(guid(out, MF_MT_MAJOR_TYPE), MFMediaType_Audio);
        EXPECT_EQ(guid(out, MF_MT_SUBTYPE), audioType == 0 ? MFAudioFormat_AAC : MFAudioFormat_MP3);
        EXPECT_EQ(u32(out, MF_MT_AVG_BITRATE), 160'000u);
        EXPECT_EQ(u32(out, MF_MT_AUDIO_AVG_BYTES_PER_SECOND), 20'000u);
        EXPECT_EQ(u32(out, MF_MT_AUDIO_NUM_CHANNELS), 2u);
        EXPECT_EQ(u32(out, MF_MT_AUDIO_SAMPLES_PER_SECOND), 48'000u);
        std::vector<uint8_t> userData;
        if (audioType == 0) {
            EXPECT_FALSE(out.HasItem(MF_MT_USER_DATA));
        } else {
            ASSERT_EQ(out.GetBlob(MF_MT_USER_DATA, &userData), S_OK);
            EXPECT_EQ(userData, (std::vector<uint8_t>{0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x20,
                                                      0x01, 0x01, 0x00, 0x00, 0x00}));
        }
        // The input is the reader's PCM type as it stands.
        std::unique_ptr<MediaType> readerType;
        manager.audioReader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, &readerType);
        EXPECT_TRUE(log->inputTypes[1].IsEqual(*readerType));
        controller->StopRecording();
    }
}

TEST_F(ControllerFixture, TheFirstSampleFixesTheBaseForBothStreams) {
    open();
    auto log = startAndLog();
    std::vector<uint8_t> frame(kW * 2 * kH, 0x80);
    controller->RecordAudioSample(10'000'000, audioSample());
    controller->RecordVideoSample(10'400'000, nullptr, frame.data());  // 40 ms later
    controller->RecordAudioSample(10'100'000, audioSample());
    ASSERT_EQ(log->samples.size(), 3u);
    EXPECT_EQ(log->samples[0].time100ns, 0);
    EXPECT_EQ(log->samples[1].time100ns, 400'000);
    EXPECT_EQ(log->samples[2].time100ns, 100'000);
    EXPECT_EQ(log->samples[1].streamIndex, manager.videoStreamIndex);

    // Every start begins at 0 again.
    controller->StopRecording();
    log = startAndLog();
    controller->RecordVideoSample(99'000'000, nullptr, frame.data());
    EXPECT_EQ(log->samples.at(0).time100ns, 0);
}

TEST_F(ControllerFixture, SystemClockStampsAreWholeMillisecondsFromZero) {
    open(true);
    auto log = startAndLog();
    // Stepped sources: deliver samples through the callbacks, moving the clock between them.
    for (int i = 0; i < 4; ++i) {
        clock.advance(7);
        audio->step(1);
        video->step(1);
    }
    ASSERT_TRUE([&] {
        for (int wait = 0; wait < 3000 && log->samples.size() < 8; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return log->samples.size() >= 8;
    }());
    controller->StopRecording();
    int64_t smallest = INT64_MAX;
    for (const auto& written : log->samples) {
        EXPECT_EQ(written.time100ns % 10'000, 0);
        smallest = std::min(smallest, written.time100ns);
    }
    EXPECT_EQ(smallest, 0);
}

// With the system clock, a sample that says when the device captured it is stamped with that
// moment of the millisecond clock, however late its callback runs; a capture time the clock
// cannot have given (ahead of it, or seconds old) and a sample without one take the clock now.
TEST_F(ControllerFixture, ACapturedSampleKeepsItsCaptureTimeHoweverLateItsCallback) {
    open(true);
    const auto now = static_cast<int64_t>(clock.getTickCount64());
    auto captured = [](int64_t ms) {
        std::shared_ptr<Sample> sample = audioSample();
        sample->SetUINT64(MFSampleExtension_DeviceReferenceSystemTime,
                          static_cast<uint64_t>(ms) * 10'000 + 1'234);
        return sample;
    };
    EXPECT_EQ(manager.RecordingTimestamp(77, captured(now - 40).get()), (now - 40) * 10'000);
    EXPECT_EQ(manager.RecordingTimestamp(77, captured(now).get()), now * 10'000);
    EXPECT_EQ(manager.RecordingTimestamp(77, captured(now + 1).get()), now * 10'000) << "ahead";
    EXPECT_EQ(manager.RecordingTimestamp(77, captured(now - 2'001).get()), now * 10'000)
        << "too old";
    EXPECT_EQ(manager.RecordingTimestamp(77, audioSample().get()), now * 10'000);
    EXPECT_EQ(manager.RecordingTimestamp(77, nullptr), now * 10'000);
    EXPECT_EQ(manager.RecordingTimestamp(77), now * 10'000);
    manager.useSystemClock = false;
    EXPECT_EQ(manager.RecordingTimestamp(77, captured(now - 40).get()), 77) << "the reader's time";
}

TEST_F(ControllerFixture, TheRecordedFrameIsTheNv12OfTheYuy2Frame) {
    open();
    auto log = startAndLog();
    std::vector<uint8_t> yuy2(kW * 2 * kH);
    for (size_t i = 0; i < yuy2.size(); ++i) yuy2[i] = static_cast<uint8_t>(i * 7 + i / 128);
    std::shared_ptr<Sample> captured = audioSample();
    captured->SetSampleDuration(333'333);
    MFSetAttributeSize(captured.get(), MF_MT_FRAME_SIZE, kW, kH);
    controller->RecordVideoSample(5'000, captured, yuy2.data());

    std::vector<uint8_t> expected(kW * kH * 3 / 2);
    imaging::convertYuy2ToNv12(yuy2.data(), kW * 2, expected.data(), kW, expected.data() + kW * kH,
                               kW, imaging::Size{kW, kH});
    ASSERT_EQ(log->samples.size(), 1u);
    EXPECT_EQ(log->samples[0].data, expected);
    const Sample& written = *log->samples[0].sample;
    int64_t duration = 0;
    EXPECT_EQ(written.GetSampleDuration(&duration), S_OK);
    EXPECT_EQ(duration, 333'333);
    EXPECT_EQ(u64(written, MF_MT_FRAME_SIZE), packPair(kW, kH));
    EXPECT_FALSE(written.HasItem(MF_MT_FRAME_RATE)) << "only what the captured sample carries";
    EXPECT_EQ(guid(written, MF_MT_SUBTYPE), MFVideoFormat_NV12);
    EXPECT_EQ(u32(written, MF_MT_DEFAULT_STRIDE), kW);
    int64_t capturedTime = -1;
    captured->GetSampleTime(&capturedTime);
    EXPECT_EQ(capturedTime, 0) << "the captured sample carries the recording time too";
}

TEST_F(ControllerFixture, ExactlyOneOfTwoRacingFirstSamplesFixesTheBase) {
    open();
    std::vector<uint8_t> frame(kW * 2 * kH, 0x10);
    for (int round = 0; round < 50; ++round) {
        auto log = startAndLog();
        std::atomic<bool> go{false};
        std::thread a([&] {
            while (!go) {
            }
            controller->RecordAudioSample(1'000, audioSample());
        });
        std::thread v([&] {
            while (!go) {
            }
            controller->RecordVideoSample(5'000, nullptr, frame.data());
        });
        go = true;
        a.join();
        v.join();
        ASSERT_EQ(log->samples.size(), 2u);
        const int64_t t0 = log->samples[0].time100ns;
        const int64_t t1 = log->samples[1].time100ns;
        EXPECT_EQ(t0, 0) << "the one written first fixed the base";
        EXPECT_EQ(std::abs(t1), 4'000);
        controller->StopRecording();
    }
}

TEST_F(ControllerFixture, NoWriteReachesTheWriterAfterFinalize) {
    open();
    auto log = startAndLog();
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    std::thread writer([&] {
        int64_t t = 0;
        while (!stop) {
            controller->RecordAudioSample(t += 100'000, audioSample());
            ++calls;
        }
    });
    // Counted calls rather than a fixed pause: a busy machine may start the writer late.
    auto waitForCalls = [&](int n) {
        for (int wait = 0; wait < 5000 && calls < n; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    waitForCalls(3);
    controller->StopRecording();
    waitForCalls(calls + 3);
    stop = true;
    writer.join();
    EXPECT_TRUE(log->finalized);
    EXPECT_FALSE(log->samples.empty());
    for (const auto& written : log->samples) ASSERT_FALSE(written.afterFinalize);
}

TEST_F(ControllerFixture, ARecordingStartsTheReadsWhenNotStreamingAndTheyEndAfterTheStop) {
    open();
    ASSERT_FALSE(manager.streaming);
    auto log = startAndLog();
    video->step(3);
    audio->step(3);
    for (int wait = 0; wait < 3000 && log->samples.size() < 6; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(log->samples.size(), 6u);
    controller->StopRecording();
    const uint64_t delivered = video->framesDelivered();
    video->step(3);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    // The callback of the first frame after the stop ends the chain of reads.
    EXPECT_LE(video->framesDelivered(), delivered + 1);
}

}  // namespace
}  // namespace tovrel::recording
