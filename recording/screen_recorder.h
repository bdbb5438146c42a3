#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "capture/mf_manager.h"
#include "platform/audio/loopback_capture.h"
#include "platform/imaging/image_encoder_factory.h"
#include "platform/media/guid.h"
#include "platform/media/sink_writer_factory.h"
#include "platform/screen/desktop_duplication.h"
#include "platform/system/hresult.h"
#include "platform/system/thread_checker.h"
#include "recording/screen_capture.h"

namespace tovrel::recording {

class SnapshotWriter;

// The desktop's recording and snapshots for one capture manager: the start that opens an MP4
// writer (1920x1080 NV12 at 30 frames a second from the primary output, scaled with the imaging
// primitives, and the speakers' loopback in their mix format), the video thread that paces,
// acquires, scales, converts and writes frames, the audio thread that drains the loopback into
// the writer, the stop, and the snapshot of the desktop with its pointer. The screen recording
// shares the manager's writer slot, its stream indices and its first-sample decision with the
// box recording; the two never run together.
//
// Threads: construction, destruction, StartScreenRecording, StopScreenRecording,
// TakeScreenSnapshot and the Configure* calls on the GUI thread (checked in debug builds); the
// two threads are its own. The desktop, the loopback and the encoders may be null: what needs
// them then fails. Destroying it stops a running recording.
class ScreenRecorder {
  public:
    static constexpr uint32_t kWidth = 1920;
    static constexpr uint32_t kHeight = 1080;
    static constexpr uint32_t kFrameRate = 30;
    static constexpr uint32_t kFrameBytes = kWidth * kHeight * 3 / 2;  // 3,110,400
    static constexpr int64_t kFrameDuration100ns = 333'333;
    // A pass waits at least this long after its start before the next one begins.
    static constexpr int64_t kPassLength100ns = 323'333;
    static constexpr int64_t kLoopbackBuffer100ns = 1'000'000;

    ScreenRecorder(capture::MFManager& manager, platform::SinkWriterFactory& writers,
                   platform::DesktopDuplication* desktop, platform::LoopbackEndpoints* loopback,
                   platform::ImageEncoderFactory* imageEncoders);
    ~ScreenRecorder();
    ScreenRecorder(const ScreenRecorder&) = delete;
    ScreenRecorder& operator=(const ScreenRecorder&) = delete;

    // S_OK once the file is being written and both threads run; MF_E_INVALIDREQUEST while a
    // screen or a box recording runs (they share the writer); MF_E_INVALIDMEDIATYPE unless the
    // path ends in ".mp4"; DXGI_ERROR_NOT_FOUND when no desktop output could be chosen (after
    // 1.6 s); otherwise the failing writer step's result. A failed start leaves no file and
    // nothing running. Without a sound server the file has no sound (logged).
    platform::HRESULT StartScreenRecording(const std::string& path, int32_t quality,
                                           int32_t videoType, int32_t audioType,
                                           uint8_t preferHardware);
    // MF_E_INVALIDREQUEST when none runs; otherwise waits for both threads, closes the file and
    // returns S_OK.
    platform::HRESULT StopScreenRecording();
    // The desktop at its own size with the pointer, in the container of the path's extension.
    // S_OK; MF_E_INVALIDMEDIATYPE for an extension outside the snapshot table (no file);
    // DXGI_ERROR_NOT_FOUND when no output could be chosen; MF_E_INVALIDREQUEST when no frame
    // could be read; otherwise the encoder's or the file's failure. With a `writer` the picture is
    // read here and encoded on the writer's worker: S_OK then means handed over, and the
    // encoding's own failure goes to the debug output.
    platform::HRESULT TakeScreenSnapshot(const std::string& path, SnapshotWriter* writer = nullptr);

    // Add the screen recording's streams to the manager's writer; the HRESULT of the last step.
    platform::HRESULT ConfigureScreenVideoStream(const platform::Guid& subtype);
    // E_NOTFOUND-like failures when the loopback's mix format cannot be read.
    platform::HRESULT ConfigureScreenAudioStream(const platform::Guid& subtype);

    bool screenRecording() const { return manager_.screenRecording; }
    // S_OK, or why the running recording's file can no longer be written: the caller stops the
    // recording then. GUI thread.
    platform::HRESULT writeFailure() const {
        return writer_ ? writer_->writeStatus() : platform::S_OK;
    }
    // The capture of the running recording (tests look at it); null when none runs.
    const ScreenCapture* screenCapture() const { return screenCapture_.get(); }

    // Figures of the running or last recording, for the debug output, tests and the benchmark.
    struct Statistics {
        uint64_t passes = 0;           // video passes
        uint64_t framesWritten = 0;    // video samples handed to the writer
        uint64_t framesNoBuffer = 0;   // frames lost for want of a free buffer
        uint64_t audioPackets = 0;     // audio samples handed to the writer
        uint64_t resizesPrepared = 0;  // scaler set-ups (1 + desktop size changes)
        bool audioStopped = false;     // the audio thread ended early
    };
    Statistics statistics() const;
    // Told, for every written frame, the video thread's own cost in nanoseconds: the
    // acquisition (the X server's part: the image request and its copy) and everything up to
    // the writer (acquisition, pointer, scale and convert). Empty otherwise. Set before the
    // start; called on the video thread.
    std::function<void(int64_t acquireNs, int64_t totalNs)> frameCostObserver;

  private:
    // The system clock in 100 ns, and the recording time of a pass started now: the first
    // pass of either thread fixes the base.
    int64_t passTime(int64_t* now);
    void ScreenVideoThread();
    void ScreenAudioThread();
    void endRecording();

    capture::MFManager& manager_;
    platform::SinkWriterFactory& writers_;
    platform::DesktopDuplication* desktop_;
    platform::LoopbackEndpoints* loopback_;
    platform::ImageEncoderFactory* imageEncoders_;
    platform::ThreadChecker thread_;

    // The running recording's capture, under the manager's screenCaptureLock.
    std::unique_ptr<ScreenCapture> screenCapture_;
    // The writer of the running recording: set before the threads start, finalised after both
    // have ended, so the threads use it without the writer lock.
    platform::SinkWriter* writer_ = nullptr;
    bool hasAudio_ = false;
    std::thread screenVideoThread_;
    std::thread screenAudioThread_;

    std::atomic<uint64_t> passes_{0};
    std::atomic<uint64_t> framesWritten_{0};
    std::atomic<uint64_t> framesNoBuffer_{0};
    std::atomic<uint64_t> audioPackets_{0};
    std::atomic<uint64_t> resizesPrepared_{0};
    std::atomic<bool> audioStopped_{false};
};

}  // namespace tovrel::recording
