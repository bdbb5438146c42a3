#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "capture/mf_manager.h"
#include "platform/media/guid.h"
#include "platform/media/sample_pool.h"
#include "platform/media/sink_writer_factory.h"
#include "platform/system/hresult.h"

namespace tovrel::recording {

// The box recording of one capture manager: the start that opens an MP4 sink writer with one
// video and one audio stream, the per-sample steps the capture callbacks hand their samples to,
// and the stop that closes the file.
//
// Threads: construction, destruction, StartRecording, StopRecording and the Configure* calls on
// the GUI thread; RecordVideoSample on the video reader's worker, RecordAudioSample on the audio
// reader's worker. The controller installs the manager's two recording hooks when it is built
// and removes them when it goes: build it before the manager starts streaming and destroy it
// after streaming has stopped. Destroying it stops a running recording.
class RecordingController {
  public:
    static constexpr uint32_t kStopPauseMs = 300;
    static constexpr uint32_t kReadSettleMs = 100;
    static constexpr uint32_t kAudioBitRate = 160'000;
    static constexpr uint32_t kAudioBytesPerSecond = 20'000;
    static constexpr uint32_t kAudioChannels = 2;
    static constexpr uint32_t kAudioSampleRate = 48'000;
    static constexpr uint32_t kGopSize = 12;
    // The tail of an MPEG layer-3 wave format: identifier 1, flags 2, block size 288, one frame
    // per block, no codec delay.
    static constexpr uint8_t kMp3UserData[12] = {0x01, 0x00, 0x02, 0x00, 0x00, 0x00,
                                                 0x20, 0x01, 0x01, 0x00, 0x00, 0x00};

    RecordingController(capture::MFManager& manager, platform::SinkWriterFactory& writers);
    ~RecordingController();
    RecordingController(const RecordingController&) = delete;
    RecordingController& operator=(const RecordingController&) = delete;

    // S_OK once the file is being written; MF_E_INVALIDREQUEST while recording;
    // MF_E_INVALIDMEDIATYPE unless the path ends in ".mp4"; otherwise the failing step's result,
    // with nothing left running and no writer kept.
    platform::HRESULT StartRecording(const std::string& path, int32_t quality, int32_t videoType,
                                     int32_t audioType, uint8_t preferHardware);
    // MF_E_INVALIDREQUEST when no recording runs; otherwise closes the file and returns S_OK.
    platform::HRESULT StopRecording();

    platform::HRESULT ConfigureVideoStream(const platform::Guid& subtype);
    platform::HRESULT ConfigureAudioStream(const platform::Guid& subtype);

    platform::HRESULT RecordVideoSample(int64_t time,
                                        const std::shared_ptr<platform::Sample>& captured,
                                        const uint8_t* yuy2Frame);
    platform::HRESULT RecordAudioSample(int64_t time,
                                        const std::shared_ptr<platform::Sample>& captured);

    bool recording() const { return manager_.recording; }
    // S_OK, or why the running recording's file can no longer be written (the writer's
    // writeStatus): the caller stops the recording then. GUI thread.
    platform::HRESULT writeFailure() const;
    // Video frames of this recording that found no free buffer (the writer held them all).
    uint64_t framesNotHandedOver() const { return framesNotHandedOver_; }

  private:
    // The recording time of a sample stamped `time`; the first sample after a start fixes the
    // base. Caller holds sinkWriterLock.
    int64_t applyTimeBase(int64_t time);
    void releaseWriter();

    capture::MFManager& manager_;
    platform::SinkWriterFactory& writers_;
    // Buffers of the recorded NV12 frames, made by the start, used by the video worker under
    // sinkWriterLock.
    std::unique_ptr<platform::SamplePool> framePool_;
    std::atomic<uint64_t> framesNotHandedOver_{0};
};

}  // namespace tovrel::recording
