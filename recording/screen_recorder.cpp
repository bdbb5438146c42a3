#include "recording/screen_recorder.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "imaging/aligned_alloc.h"
#include "imaging/bilinear_scaler.h"
#include "imaging/pixel_conversion.h"
#include "platform/media/mf_guids.h"
#include "platform/media/sample_pool.h"
#include "platform/system/debug_output.h"
#include "recording/codec_levels.h"
#include "recording/path_extension.h"
#include "recording/recording_controller.h"
#include "recording/snapshot_encoder.h"
#include "recording/video_bitrate.h"

namespace tovrel::recording {

using namespace platform;

namespace {

template <typename Step>
void chain(HRESULT& hr, Step&& step) {
    if (SUCCEEDED(hr)) hr = step();
}

// Buffers of written frames the writer may hold: its queue (two seconds) and a few in hand.
constexpr uint32_t kPoolFrames = 2 * ScreenRecorder::kFrameRate + 8;
constexpr uint32_t kSampleAlignment = 64;

int64_t steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct AlignedFree {
    void operator()(void* block) const { imaging::alignedFree(block); }
};
using AlignedBlock = std::unique_ptr<uint8_t, AlignedFree>;

AlignedBlock alignedBlock(int64_t bytes) {
    return AlignedBlock(static_cast<uint8_t*>(imaging::alignedAlloc(bytes)));
}

// The bilinear resize of the desktop's size to the recording's, prepared once per source size.
class DesktopScale {
  public:
    // False when the size cannot be scaled (smaller than 2 x 2) or memory is short.
    bool prepare(uint32_t width, uint32_t height) {
        width_ = width;
        height_ = height;
        description_.reset();
        work_.reset();
        if (identity()) return true;
        const imaging::Size src{static_cast<int32_t>(width), static_cast<int32_t>(height)};
        const imaging::Size dst{ScreenRecorder::kWidth, ScreenRecorder::kHeight};
        int32_t descriptionBytes = 0;
        int32_t initBytes = 0;
        int32_t workBytes = 0;
        if (imaging::scalerQuerySizes(src, dst, imaging::Interpolation::kLinear, false,
                                      &descriptionBytes, &initBytes) != imaging::kDone) {
            return false;
        }
        description_ = alignedBlock(descriptionBytes);
        if (!description_ || imaging::scalerInit(src, dst, description_.get()) != imaging::kDone ||
            imaging::scalerQueryWorkSize(description_.get(), dst, 4, &workBytes) !=
                imaging::kDone) {
            description_.reset();
            return false;
        }
        work_ = alignedBlock(std::max<int32_t>(workBytes, 1));
        if (!work_) description_.reset();
        return work_ != nullptr;
    }
    bool matches(uint32_t width, uint32_t height) const {
        return width == width_ && height == height_ && (identity() || description_);
    }
    bool identity() const {
        return width_ == ScreenRecorder::kWidth && height_ == ScreenRecorder::kHeight;
    }
    void scale(const uint8_t* frame, uint8_t* scaled) const {
        imaging::scaleBgra(
            frame, static_cast<int32_t>(width_ * 4), scaled, ScreenRecorder::kWidth * 4,
            imaging::Point{0, 0}, imaging::Size{ScreenRecorder::kWidth, ScreenRecorder::kHeight},
            imaging::BorderKind::kReplicate, nullptr, description_.get(), work_.get());
    }

  private:
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    AlignedBlock description_;
    AlignedBlock work_;
};

void convertToNv12(const uint8_t* bgra, uint8_t* nv12) {
    constexpr int32_t w = ScreenRecorder::kWidth;
    constexpr int32_t h = ScreenRecorder::kHeight;
    imaging::convertBgraToNv12(bgra, w * 4, nv12, w, nv12 + static_cast<size_t>(w) * h, w,
                               imaging::Size{w, h});
}

}  // namespace

ScreenRecorder::ScreenRecorder(capture::MFManager& manager, SinkWriterFactory& writers,
                               DesktopDuplication* desktop, LoopbackEndpoints* loopback,
                               ImageEncoderFactory* imageEncoders)
    : manager_(manager),
      writers_(writers),
      desktop_(desktop),
      loopback_(loopback),
      imageEncoders_(imageEncoders) {}

ScreenRecorder::~ScreenRecorder() {
    if (manager_.screenRecording) StopScreenRecording();
}

ScreenRecorder::Statistics ScreenRecorder::statistics() const {
    Statistics s;
    s.passes = passes_;
    s.framesWritten = framesWritten_;
    s.framesNoBuffer = framesNoBuffer_;
    s.audioPackets = audioPackets_;
    s.resizesPrepared = resizesPrepared_;
    s.audioStopped = audioStopped_;
    return s;
}

HRESULT ScreenRecorder::StartScreenRecording(const std::string& path, int32_t quality,
                                             int32_t videoType, int32_t audioType,
                                             uint8_t preferHardware) {
    TOVREL_CHECK_THREAD(thread_);
    capture::MFManager& m = manager_;
    // The box recording's writer would be replaced under its callbacks: the two exclude each
    // other here too, not only in the commands.
    if (m.screenRecording || m.recording) return MF_E_INVALIDREQUEST;
    if (pathExtension(path) != ".mp4") return MF_E_INVALIDMEDIATYPE;
    const Guid videoSubtype = videoType == 0 ? MFVideoFormat_H264 : MFVideoFormat_HEVC;
    const Guid audioSubtype = audioType == 0 ? MFAudioFormat_AAC : MFAudioFormat_MP3;

    // A recording the caption calls running must be a file being written: without an output
    // nothing is started.
    {
        std::lock_guard lock(m.screenCaptureLock);
        if (desktop_ != nullptr) {
            screenCapture_ = std::make_unique<ScreenCapture>(*desktop_, m.clock());
            if (!screenCapture_->SelectOutput() || !screenCapture_->ReadOutputSize())
                screenCapture_.reset();
        }
        if (!screenCapture_) {
            outputDebugString("Screen recording: no desktop output to record");
            return DXGI_ERROR_NOT_FOUND;
        }
        outputDebugString("Screen recording: the " + desktop_->name() + " desktop, output " +
                          screenCapture_->currentOutput->desc.DeviceName + " (" +
                          std::to_string(screenCapture_->width) + "x" +
                          std::to_string(screenCapture_->height) + ") into " + path);
    }
    m.quality = quality;
    m.clock().timeBeginPeriod(1);

    std::unique_ptr<Attributes> attributes;
    HRESULT hr = MFCreateAttributes(&attributes, 3);
    std::unique_ptr<SinkWriter> writer;
    if (SUCCEEDED(hr)) {
        if (preferHardware != 0) attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, 1);
        attributes->SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_MPEG4);
        attributes->SetUINT32(MF_READWRITE_DISABLE_CONVERTERS, 0);
        hr = writers_.CreateSinkWriterFromURL(path, attributes.get(), &writer);
        if (SUCCEEDED(hr) && !writer) hr = E_UNEXPECTED;
    }
    if (SUCCEEDED(hr)) {
        std::lock_guard lock(m.sinkWriterLock);
        m.sinkWriter = std::move(writer);
    } else {
        outputDebugString("Screen recording: the sink writer was not created for " + path);
    }
    if (SUCCEEDED(hr)) {
        hr = ConfigureScreenVideoStream(videoSubtype);
        if (FAILED(hr)) outputDebugString("Screen recording: the video stream was not configured");
    }
    hasAudio_ = false;
    if (SUCCEEDED(hr)) {
        const HRESULT audio = ConfigureScreenAudioStream(audioSubtype);
        // No sound server: the desktop is still worth a recording, without sound.
        hasAudio_ = SUCCEEDED(audio);
        if (!hasAudio_) {
            outputDebugString(
                "Screen recording: no loopback of the speakers; recording "
                "without sound");
        }
    }
    if (SUCCEEDED(hr)) {
        hr = m.sinkWriter->BeginWriting();
        if (FAILED(hr)) outputDebugString("Screen recording: BeginWriting failed");
    }
    if (FAILED(hr)) {
        {
            std::lock_guard lock(m.sinkWriterLock);
            m.sinkWriter.reset();
            m.videoStreamIndex = 0;
            m.audioStreamIndex = 0;
        }
        m.clock().timeEndPeriod(1);
        std::lock_guard lock(m.screenCaptureLock);
        screenCapture_.reset();
        return hr;
    }

    writer_ = m.sinkWriter.get();
    passes_ = 0;
    framesWritten_ = 0;
    framesNoBuffer_ = 0;
    audioPackets_ = 0;
    resizesPrepared_ = 0;
    audioStopped_ = false;
    {
        std::lock_guard lock(m.sinkWriterLock);
        m.firstSample = 1;
    }
    m.screenRecording = true;
    screenVideoThread_ = std::thread([this] { ScreenVideoThread(); });
    if (hasAudio_) screenAudioThread_ = std::thread([this] { ScreenAudioThread(); });
    return S_OK;
}

HRESULT ScreenRecorder::ConfigureScreenVideoStream(const Guid& subtype) {
    capture::MFManager& m = manager_;
    m.videoStreamIndex = 0;
    {
        std::lock_guard lock(m.screenCaptureLock);
        if (screenCapture_) screenCapture_->ReadOutputSize();
    }
    constexpr uint32_t w = kWidth;
    constexpr uint32_t h = kHeight;
    constexpr uint32_t f = kFrameRate;
    int32_t stride = 0;

    std::unique_ptr<MediaType> input;
    HRESULT inputHr = MFCreateMediaType(&input);
    chain(inputHr, [&] { return input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video); });
    chain(inputHr, [&] { return input->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12); });
    chain(inputHr, [&] { return input->SetGUID(MF_MT_AM_FORMAT_TYPE, FORMAT_VideoInfo2); });
    chain(inputHr, [&] { return input->SetUINT32(MF_MT_SAMPLE_SIZE, kFrameBytes); });
    MFGetStrideForBitmapInfoHeader(MFVideoFormat_NV12.data1, w, &stride);
    chain(inputHr, [&] {
        return input->SetUINT32(MF_MT_VIDEO_CHROMA_SITING,
                                MFVideoChromaSubsampling_Vertically_AlignedChromaPlanes);
    });
    chain(inputHr,
          [&] { return input->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<uint32_t>(stride)); });
    chain(inputHr, [&] { return input->SetUINT32(MF_MT_AVG_BITRATE, w * h * f * 12); });
    chain(inputHr, [&] { return MFSetAttributeSize(input.get(), MF_MT_FRAME_SIZE, w, h); });
    chain(inputHr, [&] { return MFSetAttributeRatio(input.get(), MF_MT_FRAME_RATE, f, 1); });
    chain(inputHr,
          [&] { return MFSetAttributeRatio(input.get(), MF_MT_FRAME_RATE_RANGE_MIN, f, 1); });
    chain(inputHr,
          [&] { return MFSetAttributeRatio(input.get(), MF_MT_FRAME_RATE_RANGE_MAX, f, 1); });
    chain(inputHr, [&] { return input->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, 1); });
    chain(inputHr, [&] { return input->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1); });
    chain(inputHr,
          [&] { return input->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive); });

    std::unique_ptr<MediaType> output;
    HRESULT hr = MFCreateMediaType(&output);
    chain(hr, [&] { return output->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video); });
    chain(hr, [&] { return output->SetGUID(MF_MT_SUBTYPE, subtype); });
    chain(hr, [&] {
        return output->SetUINT32(MF_MT_AVG_BITRATE,
                                 VideoBitrate(w, h, static_cast<float>(f), subtype, m.quality));
    });
    chain(hr, [&] { return MFSetAttributeSize(output.get(), MF_MT_FRAME_SIZE, w, h); });
    chain(hr, [&] { return MFSetAttributeRatio(output.get(), MF_MT_FRAME_RATE, f, 1); });
    chain(hr,
          [&] { return output->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive); });
    if (subtype == MFVideoFormat_HEVC) {
        chain(hr, [&] {
            return output->SetUINT32(MF_MT_MPEG2_PROFILE, eAVEncH265VProfile_Main_420_8);
        });
        chain(hr, [&] { return output->SetUINT32(MF_MT_MPEG2_LEVEL, SelectHevcLevel(w, h, f)); });
    } else if (subtype == MFVideoFormat_H264) {
        chain(hr, [&] { return output->SetUINT32(MF_MT_MPEG2_PROFILE, eAVEncH264VProfile_High); });
        chain(hr, [&] { return output->SetUINT32(MF_MT_MPEG2_LEVEL, SelectH264Level(w, h, f)); });
    }
    chain(hr, [&] {
        return output->SetUINT32(CODECAPI_AVEncCommonRateControlMode,
                                 eAVEncCommonRateControlMode_Quality);
    });
    chain(hr, [&] {
        return output->SetUINT32(CODECAPI_AVEncMPVGOPSize, RecordingController::kGopSize);
    });
    chain(hr, [&] { return output->SetUINT32(CODECAPI_AVLowLatencyMode, 0); });
    chain(hr, [&] { return m.sinkWriter ? S_OK : E_POINTER; });
    chain(hr, [&] { return m.sinkWriter->AddStream(*output, &m.videoStreamIndex); });
    chain(hr, [&] { return m.sinkWriter->SetInputMediaType(m.videoStreamIndex, *input, nullptr); });
    return hr;
}

HRESULT ScreenRecorder::ConfigureScreenAudioStream(const Guid& subtype) {
    capture::MFManager& m = manager_;
    m.audioStreamIndex = 0;
    WaveFormatExtensible mix;
    {
        // The mix format only: the audio thread opens a loopback of its own.
        std::unique_ptr<LoopbackCapture> capture;
        HRESULT hr = loopback_ != nullptr ? loopback_->ActivateLoopback(&capture) : E_NOTFOUND;
        if (SUCCEEDED(hr)) hr = capture->GetMixFormat(&mix);
        if (FAILED(hr)) return hr;
    }
    std::unique_ptr<MediaType> output;
    std::unique_ptr<MediaType> input;
    HRESULT hr = MFCreateMediaType(&output);
    chain(hr, [&] { return output->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio); });
    chain(hr, [&] { return output->SetGUID(MF_MT_SUBTYPE, subtype); });
    chain(hr, [&] { return MFCreateMediaType(&input); });
    chain(hr, [&] { return input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio); });
    // By the format's kind, not its width: 32-bit integer samples are not float.
    chain(hr, [&] {
        return input->SetGUID(MF_MT_SUBTYPE,
                              mix.isFloat() ? MFAudioFormat_Float : MFAudioFormat_PCM);
    });
    chain(hr,
          [&] { return input->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, mix.nAvgBytesPerSec); });
    chain(hr, [&] {
        return input->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT,
                                mix.nChannels * (mix.wBitsPerSample / 8u));
    });
    chain(hr, [&] { return input->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, mix.nChannels); });
    chain(hr, [&] { return input->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, mix.nSamplesPerSec); });
    chain(hr, [&] { return input->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, mix.wBitsPerSample); });
    chain(hr,
          [&] { return output->SetUINT32(MF_MT_AVG_BITRATE, RecordingController::kAudioBitRate); });
    chain(hr, [&] {
        return output->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND,
                                 RecordingController::kAudioBytesPerSecond);
    });
    chain(hr, [&] {
        return output->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, RecordingController::kAudioChannels);
    });
    chain(hr, [&] {
        return output->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND,
                                 RecordingController::kAudioSampleRate);
    });
    if (subtype == MFAudioFormat_MP3) {
        chain(hr, [&] {
            return output->SetBlob(MF_MT_USER_DATA, RecordingController::kMp3UserData,
                                   sizeof RecordingController::kMp3UserData);
        });
    }
    chain(hr, [&] { return m.sinkWriter ? S_OK : E_POINTER; });
    chain(hr, [&] { return m.sinkWriter->AddStream(*output, &m.audioStreamIndex); });
    chain(hr, [&] { return m.sinkWriter->SetInputMediaType(m.audioStreamIndex, *input, nullptr); });
    return hr;
}

int64_t ScreenRecorder::passTime(int64_t* now) {
    capture::MFManager& m = manager_;
    *now = static_cast<int64_t>(static_cast<int32_t>(m.clock().timeGetTime())) * 10'000;
    std::lock_guard lock(m.sinkWriterLock);
    if (m.firstSample) {
        m.baseTime = *now;
        m.firstSample = 0;
    }
    return *now - m.baseTime;
}

void ScreenRecorder::ScreenVideoThread() {
    capture::MFManager& m = manager_;
    Clock& clock = m.clock();
    int32_t stride = 0;
    MFGetStrideForBitmapInfoHeader(MFVideoFormat_NV12.data1, kWidth, &stride);
    DesktopScale scale;
    AlignedBlock scaled = alignedBlock(int64_t{kWidth} * kHeight * 4);
    SamplePool pool(kFrameBytes, kSampleAlignment, kPoolFrames);
    {
        std::lock_guard lock(m.screenCaptureLock);
        screenCapture_->ReadOutputSize();
        if (scale.prepare(screenCapture_->width, screenCapture_->height)) ++resizesPrepared_;
    }

    while (m.screenRecording && scaled) {
        int64_t passStart = 0;
        const int64_t t = passTime(&passStart);
        ++passes_;
        std::shared_ptr<Sample> sample = pool.acquire();
        MemoryBuffer* buffer = sample ? SamplePool::bufferOf(sample) : nullptr;
        int code = ScreenCapture::kNoNewFrame;
        bool convertAfter = false;
        int64_t acquireNs = 0;
        const int64_t startNs = steadyNs();
        {
            // Held across the scale: a snapshot's acquisition rewrites the same frame buffer.
            std::lock_guard lock(m.screenCaptureLock);
            uint8_t* frame = nullptr;
            uint32_t size = 0;
            code = screenCapture_->AcquireFrame(&frame, &size);
            acquireNs = steadyNs() - startNs;
            if (code == ScreenCapture::kNewFrame && buffer != nullptr) {
                const uint32_t w = screenCapture_->width;
                const uint32_t h = screenCapture_->height;
                if (!scale.matches(w, h)) {
                    // The desktop changed size during the recording.
                    if (scale.prepare(w, h)) {
                        ++resizesPrepared_;
                    } else {
                        code = ScreenCapture::kOtherFailure;
                    }
                }
                if (code == ScreenCapture::kNewFrame) {
                    if (scale.identity()) {
                        convertToNv12(frame, buffer->data());
                    } else {
                        scale.scale(frame, scaled.get());
                        convertAfter = true;
                    }
                }
            }
        }
        if (code != ScreenCapture::kNewFrame) {
            clock.sleep(1);
            continue;
        }
        if (sample) {
            if (convertAfter) convertToNv12(scaled.get(), buffer->data());
            buffer->SetCurrentLength(kFrameBytes);
            sample->SetSampleTime(t);
            sample->SetSampleDuration(kFrameDuration100ns);
            sample->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
            sample->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
            sample->SetUINT32(MF_MT_SAMPLE_SIZE, kFrameBytes);
            sample->SetUINT32(MF_MT_VIDEO_CHROMA_SITING,
                              MFVideoChromaSubsampling_Vertically_AlignedChromaPlanes);
            sample->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<uint32_t>(stride));
            MFSetAttributeSize(sample.get(), MF_MT_FRAME_SIZE, kWidth, kHeight);
            MFSetAttributeRatio(sample.get(), MF_MT_FRAME_RATE, kFrameRate, 1);
            sample->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
            if (frameCostObserver) frameCostObserver(acquireNs, steadyNs() - startNs);
            writer_->WriteSample(m.videoStreamIndex, sample);
            ++framesWritten_;
        } else {
            ++framesNoBuffer_;
        }
        sample.reset();
        while (static_cast<int64_t>(static_cast<int32_t>(clock.timeGetTime())) * 10'000 -
                   passStart <
               kPassLength100ns) {
            clock.sleep(1);
        }
    }
}

void ScreenRecorder::ScreenAudioThread() {
    capture::MFManager& m = manager_;
    std::unique_ptr<LoopbackCapture> capture;
    WaveFormatExtensible mix;
    uint32_t bufferFrames = 0;
    HRESULT hr = loopback_->ActivateLoopback(&capture);
    if (SUCCEEDED(hr)) hr = capture->GetMixFormat(&mix);
    if (SUCCEEDED(hr)) hr = capture->Initialize(kLoopbackBuffer100ns);
    if (SUCCEEDED(hr)) hr = capture->GetBufferSize(&bufferFrames);
    if (SUCCEEDED(hr) && mix.nSamplesPerSec == 0) hr = E_UNEXPECTED;
    if (SUCCEEDED(hr)) hr = capture->Start();
    if (FAILED(hr)) {
        audioStopped_ = true;
        outputDebugString("Screen recording: the loopback of the speakers did not start");
        return;
    }
    const auto d =
        static_cast<int64_t>(static_cast<double>(bufferFrames) * 1'000'000.0 / mix.nSamplesPerSec);
    const auto pauseMs = static_cast<uint32_t>(d / 20'000);
    const uint32_t blockAlign = mix.nChannels * (mix.wBitsPerSample / 8u);
    const Guid subtype = mix.isFloat() ? MFAudioFormat_Float : MFAudioFormat_PCM;

    bool cleared = false;
    for (;;) {
        if (!m.screenRecording) {
            cleared = true;
            break;
        }
        int64_t now = 0;
        const int64_t t = passTime(&now);
        uint32_t next = 0;
        if (FAILED(capture->GetNextPacketSize(&next))) break;
        uint8_t* data = nullptr;
        uint32_t frames = 0;
        uint32_t flags = 0;
        if (FAILED(capture->GetBuffer(&data, &frames, &flags))) break;
        const uint32_t bytes = frames * blockAlign;
        std::shared_ptr<Sample> sample;
        std::shared_ptr<MediaBuffer> buffer;
        if (SUCCEEDED(MFCreateSample(&sample)) &&
            SUCCEEDED(MFCreateMemoryBuffer(std::max<uint32_t>(bytes, 1), &buffer))) {
            uint8_t* target = nullptr;
            buffer->Lock(&target, nullptr, nullptr);
            if (bytes > 0 && data != nullptr) std::memcpy(target, data, bytes);
            buffer->Unlock();
            buffer->SetCurrentLength(bytes);
            sample->AddBuffer(buffer);
            sample->SetSampleTime(t);
            sample->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
            sample->SetGUID(MF_MT_SUBTYPE, subtype);
            sample->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, mix.nAvgBytesPerSec);
            sample->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, blockAlign);
            sample->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, mix.nChannels);
            sample->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, mix.nSamplesPerSec);
            sample->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, mix.wBitsPerSample);
            writer_->WriteSample(m.audioStreamIndex, sample);
            ++audioPackets_;
        }
        if (FAILED(capture->ReleaseBuffer(frames))) break;
        if (FAILED(capture->GetNextPacketSize(&next))) break;
        m.clock().sleep(pauseMs);
    }
    if (cleared) {
        capture->Stop();
    } else {
        audioStopped_ = true;
        outputDebugString(
            "Screen recording: the loopback of the speakers ended; the recording "
            "goes on without sound");
    }
}

HRESULT ScreenRecorder::StopScreenRecording() {
    TOVREL_CHECK_THREAD(thread_);
    capture::MFManager& m = manager_;
    if (!m.screenRecording) return MF_E_INVALIDREQUEST;
    m.screenRecording = false;
    // Both threads are waited for, not paused for: the writer is finalised and the capture let
    // go only once nothing uses them.
    if (screenVideoThread_.joinable()) screenVideoThread_.join();
    if (screenAudioThread_.joinable()) screenAudioThread_.join();
    endRecording();
    return S_OK;
}

void ScreenRecorder::endRecording() {
    capture::MFManager& m = manager_;
    std::unique_ptr<SinkWriter> writer;
    {
        std::lock_guard lock(m.sinkWriterLock);
        writer = std::move(m.sinkWriter);
        m.audioStreamIndex = 0;
        m.videoStreamIndex = 0;
    }
    writer_ = nullptr;
    if (writer && FAILED(writer->Finalize()))
        outputDebugString("Screen recording: Finalize failed");
    writer.reset();
    m.clock().timeEndPeriod(1);
    {
        std::lock_guard lock(m.screenCaptureLock);
        screenCapture_.reset();
    }
    const Statistics s = statistics();
    outputDebugString(
        "Screen recording: " + std::to_string(s.framesWritten) + " frames in " +
        std::to_string(s.passes) + " passes, " + std::to_string(s.audioPackets) + " sound packets" +
        (s.framesNoBuffer > 0 ? ", " + std::to_string(s.framesNoBuffer) + " frames without a buffer"
                              : std::string()));
}

HRESULT ScreenRecorder::TakeScreenSnapshot(const std::string& path, SnapshotWriter* writer) {
    TOVREL_CHECK_THREAD(thread_);
    capture::MFManager& m = manager_;
    const std::optional<ImageContainer> container = SnapshotEncoder::containerOf(path);
    if (!container) return MF_E_INVALIDMEDIATYPE;
    if (imageEncoders_ == nullptr && writer == nullptr) return E_NOTIMPL;

    // Outside a recording the snapshot makes a capture of its own and lets it go at the end.
    std::unique_ptr<ScreenCapture> own;
    uint32_t width = 0;
    uint32_t height = 0;
    {
        std::lock_guard lock(m.screenCaptureLock);
        if (!screenCapture_) {
            if (desktop_ != nullptr) {
                own = std::make_unique<ScreenCapture>(*desktop_, m.clock());
                if (!own->SelectOutput()) own.reset();
            }
            if (!own) {
                outputDebugString("Screen snapshot: no desktop output");
                return DXGI_ERROR_NOT_FOUND;
            }
            outputDebugString("Screen snapshot: the " + desktop_->name() + " desktop, output " +
                              own->currentOutput->desc.DeviceName);
        }
        ScreenCapture& capture = own ? *own : *screenCapture_;
        if (!capture.ReadOutputSize()) return DXGI_ERROR_NOT_FOUND;
        width = capture.width;
        height = capture.height;
    }
    SnapshotEncoder encoder =
        writer != nullptr ? SnapshotEncoder(m, *writer) : SnapshotEncoder(m, *imageEncoders_);
    // The picture is copied inside this call, whichever encodes it: `own` outlives the copy.
    return encoder.encodePicture(path, *container, width, height, [&](uint8_t* pixels) {
        std::lock_guard lock(m.screenCaptureLock);
        ScreenCapture* capture = own ? own.get() : screenCapture_.get();
        if (capture == nullptr) return false;  // the recording stopped meanwhile
        // With a frame in hand, only what changed since is waited for: nothing new means the
        // last frame is the desktop as it is.
        const uint32_t timeout = capture->frameBuffer ? 0 : capture->acquireTimeout;
        capture->AcquireFrame(nullptr, nullptr, timeout);
        if (!capture->frameBuffer ||
            capture->frameBufferSize != static_cast<uint64_t>(width) * height * 4) {
            return false;
        }
        std::memcpy(pixels, capture->frameBuffer.get(), capture->frameBufferSize);
        return true;
    });
}

}  // namespace tovrel::recording
