#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ffmpeg/audio_encoder_settings.h"
#include "platform/ffmpeg/encoder_backend.h"
#include "platform/ffmpeg/video_encoder_settings.h"
#include "platform/media/sink_writer.h"

struct AVFormatContext;
struct AVIOContext;

namespace tovrel::platform {

// The sink writer over FFmpeg: each stream's output type chooses and configures an encoder
// (H.264 or HEVC, AAC or MP3), the input type says what the samples carry (NV12 video, PCM
// audio), and the encoded packets go into a fragmented MP4 whose fragments (one second at most)
// reach the file as they complete, so that a recording cut off by a crash plays up to its last
// second.
//
// WriteSample only queues: encoding and writing run on the writer's own thread, audio ahead of
// the video frames waiting. The queue holds at most `queueSeconds` of each stream; with
// throttling disabled a sample beyond it is dropped and counted (the count is logged at
// Finalize), otherwise WriteSample waits for room.
//
// A video stream given a rate in its encoding parameters (MF_MT_FRAME_RATE, SetInputMediaType)
// has a constant frame rate: its frames go on that rate's grid from the first frame (FrameGrid),
// in a time base that holds every slot exactly, so that the file's rate is the capture mode's
// own. The sound is one continuous run from its first sample; a gap of more than
// kAudioGapToleranceMs between its samples' times is filled with silence. Finalize logs one line
// with the frames written, dropped and repeated and the largest gap filled.
//
// Threads: AddStream, SetInputMediaType, BeginWriting, Finalize and destruction on the thread
// that created the writer; WriteSample from any thread, serialised by the caller against
// Finalize (SinkWriter's contract); statistics from any thread.
class FfmpegSinkWriter final : public SinkWriter {
  public:
    struct Options {
        bool preferHardware = false;      // MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS
        bool throttlingDisabled = false;  // MF_SINK_WRITER_DISABLE_THROTTLING
        uint32_t queueSeconds = 2;
        EncoderBackend* backend = &EncoderBackend::system();
    };
    struct Statistics {
        std::string videoEncoder;  // the encoder that opened, e.g. "libx264"
        uint64_t videoFramesEncoded = 0;
        uint64_t videoFramesDropped = 0;  // refused for a full queue
        uint64_t videoFramesRepeated = 0;
        uint64_t videoFramesOffGrid = 0;  // second frames for a slot, dropped
        uint64_t audioSamplesDropped = 0;
        int64_t largestAudioGapFilled100ns = 0;
        uint64_t bytesWritten = 0;
        bool writeFailed = false;
    };

    // Takes the open file descriptor of `path`; `created` says the writer made the file (it is
    // removed again when nothing was ever written to it).
    FfmpegSinkWriter(std::string path, int fd, bool created, Options options);
    // Without Finalize the thread stops at once and the file keeps the fragments written so far.
    ~FfmpegSinkWriter() override;
    FfmpegSinkWriter(const FfmpegSinkWriter&) = delete;
    FfmpegSinkWriter& operator=(const FfmpegSinkWriter&) = delete;

    // MF_E_INVALIDREQUEST after BeginWriting.
    HRESULT AddStream(const MediaType& targetMediaType, uint32_t* streamIndex) override;
    // MF_E_INVALIDSTREAMNUMBER for an unknown stream, MF_E_INVALIDMEDIATYPE for an input this
    // writer cannot encode into the stream's output type, MF_E_INVALIDREQUEST after BeginWriting.
    HRESULT SetInputMediaType(uint32_t streamIndex, const MediaType& inputMediaType,
                              const Attributes* encodingParameters) override;
    // Opens the encoders and writes the file header. MF_E_INVALIDREQUEST without streams, with a
    // stream lacking its input type, or a second time; MF_E_INVALIDMEDIATYPE /
    // MF_E_TOPO_CODEC_NOT_FOUND when no encoder opens; E_FAIL when the header cannot be written.
    HRESULT BeginWriting() override;
    // S_OK once queued; MF_E_NOTACCEPTING when dropped; MF_E_INVALIDREQUEST before BeginWriting
    // or after Finalize; MF_E_INVALIDSTREAMNUMBER; E_INVALIDARG for a sample without a time or
    // a video sample shorter than one frame.
    HRESULT WriteSample(uint32_t streamIndex, const std::shared_ptr<Sample>& sample) override;
    // Encodes what is queued, drains the encoders, completes the file and closes it.
    // MF_E_INVALIDREQUEST unless writing began and was not finalised; E_FAIL when a write to the
    // file failed at any point.
    HRESULT Finalize() override;

    Statistics statistics() const;
    HRESULT writeStatus() const override;

  private:
    struct Stream;
    struct Item {
        uint32_t streamIndex = 0;
        int64_t time100ns = 0;
        std::shared_ptr<Sample> video;  // held until the encoder thread has copied it
        std::vector<uint8_t> audio;
    };

    HRESULT openVideoEncoder(Stream& stream);
    HRESULT openAudioEncoder(Stream& stream);
    void encoderLoop();
    void encodeVideo(Stream& stream, Item& item);
    bool sendPicture(Stream& stream, int64_t pts);
    void encodeAudio(Stream& stream, Item& item);
    void encodeAudioFrames(Stream& stream, bool final);
    void writeSilence(Stream& stream, int64_t frames);
    void steerAudio(Stream& stream, int64_t itemPts, double seconds);
    // The file's 0 is known (the first frame's time, with a constant-rate video stream): the
    // sound waiting for it is encoded.
    void startTimeline(int64_t zero100ns);
    void drain(Stream& stream);
    void writePackets(Stream& stream);
    // Keeps the first failure; says it once.
    void noteWriteFailure(int error, const char* call);
    static int writeToFile(void* opaque, uint8_t* data, int size);
    static int64_t seekInFile(void* opaque, int64_t offset, int whence);

    const std::string path_;
    int fd_;
    const bool created_;
    const Options options_;
    std::vector<std::unique_ptr<Stream>> streams_;
    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    bool begun_ = false;
    bool finalized_ = false;
    bool headerWritten_ = false;
    int64_t lastSyncMs_ = 0;
    // The encoder thread's: the time that is the file's 0, and the sound waiting for it.
    bool zeroKnown_ = true;
    int64_t zero100ns_ = 0;
    double videoPhase100ns_ = 0;  // the frames' mean time against their slots
    std::deque<Item> waitingAudio_;

    mutable std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable room_;
    // Sound goes first: a video encoder that falls behind costs frames, never sound.
    std::deque<Item> audioQueue_;
    std::deque<Item> videoQueue_;
    bool finishing_ = false;
    bool aborting_ = false;
    Statistics statistics_;
    int writeError_ = 0;  // the errno of the first failed write
    std::thread thread_;
};

}  // namespace tovrel::platform
