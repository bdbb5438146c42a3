// The FFmpeg sink writer on frames of the simulated box, beside FFmpeg's own command-line
// encoder given the same settings on the same frames, interleaved in one run: H.264 1080p60 High
// and HEVC 1080p30 Main at the "Normal" rate. Reports frames per second and the share of the two
// cores each used, and their ratio. A third benchmark measures what a recording adds to the video
// callback at 1080p (the NV12 conversion and the hand-over to the writer), pairwise.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/mf_manager.h"
#include "capture/offscreen_surface.h"
#include "imaging/pixel_conversion.h"
#include "platform/ffmpeg/encoder_backend.h"
#include "platform/ffmpeg/ffmpeg_sink_writer.h"
#include "platform/ffmpeg/ffmpeg_sink_writer_factory.h"
#include "platform/media/mf_guids.h"
#include "platform/system/manual_clock.h"
#include "recording/codec_levels.h"
#include "recording/recording_controller.h"
#include "recording/video_bitrate.h"
#include "sim/audio/simulated_audio_source.h"
#include "sim/box/box_model.h"
#include "sim/video/simulated_video_source.h"

namespace {

using namespace tovrel;
using namespace tovrel::platform;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kW = 1920, kH = 1080;
constexpr uint32_t kFrameBytes = kW * kH * 3 / 2;
constexpr uint32_t kDistinctFrames = 30;
constexpr uint32_t kCores = 2;
constexpr std::array<sim::SimVideoMode, 1> kMode{{{sim::SimPixelFormat::Yuy2, kW, kH, 60, 1}}};

// The simulated box's moving picture as NV12, converted as the recording converts it.
const std::vector<std::vector<uint8_t>>& nv12Frames() {
    static const std::vector<std::vector<uint8_t>> frames = [] {
        std::vector<std::vector<uint8_t>> out;
        sim::SimulatedVideoSource source(kMode, sim::SimulatedVideoSource::Pacing::Stepped);
        source.selectNativeType(0, 0);
        source.startStream(0);
        source.step(kDistinctFrames);
        for (uint32_t i = 0; i < kDistinctFrames; ++i) {
            SourceReadResult result;
            source.pullSample(0, 1000, &result);
            std::shared_ptr<MediaBuffer> buffer;
            result.sample->ConvertToContiguousBuffer(&buffer);
            uint8_t* data = nullptr;
            buffer->Lock(&data, nullptr, nullptr);
            std::vector<uint8_t> nv12(kFrameBytes);
            imaging::convertYuy2ToNv12(data, kW * 2, nv12.data(), kW, nv12.data() + kW * kH, kW,
                                       imaging::Size{kW, kH});
            buffer->Unlock();
            out.push_back(std::move(nv12));
        }
        return out;
    }();
    return frames;
}

struct Settings {
    Guid subtype;
    uint32_t fps;
    uint32_t frames;
    const char* cliCodec;
    const char* preset;
    std::string cliProfile;
    std::string cliLevel;
    std::string cliParams;
};

uint32_t bitRate(const Settings& s) { return recording::VideoBitrate(kW, kH, s.fps, s.subtype, 2); }

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

struct Run {
    double fps = 0;
    double cpuShare = 0;
};

// Our writer, throttled (it waits for the encoder, so the figure is the encoder's pace).
Run runOurs(const Settings& s, const std::string& path) {
    FfmpegSinkWriterFactory factory;
    Attributes attributes;
    attributes.SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_MPEG4);
    std::unique_ptr<SinkWriter> writer;
    factory.CreateSinkWriterFromURL(path, &attributes, &writer);
    MediaType out;
    out.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    out.SetGUID(MF_MT_SUBTYPE, s.subtype);
    out.SetUINT32(MF_MT_AVG_BITRATE, bitRate(s));
    MFSetAttributeSize(&out, MF_MT_FRAME_SIZE, kW, kH);
    MFSetAttributeRatio(&out, MF_MT_FRAME_RATE, s.fps, 1);
    const bool hevc = s.subtype == MFVideoFormat_HEVC;
    out.SetUINT32(MF_MT_MPEG2_PROFILE,
                  hevc ? eAVEncH265VProfile_Main_420_8 : eAVEncH264VProfile_High);
    out.SetUINT32(MF_MT_MPEG2_LEVEL, hevc ? recording::SelectHevcLevel(kW, kH, s.fps)
                                          : recording::SelectH264Level(kW, kH, s.fps));
    out.SetUINT32(CODECAPI_AVEncCommonRateControlMode, eAVEncCommonRateControlMode_Quality);
    out.SetUINT32(CODECAPI_AVEncMPVGOPSize, 12);
    out.SetUINT32(CODECAPI_AVLowLatencyMode, 0);
    MediaType in;
    in.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    in.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
    MFSetAttributeSize(&in, MF_MT_FRAME_SIZE, kW, kH);
    in.SetUINT32(MF_MT_DEFAULT_STRIDE, kW);
    uint32_t index = 0;
    writer->AddStream(out, &index);
    writer->SetInputMediaType(index, in, nullptr);
    writer->BeginWriting();
    const auto& frames = nv12Frames();
    const double cpu0 = processCpuSeconds();
    const auto t0 = Clock::now();
    for (uint32_t i = 0; i < s.frames; ++i) {
        std::shared_ptr<Sample> sample;
        MFCreateSample(&sample);
        std::shared_ptr<MediaBuffer> buffer;
        MFCreateMemoryBuffer(kFrameBytes, &buffer);
        uint8_t* data = nullptr;
        buffer->Lock(&data, nullptr, nullptr);
        std::copy(frames[i % kDistinctFrames].begin(), frames[i % kDistinctFrames].end(), data);
        buffer->Unlock();
        buffer->SetCurrentLength(kFrameBytes);
        sample->AddBuffer(buffer);
        sample->SetSampleTime(static_cast<int64_t>(i) * 10'000'000 / s.fps);
        writer->WriteSample(index, sample);
    }
    writer->Finalize();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = processCpuSeconds() - cpu0;
    return {s.frames / wall, cpu / wall / kCores};
}

// FFmpeg's command line on the same frames (read from a raw file in the page cache).
Run runCli(const Settings& s, const std::string& raw, const std::string& path) {
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -f rawvideo -pix_fmt nv12 -s 1920x1080 "
        "-framerate " +
        std::to_string(s.fps) + " -stream_loop " + std::to_string(s.frames / kDistinctFrames - 1) +
        " -i " + raw + " -c:v " + s.cliCodec + " -preset " + s.preset + " -profile:v " +
        s.cliProfile + " " + s.cliLevel + " -b:v " + std::to_string(bitRate(s)) +
        " -g 12 -keyint_min 12 " + s.cliParams +
        " -movflags frag_keyframe+empty_moov+default_base_moof -frag_duration 1000000 -y " + path;
    const double cpu0 = childrenCpuSeconds();
    const auto t0 = Clock::now();
    const int status = std::system(command.c_str());
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = childrenCpuSeconds() - cpu0;
    if (status != 0) return {};
    return {s.frames / wall, cpu / wall / kCores};
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

void runSideBySide(benchmark::State& state, const Settings& s) {
    const std::string raw = "/tmp/tovrel-bench-frames.nv12";
    {
        std::ofstream file(raw, std::ios::binary);
        for (const auto& frame : nv12Frames())
            file.write(reinterpret_cast<const char*>(frame.data()), frame.size());
    }
    const std::string ours = "/tmp/tovrel-bench-ours.mp4";
    const std::string cli = "/tmp/tovrel-bench-cli.mp4";
    std::vector<double> ourFps, ourCpu, cliFps, cliCpu, ratio;
    for (auto _ : state) {
        const Run a = runOurs(s, ours);
        const Run b = runCli(s, raw, cli);
        ourFps.push_back(a.fps);
        ourCpu.push_back(a.cpuShare);
        cliFps.push_back(b.fps);
        cliCpu.push_back(b.cpuShare);
        ratio.push_back(b.fps > 0 ? b.fps / a.fps : 0);
    }
    state.counters["ours_fps"] = median(ourFps);
    state.counters["ours_cpu_share"] = median(ourCpu);
    state.counters["ffmpeg_fps"] = median(cliFps);
    state.counters["ffmpeg_cpu_share"] = median(cliCpu);
    // Time per frame, ours over FFmpeg's: 1.0 is the same pace.
    state.counters["time_ratio"] = median(ratio);
    std::remove(raw.c_str());
    std::remove(ours.c_str());
    std::remove(cli.c_str());
}

void BM_H264_1080p60_High(benchmark::State& state) {
    runSideBySide(state, {MFVideoFormat_H264, 60, 600, "libx264", "superfast", "high", "-level 4.2",
                          "-x264-params scenecut=0:open-gop=0"});
}

void BM_Hevc_1080p30_Main(benchmark::State& state) {
    runSideBySide(state,
                  {MFVideoFormat_HEVC, 30, 150, "libx265", "ultrafast", "main", "-tag:v hvc1",
                   "-x265-params log-level=error:scenecut=0:open-gop=0:level-idc=4"});
}

// Stands in for the encoder so that the callback is measured without it competing for the cores:
// the writer's queue and copy run as in a recording, nothing is encoded.
class IdleEncoder final : public EncoderBackend {
  public:
    int sendFrame(AVCodecContext* context, const AVFrame* frame) override {
        return frame == nullptr ? EncoderBackend::sendFrame(context, frame) : 0;
    }
};

// Each iteration times the callback on one frame without a recording and on the next with one;
// the median of the differences is the recording's own cost per frame.
void BM_RecordingCallbackCost(benchmark::State& state) {
    ManualClock clock;
    capture::MFManager manager(clock);
    capture::OffscreenSurface surface;
    auto source = std::make_shared<sim::SimulatedVideoSource>(
        kMode, sim::SimulatedVideoSource::Pacing::Stepped);
    auto audio =
        std::make_shared<sim::SimulatedAudioSource>(sim::SimulatedAudioSource::Pacing::Stepped);
    manager.openSession(&surface, audio, source, false, false, 0, 0, 0, capture::kFormatYuy2);
    IdleEncoder idle;
    FfmpegSinkWriterFactory factory(idle);
    recording::RecordingController controller(manager, factory);
    sim::SimulatedVideoSource twin(kMode, sim::SimulatedVideoSource::Pacing::Stepped);
    twin.selectNativeType(0, 0);
    twin.startStream(0);
    twin.step(2);
    std::shared_ptr<Sample> samples[2];
    for (auto& sample : samples) {
        SourceReadResult result;
        twin.pullSample(0, 1000, &result);
        sample = result.sample;
    }
    const std::string path = "/tmp/tovrel-bench-callback.mp4";
    manager.streaming = true;
    if (controller.StartRecording(path, 2, 0, 0, 0) != S_OK) {
        state.SkipWithError("the recording did not start");
        return;
    }
    std::vector<double> plainMs, recordingMs, extraMs, stepMs;
    int64_t time = 0;
    uint64_t n = 0;
    const auto timed = [&](bool recording, const std::shared_ptr<Sample>& sample) {
        manager.recording = recording;
        const auto t0 = Clock::now();
        manager.videoCallback->OnReadSample(S_OK, 0, 0, time += 166'667, sample);
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    };
    std::shared_ptr<MediaBuffer> yuy2;
    samples[0]->ConvertToContiguousBuffer(&yuy2);
    uint8_t* yuy2Frame = nullptr;
    yuy2->Lock(&yuy2Frame, nullptr, nullptr);
    for (auto _ : state) {
        const int i = static_cast<int>(n++ % 2);
        // The order alternates so that neither half always finds the caches warmed by the other.
        double plain = 0, withRecording = 0;
        if (i == 0) {
            plain = timed(false, samples[0]);
            withRecording = timed(true, samples[1]);
        } else {
            withRecording = timed(true, samples[1]);
            plain = timed(false, samples[0]);
        }
        plainMs.push_back(plain);
        recordingMs.push_back(withRecording);
        extraMs.push_back(withRecording - plain);
        // The recording step alone: the NV12 conversion and the hand-over to the writer.
        manager.recording = true;
        const auto t0 = Clock::now();
        controller.RecordVideoSample(time += 166'667, samples[0], yuy2Frame);
        stepMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        // Frames a little apart, as the box delivers them, so that the writer's thread keeps up.
        std::this_thread::sleep_for(std::chrono::milliseconds(8));
    }
    yuy2->Unlock();
    manager.recording = true;
    controller.StopRecording();
    manager.streaming = false;
    manager.closeSession();
    std::remove(path.c_str());
    state.counters["callback_ms"] = median(plainMs);
    state.counters["recording_callback_ms"] = median(recordingMs);
    state.counters["recording_extra_ms"] = median(extraMs);
    state.counters["recording_step_ms"] = median(stepMs);
    state.counters["frames_not_handed_over"] =
        static_cast<double>(controller.framesNotHandedOver());
}

BENCHMARK(BM_H264_1080p60_High)->Unit(benchmark::kSecond)->Iterations(3);
BENCHMARK(BM_Hevc_1080p30_Main)->Unit(benchmark::kSecond)->Iterations(3);
BENCHMARK(BM_RecordingCallbackCost)->Unit(benchmark::kMillisecond)->Iterations(300);

}  // namespace

BENCHMARK_MAIN();
