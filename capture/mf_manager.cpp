#include "capture/mf_manager.h"

#include <chrono>
#include <new>

#include "capture/capture_texts.h"
#include "imaging/aligned_alloc.h"
#include "platform/media/mf_guids.h"
#include "platform/system/debug_output.h"

namespace tovrel::capture {

using namespace platform;

void AlignedFreer::operator()(uint8_t* block) const { imaging::alignedFree(block); }

MFManager::MFManager(Clock& clock)
    : silenceBuffer(kSilenceBufferBytes, 0), audioMonitor(nullptr, clock), clock_(clock) {}

MFManager::~MFManager() { closeSession(); }

int64_t MFManager::RecordingTimestamp(int64_t readerTime) {
    // USB 3.0 bridges stamp audio by their own clock, which drifts from the video's.
    if (!useSystemClock) return readerTime;
    return static_cast<int64_t>(static_cast<int32_t>(clock_.timeGetTime())) * 10'000;
}

int64_t MFManager::RecordingTimestamp(int64_t readerTime, const Sample* sample) {
    uint64_t captured100ns = 0;
    if (!useSystemClock || sample == nullptr ||
        FAILED(sample->GetUINT64(MFSampleExtension_DeviceReferenceSystemTime, &captured100ns))) {
        return RecordingTimestamp(readerTime);
    }
    // The millisecond clock is the monotonic clock's milliseconds: the capture time in it.
    const uint64_t nowMs = clock_.getTickCount64();
    const uint64_t capturedMs = captured100ns / 10'000;
    if (capturedMs > nowMs || nowMs - capturedMs > kMaxCaptureAgeMs)
        return RecordingTimestamp(readerTime);
    return static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(capturedMs))) * 10'000;
}

HRESULT MFManager::openSession(PreviewSurface* surface, std::shared_ptr<MediaSource> audioSource,
                               std::shared_ptr<MediaSource> videoSource, bool systemClock,
                               bool aspect, int32_t requestedWidth, int32_t requestedHeight,
                               int32_t fps, int32_t format) {
    TOVREL_CHECK_THREAD(guiThread);
    if (sessionOpen) closeSession();
    HRESULT hr = S_OK;
    frameEvent = std::make_unique<FrameEvent>();
    window = surface;

    std::unique_ptr<Attributes> attributes;
    audioCallback = std::shared_ptr<MFCB_A>(new (std::nothrow) MFCB_A(this));
    videoCallback =
        audioCallback ? std::shared_ptr<MFCB_V>(new (std::nothrow) MFCB_V(this)) : nullptr;
    if (!audioCallback || !videoCallback) {
        hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) {
        hr = MFCreateAttributes(&attributes, 1);
        if (SUCCEEDED(hr))
            hr = attributes->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, audioCallback);
    }
    if (SUCCEEDED(hr)) {
        // A missing source leaves its reader missing; the later steps check for it.
        if (audioSource && SUCCEEDED(MFCreateSourceReaderFromMediaSource(
                               audioSource, attributes.get(), &audioReader))) {
            configureAudioType(audioReader.get());
        }
        attributes.reset();
        hr = MFCreateAttributes(&attributes, 3);
        if (SUCCEEDED(hr))
            hr = attributes->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, videoCallback);
        if (SUCCEEDED(hr)) hr = attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, 1);
        if (SUCCEEDED(hr)) hr = attributes->SetUINT32(MF_LOW_LATENCY, 1);
    }
    if (SUCCEEDED(hr)) {
        if (videoSource)
            MFCreateSourceReaderFromMediaSource(videoSource, attributes.get(), &videoReader);
        buildFormatCatalogue(videoReader.get());
        configureVideoType(videoReader.get(), requestedWidth, requestedHeight, fps, format);
        clock_.sleep(kOpenSettleMs);
        keepAspect = aspect;
        if (aspect) {
            if (!d3dDevice) createD3DPresenter();
            computeDestRect();
        } else if (!d2dTarget) {
            createD2DTarget();
        }
    }
    attributes.reset();
    useSystemClock = systemClock;
    sessionOpen = true;
    return hr;
}

void MFManager::closeSession() {
    TOVREL_CHECK_THREAD(guiThread);
    // No thread may outlive the buffers it touches: a render thread still running is stopped.
    if (renderThread.joinable()) {
        streaming = false;
        if (frameEvent) frameEvent->set();
        renderThread.join();
    }
    if (frameEvent) {
        frameEvent->reset();
        frameEvent.reset();
    }
    {
        std::lock_guard lock(frameLock);
        d3dDevice.reset();
        d2dTarget.reset();
    }
    // Stopping a reader joins its worker: no callback runs (or reaches for its reader) past this.
    if (audioReader) audioReader->Shutdown();
    if (videoReader) videoReader->Shutdown();
    audioReader.reset();
    videoReader.reset();
    audioCallback.reset();
    videoCallback.reset();
    streaming = false;
    recording = false;
    screenRecording = false;
    if (sessionOpen) {
        {
            std::lock_guard lock(frameLock);
            bgraFrame.reset();
            snapshotFrame.reset();
            snapshotFilled = false;
            previousFrame.reset();
            decodedFrame.reset();
            planarFrame.reset();
            planes = {};
            diffFrame.reset();
            analysisRing.destroy();
            audioFormat = audio::AudioFormat{};
        }
        sessionOpen = false;
        jpegDecoder.reset();
    }
    window = nullptr;
}

HRESULT MFManager::startStreaming() {
    TOVREL_CHECK_THREAD(guiThread);
    if (streaming) return MF_E_INVALIDREQUEST;
    if (!sessionOpen) return MF_E_INVALIDREQUEST;
    audioMonitor.start(audio::MonitorFormat{audioFormat.bitsPerSample, audioFormat.samplesPerSecond,
                                            audioFormat.channels, audioFormat.isPcm});
    streaming = true;
    if (frameEvent && !renderThread.joinable())
        renderThread = std::thread(&MFManager::renderLoop, this);
    if (!recording) {
        if (audioReader)
            audioReader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, nullptr, nullptr,
                                    nullptr, nullptr);
        if (videoReader)
            videoReader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, nullptr, nullptr,
                                    nullptr, nullptr);
    }
    return S_OK;
}

void MFManager::stopStreaming(Clock& clock) {
    TOVREL_CHECK_THREAD(guiThread);
    streaming = false;
    if (frameEvent) frameEvent->set();
    if (renderThread.joinable()) renderThread.join();
    audioMonitor.monitorRunning = false;
    while (!audioMonitor.monitorFinished) clock.sleep(audio::AudioMonitor::kStopPollMs);
    audioMonitor.stop();
}

void MFManager::renderLoop() {
    FrameEvent* event = frameEvent.get();
    if (event == nullptr) return;
    event->reset();
    while (streaming) {
        if (!event->wait(kRenderWaitMs)) continue;
        presentFrame();
    }
}

void MFManager::presentFrame() {
    const auto start = std::chrono::steady_clock::now();
    if (keepAspect) {
        std::lock_guard lock(frameLock);
        presentD3D(bgraFrame.get());
    } else {
        presentD2D();
    }
    if (renderCostObserver) {
        renderCostObserver(std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
    }
}

}  // namespace tovrel::capture
