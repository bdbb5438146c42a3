#include "recording/recording_controller.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "imaging/pixel_conversion.h"
#include "platform/media/mf_guids.h"
#include "platform/system/debug_output.h"
#include "recording/codec_levels.h"
#include "recording/path_extension.h"
#include "recording/recording_texts.h"
#include "recording/video_bitrate.h"

namespace tovrel::recording {

using namespace platform;

namespace {

// Runs one step of a chain only while every earlier one succeeded; the chain's result is that
// of the last step tried.
template <typename Step>
void chain(HRESULT& hr, Step&& step) {
    if (SUCCEEDED(hr)) hr = step();
}

// Seconds of frames the recording may have in flight towards the encoder before it drops; the
// writer bounds its own queue the same way, this only keeps the buffers from growing past it.
constexpr uint32_t kFramesInFlightSeconds = 2;
constexpr uint32_t kSpareFrames = 4;

// The whole part of a float kept to its low 32 bits, as the rule for the input bit rate wants:
// a 4K60 rate (5,971,968,000) passes 2^32, and converting that float to uint32_t directly is
// undefined. Every float of 2^63 or more is a multiple of 2^40, so its low 32 bits are 0;
// neither infinities nor NaN have a whole part.
uint32_t low32BitsOfWholePart(float value) {
    constexpr float kTwoTo63 = 9223372036854775808.0f;
    if (!std::isfinite(value) || std::fabs(value) >= kTwoTo63) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(value));
}

}  // namespace

RecordingController::RecordingController(capture::MFManager& manager, SinkWriterFactory& writers)
    : manager_(manager), writers_(writers) {
    manager_.recordVideoSample = [this](const std::shared_ptr<Sample>& sample, int64_t time,
                                        const uint8_t* frame) {
        return RecordVideoSample(time, sample, frame);
    };
    manager_.recordAudioSample = [this](const std::shared_ptr<Sample>& sample, int64_t time) {
        return RecordAudioSample(time, sample);
    };
}

RecordingController::~RecordingController() {
    if (manager_.recording) StopRecording();
    manager_.recordVideoSample = nullptr;
    manager_.recordAudioSample = nullptr;
}

HRESULT RecordingController::StartRecording(const std::string& path, int32_t quality,
                                            int32_t videoType, int32_t audioType,
                                            uint8_t preferHardware) {
    capture::MFManager& m = manager_;
    if (m.recording) return MF_E_INVALIDREQUEST;
    if (pathExtension(path) != ".mp4") return MF_E_INVALIDMEDIATYPE;

    const Guid videoSubtype = videoType == 0 ? MFVideoFormat_H264 : MFVideoFormat_HEVC;
    const Guid audioSubtype = audioType == 0 ? MFAudioFormat_AAC : MFAudioFormat_MP3;
    m.quality = quality;
    if (m.useSystemClock) m.clock().timeBeginPeriod(1);

    std::unique_ptr<Attributes> attributes;
    HRESULT hr = MFCreateAttributes(&attributes, 4);
    if (SUCCEEDED(hr)) {
        if (preferHardware != 0) attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, 1);
        attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, 1);
        attributes->SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_MPEG4);
        attributes->SetUINT32(MF_READWRITE_DISABLE_CONVERTERS, 0);
        std::unique_ptr<SinkWriter> writer;
        hr = writers_.CreateSinkWriterFromURL(path, attributes.get(), &writer);
        if (SUCCEEDED(hr) && !writer) hr = E_UNEXPECTED;
        if (FAILED(hr)) {
            outputDebugString(RecordingTexts::kWriterNotCreated);
        } else {
            std::lock_guard lock(m.sinkWriterLock);
            m.sinkWriter = std::move(writer);
        }
    }
    // A recording the caption shows as running must be a file being written: a writer that
    // could not be made ready is let go and the start fails with the step's result.
    if (SUCCEEDED(hr)) {
        hr = ConfigureVideoStream(videoSubtype);
        if (FAILED(hr)) outputDebugString(RecordingTexts::kVideoStreamFailed);
    }
    if (SUCCEEDED(hr)) {
        hr = ConfigureAudioStream(audioSubtype);
        if (FAILED(hr)) outputDebugString(RecordingTexts::kAudioStreamFailed);
    }
    if (SUCCEEDED(hr)) {
        hr = m.sinkWriter->BeginWriting();
        if (FAILED(hr)) outputDebugString(RecordingTexts::kBeginWritingFailed);
    }
    if (FAILED(hr)) {
        releaseWriter();
        if (m.useSystemClock) m.clock().timeEndPeriod(1);
        return hr;
    }

    const uint32_t frameBytes = (m.width * m.height * 3) >> 1;
    const auto fps = static_cast<uint32_t>(m.frameRate);
    framesNotHandedOver_ = 0;
    {
        std::lock_guard lock(m.sinkWriterLock);
        framePool_ = std::make_unique<SamplePool>(
            frameBytes, 64, std::max(1u, fps) * kFramesInFlightSeconds + kSpareFrames);
        m.firstSample = 1;
    }
    m.recording = true;

    if (!m.streaming) {
        // No reads are outstanding: the recording starts them and keeps them going.
        if (m.audioReader) m.audioReader->Flush(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
        if (m.videoReader) m.videoReader->Flush(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
        m.clock().sleep(kReadSettleMs);
        if (m.audioReader)
            m.audioReader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, nullptr, nullptr,
                                      nullptr, nullptr);
        if (m.videoReader)
            m.videoReader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, nullptr, nullptr,
                                      nullptr, nullptr);
    }
    return S_OK;
}

HRESULT RecordingController::ConfigureVideoStream(const Guid& subtype) {
    capture::MFManager& m = manager_;
    m.videoStreamIndex = 0;
    const uint32_t w = m.width;
    const uint32_t h = m.height;
    const float f = m.frameRate;
    const auto fi = static_cast<uint32_t>(f);

    // A failure while building the input type only ends that type's attributes: the stream is
    // still added with what was built.
    std::unique_ptr<MediaType> input;
    HRESULT inputHr = MFCreateMediaType(&input);
    chain(inputHr, [&] { return input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video); });
    chain(inputHr, [&] { return input->SetGUID(MF_MT_AM_FORMAT_TYPE, FORMAT_VideoInfo2); });
    chain(inputHr, [&] { return input->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12); });
    chain(inputHr, [&] { return input->SetUINT32(MF_MT_SAMPLE_SIZE, (w * h * 3) >> 1); });
    MFGetStrideForBitmapInfoHeader(MFVideoFormat_NV12.data1, w, &m.nv12Stride);
    chain(inputHr, [&] {
        const float bits = static_cast<float>(w * h) * f * 8 * 3 * 0.5f;
        return input->SetUINT32(MF_MT_AVG_BITRATE, low32BitsOfWholePart(bits));
    });
    chain(inputHr, [&] {
        return input->SetUINT32(MF_MT_VIDEO_CHROMA_SITING,
                                MFVideoChromaSubsampling_Vertically_AlignedChromaPlanes);
    });
    chain(inputHr, [&] {
        return input->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<uint32_t>(m.nv12Stride));
    });
    chain(inputHr, [&] { return MFSetAttributeSize(input.get(), MF_MT_FRAME_SIZE, w, h); });
    chain(inputHr, [&] { return MFSetAttributeRatio(input.get(), MF_MT_FRAME_RATE, fi, 1); });
    chain(inputHr,
          [&] { return MFSetAttributeRatio(input.get(), MF_MT_FRAME_RATE_RANGE_MIN, fi, 1); });
    chain(inputHr,
          [&] { return MFSetAttributeRatio(input.get(), MF_MT_FRAME_RATE_RANGE_MAX, fi, 1); });
    chain(inputHr, [&] { return input->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, 1); });
    chain(inputHr, [&] { return input->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1); });
    chain(inputHr,
          [&] { return input->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive); });

    std::unique_ptr<MediaType> output;
    HRESULT hr = MFCreateMediaType(&output);
    chain(hr, [&] { return output->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video); });
    chain(hr, [&] { return output->SetGUID(MF_MT_SUBTYPE, subtype); });
    chain(hr, [&] {
        return output->SetUINT32(MF_MT_AVG_BITRATE, VideoBitrate(w, h, f, subtype, m.quality));
    });
    chain(hr, [&] { return MFSetAttributeSize(output.get(), MF_MT_FRAME_SIZE, w, h); });
    chain(hr, [&] { return MFSetAttributeRatio(output.get(), MF_MT_FRAME_RATE, fi, 1); });
    chain(hr,
          [&] { return output->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive); });
    if (subtype == MFVideoFormat_HEVC) {
        chain(hr, [&] {
            return output->SetUINT32(MF_MT_MPEG2_PROFILE, eAVEncH265VProfile_Main_420_8);
        });
        chain(hr, [&] { return output->SetUINT32(MF_MT_MPEG2_LEVEL, SelectHevcLevel(w, h, fi)); });
    } else if (subtype == MFVideoFormat_H264) {
        chain(hr, [&] { return output->SetUINT32(MF_MT_MPEG2_PROFILE, eAVEncH264VProfile_High); });
        chain(hr, [&] { return output->SetUINT32(MF_MT_MPEG2_LEVEL, SelectH264Level(w, h, fi)); });
    }
    chain(hr, [&] {
        return output->SetUINT32(CODECAPI_AVEncCommonRateControlMode,
                                 eAVEncCommonRateControlMode_Quality);
    });
    chain(hr, [&] { return output->SetUINT32(CODECAPI_AVEncMPVGOPSize, kGopSize); });
    chain(hr, [&] { return output->SetUINT32(CODECAPI_AVLowLatencyMode, 0); });

    chain(hr, [&] { return m.sinkWriter ? S_OK : E_POINTER; });
    chain(hr, [&] { return m.sinkWriter->AddStream(*output, &m.videoStreamIndex); });
    // The platform's colour converter is registered here on Windows; the FFmpeg writer carries
    // its own conversion for encoders that do not take NV12.
    // An input type that could not even be made leaves the stream without an input: the
    // configuration fails with the reason it could not be made.
    // The frames go on the grid of the mode's true rate (59.94, not the 59 the types carry), so
    // that the file has a constant frame rate whatever moment each frame was stamped.
    Attributes grid;
    const bool gridKnown =
        m.frameRateNumerator > 0 &&
        SUCCEEDED(MFSetAttributeRatio(&grid, MF_MT_FRAME_RATE, m.frameRateNumerator,
                                      m.frameRateDenominator));
    chain(hr, [&] {
        if (!input) return FAILED(inputHr) ? inputHr : E_POINTER;
        return m.sinkWriter->SetInputMediaType(m.videoStreamIndex, *input,
                                               gridKnown ? &grid : nullptr);
    });
    return hr;
}

HRESULT RecordingController::ConfigureAudioStream(const Guid& subtype) {
    capture::MFManager& m = manager_;
    m.audioStreamIndex = 0;
    std::unique_ptr<MediaType> output;
    std::unique_ptr<MediaType> input;
    HRESULT hr = MFCreateMediaType(&output);
    chain(hr, [&] { return output->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio); });
    chain(hr, [&] { return output->SetGUID(MF_MT_SUBTYPE, subtype); });
    chain(hr, [&] {
        if (!m.audioReader) return E_POINTER;
        return m.audioReader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, &input);
    });
    chain(hr, [&] { return output->SetUINT32(MF_MT_AVG_BITRATE, kAudioBitRate); });
    chain(hr, [&] {
        return output->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, kAudioBytesPerSecond);
    });
    chain(hr, [&] { return output->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, kAudioChannels); });
    chain(hr, [&] { return output->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, kAudioSampleRate); });
    if (subtype == MFAudioFormat_MP3) {
        chain(hr,
              [&] { return output->SetBlob(MF_MT_USER_DATA, kMp3UserData, sizeof kMp3UserData); });
    }
    chain(hr, [&] { return m.sinkWriter ? S_OK : E_POINTER; });
    chain(hr, [&] { return m.sinkWriter->AddStream(*output, &m.audioStreamIndex); });
    chain(hr, [&] { return m.sinkWriter->SetInputMediaType(m.audioStreamIndex, *input, nullptr); });
    return hr;
}

int64_t RecordingController::applyTimeBase(int64_t time) {
    capture::MFManager& m = manager_;
    if (m.firstSample) {
        m.baseTime = time;
        m.firstSample = 0;
    }
    return time - m.baseTime;
}

HRESULT RecordingController::RecordVideoSample(int64_t time,
                                               const std::shared_ptr<Sample>& captured,
                                               const uint8_t* yuy2Frame) {
    capture::MFManager& m = manager_;
    // Held across the check and the write: StopRecording takes the writer out under the same
    // lock, so no frame reaches it once it is being finalised.
    std::lock_guard lock(m.sinkWriterLock);
    if (!m.recording || !m.sinkWriter || !framePool_ || yuy2Frame == nullptr) {
        return MF_E_INVALIDREQUEST;
    }
    const uint32_t w = m.width;
    const uint32_t h = m.height;
    const uint32_t frameBytes = (w * h * 3) >> 1;
    std::shared_ptr<Sample> sample = framePool_->acquire();
    if (!sample) {
        ++framesNotHandedOver_;
        return E_OUTOFMEMORY;
    }
    const int64_t recordingTime = applyTimeBase(time);
    if (captured) captured->SetSampleTime(recordingTime);
    sample->SetSampleTime(recordingTime);
    int64_t duration = 0;
    if (captured && SUCCEEDED(captured->GetSampleDuration(&duration)))
        sample->SetSampleDuration(duration);

    sample->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    sample->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
    sample->SetUINT32(MF_MT_SAMPLE_SIZE, frameBytes);
    sample->SetUINT32(MF_MT_VIDEO_CHROMA_SITING,
                      MFVideoChromaSubsampling_Vertically_AlignedChromaPlanes);
    sample->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<uint32_t>(m.nv12Stride));
    if (captured) {
        for (const Guid& key : {MF_MT_FRAME_SIZE, MF_MT_FRAME_RATE, MF_MT_INTERLACE_MODE}) {
            Attributes::Value value;
            if (SUCCEEDED(captured->GetItem(key, &value))) {
                if (const auto* pair = std::get_if<uint64_t>(&value)) {
                    sample->SetUINT64(key, *pair);
                } else if (const auto* number = std::get_if<uint32_t>(&value)) {
                    sample->SetUINT32(key, *number);
                }
            }
        }
    }

    MemoryBuffer* buffer = SamplePool::bufferOf(sample);
    uint8_t* nv12 = buffer->data();
    const int32_t rowBytes = m.nv12LumaStride > 0 ? m.nv12LumaStride : static_cast<int32_t>(w);
    imaging::convertYuy2ToNv12(yuy2Frame, m.yuy2Stride, nv12, rowBytes,
                               nv12 + static_cast<size_t>(w) * h, rowBytes,
                               imaging::Size{static_cast<int32_t>(w), static_cast<int32_t>(h)});
    buffer->SetCurrentLength(frameBytes);
    return m.sinkWriter->WriteSample(m.videoStreamIndex, sample);
}

HRESULT RecordingController::RecordAudioSample(int64_t time,
                                               const std::shared_ptr<Sample>& captured) {
    capture::MFManager& m = manager_;
    std::lock_guard lock(m.sinkWriterLock);
    if (!m.recording || !m.sinkWriter || !captured) return MF_E_INVALIDREQUEST;
    captured->SetSampleTime(applyTimeBase(time));
    return m.sinkWriter->WriteSample(m.audioStreamIndex, captured);
}

HRESULT RecordingController::StopRecording() {
    capture::MFManager& m = manager_;
    if (!m.recording) return MF_E_INVALIDREQUEST;
    m.recording = false;
    m.clock().sleep(kStopPauseMs);
    std::unique_ptr<SinkWriter> writer;
    {
        // From here no recording step finds a writer; Finalize, which drains the encoder, runs
        // without the lock so that the capture callbacks are never held up by it.
        std::lock_guard lock(m.sinkWriterLock);
        writer = std::move(m.sinkWriter);
        m.audioStreamIndex = 0;
        m.videoStreamIndex = 0;
    }
    if (writer && FAILED(writer->Finalize())) outputDebugString(RecordingTexts::kFinalizeFailed);
    writer.reset();
    if (framesNotHandedOver_ > 0) {
        outputDebugString(std::string(RecordingTexts::kFramesNotHandedOver) + " " +
                          std::to_string(framesNotHandedOver_.load()));
    }
    if (m.useSystemClock) m.clock().timeEndPeriod(1);
    return S_OK;
}

HRESULT RecordingController::writeFailure() const {
    std::lock_guard lock(manager_.sinkWriterLock);
    return manager_.sinkWriter ? manager_.sinkWriter->writeStatus() : S_OK;
}

void RecordingController::releaseWriter() {
    capture::MFManager& m = manager_;
    std::lock_guard lock(m.sinkWriterLock);
    m.sinkWriter.reset();
    m.audioStreamIndex = 0;
    m.videoStreamIndex = 0;
}

}  // namespace tovrel::recording
