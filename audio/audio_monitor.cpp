#include "audio/audio_monitor.h"

#include <algorithm>
#include <cstring>

#include "audio/audio_texts.h"
#include "audio/monitor_delay_control.h"
#include "audio/monitor_frame_converter.h"
#include "audio/monitor_splicer.h"
#include "platform/audio/audio_client_codes.h"
#include "platform/audio/audio_thread_priority.h"
#include "platform/system/debug_output.h"

namespace tovrel::audio {

using namespace platform;

struct AudioMonitor::Output {
    std::unique_ptr<AudioEndpoint> endpoint;
    std::unique_ptr<AudioClient> client;
    std::unique_ptr<AudioRenderClient> render;
    uint32_t bufferFrames = 0;
    int64_t period100ns = kBufferDuration100ns;
    std::unique_ptr<MonitorFrameConverter> converter;
    std::vector<uint8_t> scratch;  // ring frames on their way through the converter
};

AudioMonitor::AudioMonitor(AudioEndpointEnumerator* endpoints, Clock& clock)
    : endpoints_(endpoints), clock_(clock) {}

AudioMonitor::~AudioMonitor() { stop(); }

WaveFormatExtensible AudioMonitor::declaredFormat(const MonitorFormat& format) {
    WaveFormatExtensible f;
    const uint32_t bits = format.bitsPerSample;
    const uint32_t container = bits == 24 ? 32 : bits;
    f.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.nChannels = static_cast<uint16_t>(format.channels);
    f.nSamplesPerSec = format.samplesPerSecond;
    f.nBlockAlign = static_cast<uint16_t>(format.channels * (container / 8));
    f.nAvgBytesPerSec = f.nBlockAlign * format.samplesPerSecond;
    f.wBitsPerSample = static_cast<uint16_t>(container);
    f.cbSize = 22;
    f.Samples.wValidBitsPerSample = static_cast<uint16_t>(bits);
    f.dwChannelMask = 0;
    f.SubFormat = format.isPcm ? KSDATAFORMAT_SUBTYPE_PCM : KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    return f;
}

std::optional<WaveFormatExtensible> AudioMonitor::deviceFormat() const {
    std::lock_guard<std::mutex> lock(formatMutex_);
    return deviceFormat_;
}

void AudioMonitor::joinThread() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void AudioMonitor::start(const MonitorFormat& format) {
    if (monitorRunning) {
        monitorRunning = false;
        while (!monitorFinished) clock_.sleep(kStopPollMs);
    }
    joinThread();
    monitorFormat = format;
    monitorFinished = false;
    monitorRing.create(format.monitorRingBytes());
    {
        std::lock_guard<std::mutex> lock(formatMutex_);
        deviceFormat_.reset();
        delay_ = Delay{};
    }
    monitorFrameBytes_ = 0;
    monitorRunning = true;
    thread_ = std::thread([this] { AudioMonitorThread(); });
}

void AudioMonitor::stop() {
    monitorRunning = false;
    while (!monitorFinished) clock_.sleep(kStopPollMs);
    joinThread();
}

void AudioMonitor::AudioMonitorThread() {
    // Only this thread keeps the device from running dry; it must not wait behind a busy
    // machine's other work to wake.
    const AudioThreadPriority priority;
    Output out;
    if (openOutput(out)) playbackLoop(out);
    closeOutput(out);
    monitorFinished = true;
}

bool AudioMonitor::openOutput(Output& out) {
    if (!endpoints_ || FAILED(endpoints_->GetDefaultAudioEndpoint(&out.endpoint)) ||
        !out.endpoint) {
        outputDebugString(AudioTexts::kNoDevice);
        return false;
    }
    if (FAILED(out.endpoint->Activate(&out.client)) || !out.client) {
        out.client.reset();
        outputDebugString(AudioTexts::kNoClient);
        return false;
    }
    const WaveFormatExtensible declared = declaredFormat(monitorFormat);
    monitorFrameBytes_ = declared.nBlockAlign;

    std::optional<WaveFormatExtensible> closest;
    const HRESULT support =
        out.client->IsFormatSupported(AudioShareMode::AUDCLNT_SHAREMODE_SHARED, declared, &closest);
    WaveFormatExtensible format = declared;
    uint32_t flags = kStreamFlags;
    uint32_t rate = declared.nSamplesPerSec;
    if (support != S_OK) {
        if (closest) {
            if (closest->SubFormat == KSDATAFORMAT_SUBTYPE_PCM) {
                outputDebugString(AudioTexts::kClosestPcm);
            } else if (closest->SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT) {
                outputDebugString(AudioTexts::kClosestFloat);
            }
        }
        if (support == AUDCLNT_E_UNSUPPORTED_FORMAT) {
            outputDebugString(AudioTexts::kUnsupportedFormat);
            flags = 0;
            if (closest) {
                format = *closest;
                rate = closest->nSamplesPerSec;
            }
        } else {
            outputDebugString(AudioTexts::kFormatQueryFailed);
            if (closest) rate = closest->nSamplesPerSec;
        }
    }

    auto initialize = [&](int64_t duration) {
        return out.client->Initialize(AudioShareMode::AUDCLNT_SHAREMODE_SHARED, flags, duration,
                                      duration, format);
    };
    int64_t period = kBufferDuration100ns;
    HRESULT hr = initialize(period);
    if (hr == AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED) {
        uint32_t frames = 0;
        if (FAILED(out.client->GetBufferSize(&frames))) return false;
        out.client.reset();
        if (rate == 0) return false;
        period = static_cast<int64_t>(10'000'000.0 * frames / rate + 0.5);
        if (FAILED(out.endpoint->Activate(&out.client)) || !out.client) {
            out.client.reset();
            return false;
        }
        hr = initialize(period);
    }
    if (FAILED(hr)) {
        outputDebugString(AudioTexts::kInitializeFailed);
        return false;
    }
    out.period100ns = period;
    period100ns_ = period;

    if (FAILED(out.client->GetBufferSize(&out.bufferFrames))) return false;
    if (FAILED(out.client->GetService(&out.render)) || !out.render) {
        out.render.reset();
        return false;
    }
    // Frames go to the device in the format it was initialised with; the ring keeps the
    // capture's, so the two are reconciled here once.
    out.converter = std::make_unique<MonitorFrameConverter>(monitorFormat, format);
    monitorFrameBytes_ = out.converter->deviceFrameBytes();
    if (!out.converter->direct()) {
        out.scratch.resize(
            static_cast<size_t>(out.converter->sourceFramesFor(out.bufferFrames) + 2) *
            out.converter->sourceFrameBytes());
    }
    {
        std::lock_guard<std::mutex> lock(formatMutex_);
        deviceFormat_ = format;
    }
    if (FAILED(out.client->Start())) {
        outputDebugString(AudioTexts::kStartFailed);
        return false;
    }
    return true;
}

void AudioMonitor::playbackLoop(Output& out) {
    MonitorFrameConverter& converter = *out.converter;
    const uint32_t deviceFrameBytes = converter.deviceFrameBytes();
    const uint32_t sourceFrameBytes = converter.sourceFrameBytes();
    const uint32_t sleepMs = static_cast<uint32_t>(out.period100ns / 40'000);
    const WaveFormatExtensible format = deviceFormat().value_or(WaveFormatExtensible{});
    MonitorDelayControl control(format.nSamplesPerSec);
    MonitorSplicer splicer(format);
    uint64_t reportedAtMs = clock_.getTickCount64();
    uint64_t droppedAtReport = framesDropped_.load();
    while (monitorRunning) {
        uint32_t queued = 0;
        if (FAILED(out.client->GetCurrentPadding(&queued))) {
            // Retried at once, but without spinning a core on a device that has gone away.
            clock_.sleep(1);
            continue;
        }
        const uint32_t free = queued < out.bufferFrames ? out.bufferFrames - queued : 0;
        // The device takes what the ring holds, up to its free space: a ring that is short gives
        // the device a little less this time rather than nothing now and a late burst later,
        // which is how gaps and the delay they leave behind used to come about.
        const uint32_t held =
            sourceFrameBytes ? static_cast<uint32_t>(monitorRing.heldBytes()) / sourceFrameBytes
                             : 0;
        const uint32_t available = converter.deviceFramesFrom(held);
        const uint32_t frames = std::min(free, available);
        publishDelay(queued, available, format.nSamplesPerSec);

        const uint64_t nowMs = clock_.getTickCount64();
        if (nowMs - reportedAtMs >= kDelayReportMs) {
            const uint64_t dropped = framesDropped_.load();
            outputDebugString(AudioTexts::delayReport(
                framesToMs(queued, format.nSamplesPerSec),
                framesToMs(available, format.nSamplesPerSec),
                framesToMs(dropped - droppedAtReport, format.nSamplesPerSec)));
            reportedAtMs = nowMs;
            droppedAtReport = dropped;
        }

        // A device with nothing queued (the first pass, or one that ran dry because the capture
        // stopped delivering) starts again on a full buffer: silence for what the ring cannot
        // fill, ahead of what it can. Started on less, it would run dry again at once.
        if (queued == 0 && frames < free) playSilence(out, free - frames);
        if (frames == 0) {
            clock_.sleep(sleepMs);
            continue;
        }
        const uint32_t drop = control.observe(nowMs, available - frames);
        uint8_t* data = nullptr;
        if (FAILED(out.render->GetBuffer(frames, &data))) {
            clock_.sleep(sleepMs);
            continue;
        }
        bool delivered;
        if (converter.direct()) {
            const int32_t want =
                static_cast<int32_t>(static_cast<size_t>(frames) * deviceFrameBytes);
            delivered = monitorRing.read(data, want) == want;
        } else {
            const int32_t want =
                static_cast<int32_t>(converter.sourceFramesFor(frames) * sourceFrameBytes);
            delivered = monitorRing.read(out.scratch.data(), want) == want;
            if (delivered) converter.convert(out.scratch.data(), frames, data);
        }
        uint32_t removed = 0;
        if (!delivered) {
            // Not expected (this thread is the ring's only reader), but never garbage.
            std::memset(data, 0, static_cast<size_t>(frames) * deviceFrameBytes);
        } else if (drop > 0) {
            removed = splicer.removeFrames(data, frames, std::min(drop, frames / 2),
                                           control.mayCutSound(nowMs));
            control.dropped(removed);
            framesDropped_ += removed;
        }
        out.render->ReleaseBuffer(frames - removed, 0);
        clock_.sleep(sleepMs);
    }
}

void AudioMonitor::playSilence(Output& out, uint32_t frames) {
    uint8_t* data = nullptr;
    if (FAILED(out.render->GetBuffer(frames, &data))) return;
    if (data) std::memset(data, 0, static_cast<size_t>(frames) * out.converter->deviceFrameBytes());
    out.render->ReleaseBuffer(frames, 0);
}

void AudioMonitor::publishDelay(uint32_t deviceFrames, uint32_t ringFrames,
                                uint32_t framesPerSecond) {
    std::lock_guard<std::mutex> lock(formatMutex_);
    delay_ = Delay{deviceFrames, ringFrames, framesPerSecond};
}

AudioMonitor::Delay AudioMonitor::currentDelay() const {
    std::lock_guard<std::mutex> lock(formatMutex_);
    return delay_;
}

uint32_t AudioMonitor::framesToMs(uint64_t frames, uint32_t framesPerSecond) {
    return framesPerSecond
               ? static_cast<uint32_t>((frames * 1000 + framesPerSecond / 2) / framesPerSecond)
               : 0;
}

void AudioMonitor::closeOutput(Output& out) {
    if (out.client) {
        out.client->Stop();
        uint32_t queued = 0;
        if (out.render && SUCCEEDED(out.client->GetCurrentPadding(&queued))) {
            const uint32_t free = queued < out.bufferFrames ? out.bufferFrames - queued : 0;
            uint8_t* data = nullptr;
            if (SUCCEEDED(out.render->GetBuffer(free, &data))) {
                const uint32_t frameBytes =
                    out.converter ? out.converter->deviceFrameBytes() : monitorFrameBytes_.load();
                if (data && free > 0) std::memset(data, 0, static_cast<size_t>(free) * frameBytes);
                out.render->ReleaseBuffer(free, 0);
            }
        }
    }
    out.render.reset();
    out.client.reset();
    out.endpoint.reset();
    monitorRing.destroy();
}

}  // namespace tovrel::audio
