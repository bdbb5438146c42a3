#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/audio_format.h"
#include "audio/audio_monitor.h"
#include "audio/audio_ring.h"
#include "capture/aspect_presenter.h"
#include "capture/frame_event.h"
#include "capture/preview_geometry.h"
#include "capture/preview_surface.h"
#include "capture/stretch_target.h"
#include "capture/video_mode.h"
#include "imaging/jpeg_decoder.h"
#include "platform/media/media_source.h"
#include "platform/media/sink_writer.h"
#include "platform/media/source_reader.h"
#include "platform/media/source_reader_callback.h"
#include "platform/system/clock.h"
#include "platform/system/hresult.h"
#include "platform/system/thread_checker.h"

namespace tovrel::capture {

// A frame buffer of the session, 64-byte aligned (the vector code wants at least 16).
struct AlignedFreer {
    void operator()(uint8_t* block) const;
};
using FrameBuffer = std::unique_ptr<uint8_t, AlignedFreer>;

// The capture manager: everything a running capture needs, for one main window.
// Threads: openSession, closeSession, startStreaming, stopStreaming and the configuration on the
// GUI thread (the thread that made the manager; checked in debug and sanitizer builds);
// MFCB_V::OnReadSample on the video reader's worker; the render loop on the render thread. The
// flags the commands toggle are atomics read by the workers without locking; frameLock guards the
// frame buffers and the preview surface.
class MFManager {
  public:
    class MFCB_V;
    class MFCB_A;

    static constexpr size_t kSilenceBufferBytes = 1 << 20;
    static constexpr uint32_t kRenderWaitMs = 100;
    static constexpr uint32_t kOpenSettleMs = 100;

    explicit MFManager(platform::Clock& clock = platform::SystemClock::instance());
    ~MFManager();
    MFManager(const MFManager&) = delete;
    MFManager& operator=(const MFManager&) = delete;

    // Creates both readers on the sources (either may be null: that reader is then missing),
    // builds the format catalogue and configures the video type (width, height, fps 0 = the
    // device's default; format a family code). Closes an open session first. S_OK, or
    // E_OUTOFMEMORY / an attribute failure; reader and format failures are not returned.
    platform::HRESULT openSession(PreviewSurface* window,
                                  std::shared_ptr<platform::MediaSource> audioSource,
                                  std::shared_ptr<platform::MediaSource> videoSource,
                                  bool useSystemClock, bool keepAspect, int32_t width,
                                  int32_t height, int32_t fps, int32_t format);
    // Safe when no session is open and when called twice. Joins the render thread if it still runs.
    void closeSession();

    // Sets `streaming`, starts the render thread and issues the first reads. MF_E_INVALIDREQUEST
    // when already streaming.
    platform::HRESULT startStreaming();
    // Clears `streaming`, wakes and joins the render thread, stops the monitor and polls every
    // 10 ms until it has finished.
    void stopStreaming(platform::Clock& clock);

    // Format catalogue and type set-up of the session (GUI thread, inside openSession).
    platform::HRESULT buildFormatCatalogue(platform::SourceReader* videoReader);
    platform::HRESULT configureVideoType(platform::SourceReader* videoReader, int32_t width,
                                         int32_t height, int32_t fps, int32_t format);
    platform::HRESULT configureAudioType(platform::SourceReader* audioReader);

    // The render thread's body: waits for frameEvent (100 ms at most), presents bgraFrame, and
    // leaves once `streaming` is clear.
    void renderLoop();

    // The two renderers. Creation, resize and reset on the GUI thread; the presents on the
    // render thread; every one of them inside frameLock.
    platform::HRESULT createD2DTarget();
    void presentD2D();
    platform::HRESULT createD3DPresenter();
    void computeDestRect();
    platform::HRESULT resetD3DPresenter();
    platform::HRESULT presentD3D(const uint8_t* frame);
    // The main window's new client size (WM_SIZE, and after a video-mode restart).
    void resizeRenderer(uint32_t clientWidth, uint32_t clientHeight);

    // The thread of the GUI-thread calls above.
    platform::ThreadChecker guiThread;

    // --- members, in the record's order ---
    PreviewSurface* window = nullptr;
    std::shared_ptr<MFCB_A> audioCallback;
    std::shared_ptr<MFCB_V> videoCallback;
    std::atomic<bool> previewVisible{true};
    // Whether the format catalogue lists NV12 types (a program without NV12 neither lists nor
    // selects them). GUI thread.
    bool nv12Catalogued = true;
    std::atomic<bool> streaming{false};
    std::atomic<bool> recording{false};
    std::atomic<bool> screenRecording{false};
    std::unique_ptr<platform::SourceReader> audioReader;
    std::unique_ptr<platform::SourceReader> videoReader;
    audio::AudioFormat audioFormat;  // written by configureAudioType, read by the audio callback
    std::atomic<int32_t> monitorMuted{0};
    std::unique_ptr<StretchTarget> d2dTarget;  // the stretching renderer
    // Frame counter of the recording indicator; starting at 0 puts the first blink a second in.
    int32_t indicatorCounter = 0;
    std::unique_ptr<AspectPresenter> d3dDevice;  // the aspect-keeping renderer
    PreviewGeometry::Rect destRect;
    std::atomic<bool> d3dResetting{false};
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t yuy2Stride = 0;
    int32_t bgraStride = 0;
    int32_t nv12LumaStride = 0;
    int32_t nv12Stride = 0;
    float frameRate = 0.0f;
    // The same rate as the device gives it, a ratio (60000/1001 for 59.94): the grid of the
    // recorded frames. 0/1 until a type was read.
    uint32_t frameRateNumerator = 0;
    uint32_t frameRateDenominator = 1;
    FrameBuffer bgraFrame;
    FrameBuffer snapshotFrame;
    // snapshotFrame holds a converted frame of this session (it is not cleared). Under frameLock.
    bool snapshotFilled = false;
    FrameBuffer previousFrame;
    FrameBuffer decodedFrame;
    FrameBuffer planarFrame;
    FrameBuffer diffFrame;
    // The writer of the running recording, box or screen, null when none runs, with its stream
    // indices and time base. The recording steps read and write them under sinkWriterLock, so
    // that exactly one sample fixes baseTime and no write reaches a writer being finalised.
    std::unique_ptr<platform::SinkWriter> sinkWriter;
    uint32_t videoStreamIndex = 0;
    uint32_t audioStreamIndex = 0;
    int32_t firstSample = 1;
    int64_t baseTime = 0;
    std::mutex sinkWriterLock;
    std::atomic<bool> sessionOpen{false};
    std::recursive_mutex frameLock;
    std::recursive_mutex screenCaptureLock;
    std::atomic<bool> motionDetection{false};
    std::thread renderThread;
    std::unique_ptr<FrameEvent> frameEvent;
    std::atomic<bool> useSystemClock{false};
    int32_t quality = 2;
    VideoModeTable yuy2Modes{};
    VideoModeTable mjpgModes{};
    VideoModeTable nv12Modes{};
    int32_t yuy2ModeCount = 0;
    int32_t mjpgModeCount = 0;
    int32_t nv12ModeCount = 0;
    std::atomic<bool> keepAspect{false};
    std::vector<uint8_t> silenceBuffer;
    int32_t activeFormat = kFormatNone;
    std::unique_ptr<imaging::JpegDecoder> jpegDecoder;
    std::array<int32_t, 3> planeStrides{};
    std::array<uint8_t*, 3> planes{};
    int64_t planarBytes = 0;    // size of planarFrame
    bool motionPrimed = false;  // previousFrame holds a frame of this session

    // Four seconds of captured audio for the analyzer; made by configureAudioType, freed by
    // closeSession.
    audio::AudioRing analysisRing;
    // The monitor of the process (its format, ring, monitorRunning and monitorFinished); its
    // output is set by whoever builds the manager (setEndpoints).
    audio::AudioMonitor audioMonitor;

    // The recording's hand-off for each audio sample (sample, time in 100 ns); installed by the
    // recording controller before streaming starts, empty otherwise. Audio worker thread.
    std::function<platform::HRESULT(const std::shared_ptr<platform::Sample>&, int64_t)>
        recordAudioSample;

    // The recording's hand-off for each video frame (sample, time in 100 ns, the YUY2 frame);
    // installed by the recording controller before streaming starts, empty otherwise. Video
    // worker thread.
    std::function<platform::HRESULT(const std::shared_ptr<platform::Sample>&, int64_t,
                                    const uint8_t*)>
        recordVideoSample;

    // Told the render thread's cost of each presented frame in nanoseconds (the benchmark);
    // empty otherwise. Render thread.
    std::function<void(int64_t)> renderCostObserver;

    platform::Clock& clock() { return clock_; }

    // The time a recorded sample is stamped with: the system millisecond clock in 100 ns units
    // when useSystemClock is set, the reader's time stamp otherwise. Worker threads.
    int64_t RecordingTimestamp(int64_t readerTime);
    // The same for `sample`: with useSystemClock, the millisecond clock is read for the moment the
    // device captured the sample (MFSampleExtension_DeviceReferenceSystemTime, when the sample
    // carries a plausible one) rather than when the callback runs, so that a late callback does
    // not move the stamp.
    int64_t RecordingTimestamp(int64_t readerTime, const platform::Sample* sample);

    // How old a capture time may be and still be taken: older ones (or ones from the future)
    // are not the system clock's and give way to the clock read now.
    static constexpr int64_t kMaxCaptureAgeMs = 2000;

  private:
    void presentFrame();
    void drawIndicator(PreviewImages::Image& image, uint32_t bgra) const;

    platform::Clock& clock_;
};

// The video read callback: turns each sample into the session's YUY2 frame, hands it to the
// recording, converts it for the preview and the snapshots, and asks for the next sample.
// Video reader's worker thread, one call at a time.
class MFManager::MFCB_V final : public platform::SourceReaderCallback {
  public:
    explicit MFCB_V(MFManager* manager) : manager_(manager) {}

    platform::HRESULT OnReadSample(platform::HRESULT status, uint32_t streamIndex,
                                   uint32_t streamFlags, int64_t timestamp,
                                   const std::shared_ptr<platform::Sample>& sample) override;
    platform::HRESULT OnFlush(uint32_t) override { return platform::S_OK; }
    platform::HRESULT OnEvent(uint32_t streamIndex, uint32_t eventType) override;

    // Frames dropped for not fitting the session (short samples, undecodable JPEGs); tests read it.
    std::atomic<uint64_t> rejectedFrames{0};

  private:
    uint8_t* frameFromSample(uint8_t* data, uint32_t length, bool* decoded);
    void packRows(uint32_t first, uint32_t rows);
    void convertAndCopy(uint8_t* frame, bool packFirst);

    MFManager* manager_;
};

// The audio read callback: hands each sample to the recording, copies it into the monitor ring
// (zeros of its length while muted or while the preview is hidden) and into the analysis ring,
// and asks for the next one; a type change or the end of the stream ends the chain of reads.
// Audio reader's worker thread, one call at a time.
class MFManager::MFCB_A final : public platform::SourceReaderCallback {
  public:
    explicit MFCB_A(MFManager* manager) : manager_(manager) {}

    platform::HRESULT OnReadSample(platform::HRESULT status, uint32_t streamIndex,
                                   uint32_t streamFlags, int64_t timestamp,
                                   const std::shared_ptr<platform::Sample>& sample) override;
    platform::HRESULT OnFlush(uint32_t) override { return platform::S_OK; }
    platform::HRESULT OnEvent(uint32_t, uint32_t) override { return platform::S_OK; }

  private:
    MFManager* manager_;
};

}  // namespace tovrel::capture
