#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/ffmpeg/audio_encoder_settings.h"
#include "platform/ffmpeg/encoder_backend.h"
#include "platform/ffmpeg/ffmpeg_sink_writer.h"
#include "platform/ffmpeg/ffmpeg_sink_writer_factory.h"
#include "platform/ffmpeg/frame_grid.h"
#include "platform/ffmpeg/video_encoder_settings.h"
#include "platform/media/mf_guids.h"
#include "platform/system/debug_output.h"
#include "tests/support/file_probe.h"
#include "tests/support/sync_measurement.h"

namespace tovrel::platform {
namespace {

constexpr uint32_t kW = 64, kH = 48;

MediaType videoOutput(const Guid& subtype, uint32_t fps = 10, uint32_t level = 0) {
    MediaType t;
    t.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    t.SetGUID(MF_MT_SUBTYPE, subtype);
    t.SetUINT32(MF_MT_AVG_BITRATE, 400'000);
    MFSetAttributeSize(&t, MF_MT_FRAME_SIZE, kW, kH);
    MFSetAttributeRatio(&t, MF_MT_FRAME_RATE, fps, 1);
    t.SetUINT32(MF_MT_MPEG2_PROFILE, subtype == MFVideoFormat_HEVC ? 1 : 100);
    if (level != 0) t.SetUINT32(MF_MT_MPEG2_LEVEL, level);
    t.SetUINT32(CODECAPI_AVEncMPVGOPSize, 12);
    t.SetUINT32(CODECAPI_AVEncCommonRateControlMode, eAVEncCommonRateControlMode_Quality);
    t.SetUINT32(CODECAPI_AVLowLatencyMode, 0);
    return t;
}

MediaType nv12Input(const Guid& subtype = MFVideoFormat_NV12) {
    MediaType t;
    t.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    t.SetGUID(MF_MT_SUBTYPE, subtype);
    MFSetAttributeSize(&t, MF_MT_FRAME_SIZE, kW, kH);
    t.SetUINT32(MF_MT_DEFAULT_STRIDE, kW);
    return t;
}

MediaType audioOutput(const Guid& subtype) {
    MediaType t;
    t.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    t.SetGUID(MF_MT_SUBTYPE, subtype);
    t.SetUINT32(MF_MT_AVG_BITRATE, 160'000);
    t.SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);
    t.SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, 48'000);
    return t;
}

MediaType pcmInput(uint32_t bits = 16, uint32_t rate = 48'000) {
    MediaType t;
    t.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    t.SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    t.SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
    t.SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);
    t.SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bits);
    return t;
}

std::shared_ptr<Sample> nv12Frame(int64_t time, uint8_t shade) {
    std::shared_ptr<Sample> sample;
    MFCreateSample(&sample);
    std::shared_ptr<MediaBuffer> buffer;
    MFCreateMemoryBuffer(kW * kH * 3 / 2, &buffer);
    uint8_t* data = nullptr;
    buffer->Lock(&data, nullptr, nullptr);
    for (uint32_t i = 0; i < kW * kH; ++i) data[i] = static_cast<uint8_t>(shade + i % kW);
    std::fill(data + kW * kH, data + kW * kH * 3 / 2, 128);
    buffer->Unlock();
    buffer->SetCurrentLength(kW * kH * 3 / 2);
    sample->AddBuffer(buffer);
    sample->SetSampleTime(time);
    return sample;
}

std::shared_ptr<Sample> pcmSample(int64_t time, uint32_t frames) {
    std::shared_ptr<Sample> sample;
    MFCreateSample(&sample);
    std::shared_ptr<MediaBuffer> buffer;
    MFCreateMemoryBuffer(frames * 4, &buffer);
    buffer->SetCurrentLength(frames * 4);
    sample->AddBuffer(buffer);
    sample->SetSampleTime(time);
    return sample;
}

// Reports the listed encoders as missing, makes video frames slow on request and keeps the
// names asked for, in order.
class ScriptedBackend final : public EncoderBackend {
  public:
    std::set<std::string> missing;
    std::chrono::milliseconds videoFrameCost{0};

    const AVCodec* findEncoder(const std::string& name) override {
        std::lock_guard lock(mutex_);
        asked_.push_back(name);
        return missing.count(name) ? nullptr : EncoderBackend::findEncoder(name);
    }
    int sendFrame(AVCodecContext* context, const AVFrame* frame) override {
        if (frame != nullptr && context->codec_type == AVMEDIA_TYPE_VIDEO)
            std::this_thread::sleep_for(videoFrameCost);
        return EncoderBackend::sendFrame(context, frame);
    }
    std::vector<std::string> asked() const {
        std::lock_guard lock(mutex_);
        return asked_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> asked_;
};

struct DebugLines {
    DebugLines() {
        previous = setDebugOutputSink([this](std::string_view line) {
            std::lock_guard lock(mutex);
            lines.emplace_back(line);
        });
    }
    ~DebugLines() { setDebugOutputSink(previous); }
    bool contains(const std::string& text) {
        std::lock_guard lock(mutex);
        for (const auto& line : lines) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }
    DebugSink previous;
    std::mutex mutex;
    std::vector<std::string> lines;
};

struct WriterFixture : ::testing::Test {
    void SetUp() override {
        char pattern[] = "/tmp/tovrel-ffmpeg-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        path = dir + "/MF1.mp4";
    }
    void TearDown() override {
        if (std::getenv("TOVREL_KEEP_FILES") != nullptr) return;  // to look at them by hand
        ::unlink(path.c_str());
        ::rmdir(dir.c_str());
    }
    std::unique_ptr<SinkWriter> create(bool preferHardware, bool throttlingDisabled = true) {
        FfmpegSinkWriterFactory factory(backend);
        Attributes attributes;
        if (preferHardware) attributes.SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, 1);
        if (throttlingDisabled) attributes.SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, 1);
        attributes.SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_MPEG4);
        std::unique_ptr<SinkWriter> writer;
        EXPECT_EQ(factory.CreateSinkWriterFromURL(path, &attributes, &writer), S_OK);
        return writer;
    }
    HRESULT configure(SinkWriter& writer, const Guid& video, const Guid& audio, uint32_t fps = 10) {
        uint32_t v = 99, a = 99;
        EXPECT_EQ(writer.AddStream(videoOutput(video, fps), &v), S_OK);
        EXPECT_EQ(v, 0u);
        EXPECT_EQ(writer.AddStream(audioOutput(audio), &a), S_OK);
        EXPECT_EQ(a, 1u);
        EXPECT_EQ(writer.SetInputMediaType(v, nv12Input(), nullptr), S_OK);
        EXPECT_EQ(writer.SetInputMediaType(a, pcmInput(), nullptr), S_OK);
        return writer.BeginWriting();
    }
    bool exists() const {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0;
    }

    ScriptedBackend backend;
    std::string dir;
    std::string path;
};

TEST_F(WriterFixture, HardwareEncodersAreTriedInOrderAndEachFallsBackToTheNext) {
    DebugLines debug;
    // The machine itself has neither device; the seam also reports both encoders as missing so
    // that the order does not depend on what the library was built with.
    backend.missing = {"h264_vaapi"};
    auto writer = create(true);
    ASSERT_EQ(configure(*writer, MFVideoFormat_H264, MFAudioFormat_AAC), S_OK);
    auto* ffmpeg = static_cast<FfmpegSinkWriter*>(writer.get());
    EXPECT_EQ(ffmpeg->statistics().videoEncoder, "libx264");
    const auto asked = backend.asked();
    ASSERT_GE(asked.size(), 3u);
    EXPECT_EQ(asked[0], "h264_vaapi");
    EXPECT_EQ(asked[1], "h264_nvenc");
    EXPECT_EQ(asked[2], "libx264");
    EXPECT_TRUE(debug.contains("h264_vaapi (not in this libavcodec)"));
    EXPECT_TRUE(debug.contains("not usable: h264_nvenc"));
    EXPECT_TRUE(debug.contains("video encoder chosen: libx264"));
    EXPECT_EQ(writer->Finalize(), S_OK);

    backend.missing = {"hevc_vaapi", "hevc_nvenc"};
    auto hevc = create(true);
    ASSERT_EQ(configure(*hevc, MFVideoFormat_HEVC, MFAudioFormat_MP3), S_OK);
    EXPECT_EQ(static_cast<FfmpegSinkWriter*>(hevc.get())->statistics().videoEncoder, "libx265");
    EXPECT_EQ(hevc->Finalize(), S_OK);
}

TEST_F(WriterFixture, WithoutTheHardwareAttributeOnlyTheSoftwareEncoderIsAsked) {
    auto writer = create(false);
    ASSERT_EQ(configure(*writer, MFVideoFormat_H264, MFAudioFormat_AAC), S_OK);
    const auto asked = backend.asked();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "h264_vaapi"), 0);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "h264_nvenc"), 0);
    EXPECT_EQ(asked.front(), "libx264");
}

TEST_F(WriterFixture, NoEncoderAtAllFailsTheStartAndLeavesNoFile) {
    DebugLines debug;
    backend.missing = {"h264_vaapi", "h264_nvenc", "libx264"};
    auto writer = create(true);
    EXPECT_TRUE(exists());
    EXPECT_EQ(configure(*writer, MFVideoFormat_H264, MFAudioFormat_AAC), MF_E_TOPO_CODEC_NOT_FOUND);
    EXPECT_TRUE(debug.contains("no video encoder could be opened"));
    EXPECT_EQ(writer->WriteSample(0, nv12Frame(0, 0)), MF_E_INVALIDREQUEST);
    EXPECT_EQ(writer->Finalize(), MF_E_INVALIDREQUEST);
    writer.reset();
    EXPECT_FALSE(exists());

    backend.missing = {"libmp3lame"};
    writer = create(false);
    EXPECT_EQ(configure(*writer, MFVideoFormat_H264, MFAudioFormat_MP3), MF_E_TOPO_CODEC_NOT_FOUND);
}

// The call orders are the conformance suite's; here, what only this writer refuses: outputs and
// inputs it has no encoder or conversion for, and a frame shorter than its input type says.
TEST_F(WriterFixture, TypesItCannotEncodeAreRefused) {
    auto writer = create(false);
    uint32_t index = 0;
    EXPECT_EQ(writer->AddStream(videoOutput(MFVideoFormat_NV12), &index), MF_E_INVALIDMEDIATYPE);
    ASSERT_EQ(writer->AddStream(videoOutput(MFVideoFormat_H264), &index), S_OK);
    EXPECT_EQ(writer->SetInputMediaType(0, nv12Input(MFVideoFormat_YUY2), nullptr),
              MF_E_INVALIDMEDIATYPE);
    ASSERT_EQ(writer->AddStream(audioOutput(MFAudioFormat_AAC), &index), S_OK);
    EXPECT_EQ(writer->SetInputMediaType(1, pcmInput(24), nullptr), MF_E_INVALIDMEDIATYPE);
    ASSERT_EQ(writer->SetInputMediaType(0, nv12Input(), nullptr), S_OK);
    ASSERT_EQ(writer->SetInputMediaType(1, pcmInput(), nullptr), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    std::shared_ptr<Sample> shortFrame = pcmSample(0, 10);
    EXPECT_EQ(writer->WriteSample(0, shortFrame), E_INVALIDARG);
    EXPECT_EQ(writer->Finalize(), S_OK);
}

TEST_F(WriterFixture, AFileThatCannotBeCreatedFailsTheCreationWithTheReason) {
    FfmpegSinkWriterFactory factory(backend);
    std::unique_ptr<SinkWriter> writer;
    EXPECT_EQ(factory.CreateSinkWriterFromURL(dir + "/missing/MF1.mp4", nullptr, &writer),
              static_cast<HRESULT>(0x80070003u));
    EXPECT_FALSE(writer);
    Attributes other;
    other.SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFVideoFormat_H264);
    EXPECT_EQ(factory.CreateSinkWriterFromURL(path, &other, &writer), MF_E_INVALIDMEDIATYPE);
    EXPECT_FALSE(exists());
}

// /dev/full takes the file's place: every write fails with ENOSPC. The start fails, the failure
// is told once, and the writer never removes a file it did not create.
TEST_F(WriterFixture, AFullDiskFailsTheStartAndIsToldOnce) {
    DebugLines debug;
    FfmpegSinkWriterFactory factory(backend);
    std::unique_ptr<SinkWriter> writer;
    ASSERT_EQ(factory.CreateSinkWriterFromURL("/dev/full", nullptr, &writer), S_OK);
    uint32_t v = 0;
    ASSERT_EQ(writer->AddStream(videoOutput(MFVideoFormat_H264), &v), S_OK);
    ASSERT_EQ(writer->SetInputMediaType(v, nv12Input(), nullptr), S_OK);
    EXPECT_EQ(writer->BeginWriting(), E_FAIL);
    EXPECT_TRUE(static_cast<FfmpegSinkWriter*>(writer.get())->statistics().writeFailed);
    EXPECT_EQ(writer->writeStatus(), static_cast<HRESULT>(0x80070000u | ENOSPC));
    writer.reset();
    int told = 0;
    for (const auto& line : debug.lines)
        told += line.find("/dev/full: write failed") != std::string::npos;
    EXPECT_EQ(told, 1);
    struct stat st {};
    EXPECT_EQ(::stat("/dev/full", &st), 0);
}

// The folder of a recording removed under it: the writes still succeed, into a file no one can
// open again. Within about a second the writer says so, once, and its status tells the
// recording to stop.
TEST_F(WriterFixture, AFileRemovedWhileWrittenIsAFailedWrite) {
    DebugLines debug;
    auto writer = create(false);
    ASSERT_EQ(configure(*writer, MFVideoFormat_H264, MFAudioFormat_AAC, 10), S_OK);
    EXPECT_EQ(writer->writeStatus(), S_OK);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    const auto start = std::chrono::steady_clock::now();
    int64_t i = 0;
    while (writer->writeStatus() == S_OK &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        writer->WriteSample(0, nv12Frame(i * 1'000'000LL, static_cast<uint8_t>(i)));
        ++i;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(writer->writeStatus(), static_cast<HRESULT>(0x80070000u | ENOENT));
    EXPECT_EQ(writer->Finalize(), E_FAIL);
    int told = 0;
    for (const auto& line : debug.lines) told += line.find("the file was removed") != line.npos;
    EXPECT_EQ(told, 1);
}

// A video encoder far slower than the frames: WriteSample never waits for it, the frames beyond
// two seconds of queue are dropped, counted and logged, and the sound, encoded ahead of the
// waiting frames, loses nothing.
TEST_F(WriterFixture, ASlowVideoEncoderCostsCountedFramesButNeverSound) {
    DebugLines debug;
    backend.videoFrameCost = std::chrono::milliseconds(160);
    auto writer = create(false, true);
    ASSERT_EQ(configure(*writer, MFVideoFormat_H264, MFAudioFormat_AAC, 10), S_OK);
    // 10 frames per second: the queue takes two seconds, 20 frames; 80 arrive one every 40 ms,
    // four times as fast as the encoder takes them, each with its 100 ms of sound. The sound's
    // queue (20 samples, 0.8 s of arrivals) outlasts a frame being encoded with room to
    // spare on a loaded machine, but not a turn behind the waiting frames (over three seconds).
    constexpr int kFrames = 80;
    int refused = 0;
    double longestMs = 0;
    for (int i = 0; i < kFrames; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (writer->WriteSample(0, nv12Frame(i * 1'000'000LL, static_cast<uint8_t>(i))) ==
            MF_E_NOTACCEPTING) {
            ++refused;
        }
        longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(
                                            std::chrono::steady_clock::now() - t0)
                                            .count());
        ASSERT_EQ(writer->WriteSample(1, pcmSample(i * 1'000'000LL, 4800)), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    EXPECT_LT(longestMs, 80.0) << "waited for the encoder";
    ASSERT_EQ(writer->Finalize(), S_OK);
    const auto stats = static_cast<FfmpegSinkWriter*>(writer.get())->statistics();
    // At most 20 queued and, even with the arrivals slowed to half by the load, 40 encoded.
    EXPECT_GE(stats.videoFramesDropped, 20u);
    EXPECT_EQ(stats.videoFramesDropped, static_cast<uint64_t>(refused));
    EXPECT_EQ(stats.videoFramesEncoded + stats.videoFramesDropped, static_cast<uint64_t>(kFrames));
    EXPECT_EQ(stats.audioSamplesDropped, 0u);
    EXPECT_TRUE(debug.contains("dropped while the encoder was behind: " +
                               std::to_string(stats.videoFramesDropped) + " video frames"));
    const testing::ProbedFile file = testing::probeFile(path);
    ASSERT_TRUE(file.readable) << file.errors;
    ASSERT_TRUE(file.stream("audio"));
    EXPECT_NEAR(file.stream("audio")->duration, 8.0, 0.05);
}

TEST_F(WriterFixture, WithThrottlingTheWriterWaitsForTheEncoderAndDropsNothing) {
    backend.videoFrameCost = std::chrono::milliseconds(5);
    auto writer = create(false, false);
    ASSERT_EQ(configure(*writer, MFVideoFormat_H264, MFAudioFormat_AAC, 10), S_OK);
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(writer->WriteSample(0, nv12Frame(i * 1'000'000LL, static_cast<uint8_t>(i))),
                  S_OK);
    ASSERT_EQ(writer->Finalize(), S_OK);
    const auto stats = static_cast<FfmpegSinkWriter*>(writer.get())->statistics();
    EXPECT_EQ(stats.videoFramesDropped, 0u);
    EXPECT_EQ(stats.videoFramesEncoded, 40u);
    EXPECT_EQ(testing::probeVideoFrames(path).decoded, 40);
}

// A detailed picture (noise drifting over a gradient) at 640x360: the encoder has use for every
// bit, so the average asked for is what the file carries.
TEST_F(WriterFixture, DetailedPicturesComeOutNearTheAskedAverage) {
    constexpr uint32_t w = 640, h = 360, fps = 30, frames = 180, target = 4'000'000;
    for (const Guid& subtype : {MFVideoFormat_H264, MFVideoFormat_HEVC}) {
        auto writer = create(false, false);
        MediaType out = videoOutput(subtype, fps);
        MFSetAttributeSize(&out, MF_MT_FRAME_SIZE, w, h);
        out.SetUINT32(MF_MT_AVG_BITRATE, target);
        MediaType in = nv12Input();
        MFSetAttributeSize(&in, MF_MT_FRAME_SIZE, w, h);
        in.SetUINT32(MF_MT_DEFAULT_STRIDE, w);
        uint32_t index = 0;
        ASSERT_EQ(writer->AddStream(out, &index), S_OK);
        ASSERT_EQ(writer->SetInputMediaType(index, in, nullptr), S_OK);
        ASSERT_EQ(writer->BeginWriting(), S_OK);
        uint32_t seed = 12345;
        for (uint32_t n = 0; n < frames; ++n) {
            std::shared_ptr<Sample> sample;
            MFCreateSample(&sample);
            std::shared_ptr<MediaBuffer> buffer;
            MFCreateMemoryBuffer(w * h * 3 / 2, &buffer);
            uint8_t* data = nullptr;
            buffer->Lock(&data, nullptr, nullptr);
            for (uint32_t i = 0; i < w * h * 3 / 2; ++i) {
                seed ^= seed << 13;
                seed ^= seed >> 17;
                seed ^= seed << 5;
                data[i] = static_cast<uint8_t>((i % w + n * 4) / 3 + (seed & 15));
            }
            buffer->Unlock();
            buffer->SetCurrentLength(w * h * 3 / 2);
            sample->AddBuffer(buffer);
            sample->SetSampleTime(static_cast<int64_t>(n) * 10'000'000 / fps);
            ASSERT_EQ(writer->WriteSample(index, sample), S_OK);
        }
        ASSERT_EQ(writer->Finalize(), S_OK);
        const testing::ProbedVideoFrames probed = testing::probeVideoFrames(path);
        ASSERT_EQ(probed.decoded, static_cast<int>(frames));
        const double bitRate = probed.packetBytes * 8.0 / (frames / double(fps));
        EXPECT_GT(bitRate, target * 0.75) << (subtype == MFVideoFormat_HEVC ? "HEVC" : "H.264");
        EXPECT_LT(bitRate, target * 1.25) << (subtype == MFVideoFormat_HEVC ? "HEVC" : "H.264");
        writer.reset();
        ::unlink(path.c_str());
    }
}

// The frame grid with stamps as a millisecond clock gives them at 59.94 frames a second
// (period 16.683 ms): every frame to its nearest slot from the first one on.
TEST(FrameGrid, LateFramesKeepTheirSlotSecondFramesAreDroppedEmptySlotsRepeated) {
    FrameGrid grid(60000, 1001, 3);
    EXPECT_FALSE(grid.place(50'000).dropped);  // slot 0 at 5 ms: the origin
    EXPECT_EQ(grid.originTime(), 50'000);
    auto p = grid.place(50'000 + 166'833 + 80'000);  // 8 ms late: still slot 1
    EXPECT_FALSE(p.dropped);
    EXPECT_EQ(p.slot, 1);
    EXPECT_EQ(p.repeatCount, 0);
    p = grid.place(50'000 + 2 * 166'833 - 30'000);  // 3 ms early
    EXPECT_EQ(p.slot, 2);
    p = grid.place(50'000 + 2 * 166'833 + 20'000);  // a second frame for slot 2
    EXPECT_TRUE(p.dropped);
    p = grid.place(50'000 + 5 * 166'834);  // slots 3 and 4 lost
    EXPECT_EQ(p.slot, 5);
    EXPECT_EQ(p.repeatFirst, 3);
    EXPECT_EQ(p.repeatCount, 2);
    p = grid.place(50'000 + 12 * 166'833);  // a gap longer than the repeats allowed
    EXPECT_EQ(p.slot, 12);
    EXPECT_EQ(p.repeatFirst, 6);
    EXPECT_EQ(p.repeatCount, 3);
    EXPECT_TRUE(grid.place(0).dropped) << "a frame from before the first";
    EXPECT_EQ(grid.written(), 5u);
    EXPECT_EQ(grid.dropped(), 2u);
    EXPECT_EQ(grid.repeated(), 5u);
    // After an hour the slots are still those of the exact ratio, not of a rounded period.
    FrameGrid hour(60000, 1001, 0);
    hour.place(0);
    EXPECT_EQ(hour.place(36'000'000'000LL).slot, 215'784);  // 3600 s × 59.94
}

// A fake millisecond clock's stamps through the writer: the file is constant-rate at the mode's
// rate (59.94, while the types declare 59), a late frame sits on its slot, a second frame for a
// slot is dropped, a lost one is repeated, and Finalize tells the counts in one line.
TEST_F(WriterFixture, FramesGoOnTheGridOfTheModesRateAndFinalizeCountsThem) {
    DebugLines debug;
    auto writer = create(false, false);
    uint32_t v = 0, a = 0;
    ASSERT_EQ(writer->AddStream(videoOutput(MFVideoFormat_H264, 59), &v), S_OK);
    ASSERT_EQ(writer->AddStream(audioOutput(MFAudioFormat_AAC), &a), S_OK);
    Attributes grid;
    MFSetAttributeRatio(&grid, MF_MT_FRAME_RATE, 60000, 1001);
    ASSERT_EQ(writer->SetInputMediaType(v, nv12Input(), &grid), S_OK);
    ASSERT_EQ(writer->SetInputMediaType(a, pcmInput(), nullptr), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    const auto ms = [](int64_t slot) { return (slot * 1001 + 30) / 60 * 10'000; };  // whole ms
    for (int64_t slot = 0; slot < 60; ++slot) {
        if (slot == 20 || slot == 21) continue;  // lost
        const int64_t late = slot == 10 ? 70'000 : 0;
        ASSERT_EQ(writer->WriteSample(v, nv12Frame(ms(slot) + late, static_cast<uint8_t>(slot))),
                  S_OK);
        if (slot == 30) {  // a second frame for the slot, 4 ms on
            ASSERT_EQ(writer->WriteSample(v, nv12Frame(ms(slot) + 40'000, 7)), S_OK);
        }
    }
    for (int n = 0; n < 100; ++n) {
        if (n >= 40 && n < 65) continue;  // 250 ms of sound lost
        ASSERT_EQ(writer->WriteSample(a, pcmSample(n * 100'000LL, 480)), S_OK);
    }
    ASSERT_EQ(writer->Finalize(), S_OK);
    EXPECT_TRUE(
        debug.contains("video frames written 60, dropped 1, repeated 2; largest audio gap "
                       "filled 250 ms"));
    const auto stats = static_cast<FfmpegSinkWriter*>(writer.get())->statistics();
    EXPECT_EQ(stats.videoFramesOffGrid, 1u);
    EXPECT_EQ(stats.videoFramesRepeated, 2u);

    const auto m = testing::SyncMeasurement::measure(path, 60000, 1001);
    ASSERT_TRUE(m.readable) << m.error;
    EXPECT_EQ(m.frames, 60);
    EXPECT_EQ(m.rateNumerator, 60000);
    EXPECT_EQ(m.rateDenominator, 1001);
    EXPECT_EQ(m.offGrid, 0);
    EXPECT_EQ(m.intervalsOffPeriod, 0);
    const testing::ProbedFile file = testing::probeFile(path);
    ASSERT_TRUE(file.readable) << file.errors;
    EXPECT_NEAR(file.stream("video")->startTime, 0.0, 1e-4);
}

// 44.1 kHz capture in 10 ms samples with 300 ms missing in the middle: the file's sound is 48 kHz,
// as long as the time it covers (the gap filled with silence), and starts at 0.
TEST_F(WriterFixture, AudioIsResampledRegroupedAndKeepsItsTimeAcrossAGap) {
    for (const Guid& subtype : {MFAudioFormat_AAC, MFAudioFormat_MP3}) {
        auto writer = create(false, false);
        uint32_t index = 0;
        ASSERT_EQ(writer->AddStream(audioOutput(subtype), &index), S_OK);
        ASSERT_EQ(writer->SetInputMediaType(index, pcmInput(16, 44'100), nullptr), S_OK);
        ASSERT_EQ(writer->BeginWriting(), S_OK);
        for (int n = 0; n < 150; ++n) {
            if (n >= 50 && n < 80) continue;  // 300 ms lost
            ASSERT_EQ(writer->WriteSample(index, pcmSample(n * 100'000LL, 441)), S_OK);
        }
        ASSERT_EQ(writer->Finalize(), S_OK);
        const testing::ProbedFile file = testing::probeFile(path);
        ASSERT_TRUE(file.readable) << file.errors;
        const testing::ProbedStream* audio = file.stream("audio");
        ASSERT_TRUE(audio);
        EXPECT_EQ(audio->codecName, subtype == MFAudioFormat_AAC ? "aac" : "mp3");
        EXPECT_EQ(audio->sampleRate, 48'000);
        EXPECT_EQ(audio->channels, 2);
        EXPECT_NEAR(audio->startTime, 0.0, 0.03);
        EXPECT_NEAR(audio->duration, 1.5, 0.05);
        writer.reset();
        ::unlink(path.c_str());
    }
}

TEST(EncoderSettings, MediaTypesBecomeEncoderSettings) {
    VideoEncoderSettings v;
    MediaType out = videoOutput(MFVideoFormat_HEVC, 30, 123);
    ASSERT_EQ(VideoEncoderSettings::fromTypes(out, nv12Input(), &v), S_OK);
    EXPECT_EQ(v.codec, VideoEncoderSettings::Codec::kHevc);
    EXPECT_EQ(v.width, kW);
    EXPECT_EQ(v.frameRateNumerator, 30u);
    EXPECT_EQ(v.averageBitRate, 400'000u);
    EXPECT_EQ(v.gopSize, 12u);
    EXPECT_TRUE(v.qualityRateControl);
    EXPECT_FALSE(v.lowLatency);
    EXPECT_EQ(v.x265LevelIdc(), 41);
    EXPECT_EQ(v.frameDuration100ns(), 333'333);
    MediaType otherSize = nv12Input();
    MFSetAttributeSize(&otherSize, MF_MT_FRAME_SIZE, kW * 2, kH);
    EXPECT_EQ(VideoEncoderSettings::fromTypes(out, otherSize, &v), MF_E_INVALIDMEDIATYPE);

    AudioEncoderSettings a;
    ASSERT_EQ(
        AudioEncoderSettings::fromTypes(audioOutput(MFAudioFormat_MP3), pcmInput(16, 44'100), &a),
        S_OK);
    EXPECT_EQ(a.codec, AudioEncoderSettings::Codec::kMp3);
    EXPECT_EQ(a.sampleRate, 48'000u);
    EXPECT_EQ(a.inputRate, 44'100u);
    EXPECT_EQ(a.bitRate, 160'000u);
    EXPECT_EQ(a.inputBytesPerFrame(), 4u);
}

}  // namespace
}  // namespace tovrel::platform
