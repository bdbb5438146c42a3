#include <limits>

#include "capture/capture_texts.h"
#include "capture/mf_manager.h"
#include "platform/system/debug_output.h"

namespace tovrel::capture {

using namespace platform;

HRESULT MFManager::MFCB_A::OnReadSample(HRESULT, uint32_t, uint32_t streamFlags, int64_t timestamp,
                                        const std::shared_ptr<Sample>& sample) {
    MFManager& m = *manager_;
    // Nobody wants audio any more: the chain of reads ends here.
    if (!m.streaming && !m.recording) return S_OK;
    const int64_t time = m.RecordingTimestamp(timestamp, sample.get());
    if (streamFlags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) {
        outputDebugString(CaptureTexts::kAudioTypeChange);
        return S_OK;
    }
    if (streamFlags & MF_SOURCE_READERF_ENDOFSTREAM) {
        outputDebugString(CaptureTexts::kEndOfInput);
        return S_OK;
    }
    if (!sample) {
        outputDebugString(CaptureTexts::kAudioNoSample);
    } else {
        if (m.recording && m.recordAudioSample) m.recordAudioSample(sample, time);
        std::shared_ptr<MediaBuffer> buffer;
        uint8_t* data = nullptr;
        uint32_t maxLength = 0, currentLength = 0;
        if (m.streaming && SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer)) &&
            SUCCEEDED(buffer->Lock(&data, &maxLength, &currentLength))) {
            const int32_t length =
                currentLength > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())
                    ? std::numeric_limits<int32_t>::max()
                    : static_cast<int32_t>(currentLength);
            audio::AudioMonitor& monitor = m.audioMonitor;
            if (monitor.monitorRunning) {
                if (m.monitorMuted || !m.previewVisible) {
                    // Silence of the sample's own length; one longer than the zero buffer is
                    // written as zeros by the ring itself rather than read past the buffer.
                    if (static_cast<size_t>(length) <= m.silenceBuffer.size()) {
                        monitor.monitorRing.write(m.silenceBuffer.data(), length);
                    } else {
                        monitor.monitorRing.writeSilence(length);
                    }
                } else {
                    monitor.monitorRing.write(data, length);
                }
            }
            m.analysisRing.write(data, length);
            buffer->Unlock();
        }
    }
    if (m.audioReader) {
        m.audioReader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, nullptr, nullptr, nullptr,
                                  nullptr);
    }
    return S_OK;
}

}  // namespace tovrel::capture
