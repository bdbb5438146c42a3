#include <algorithm>
#include <cstring>

#include "capture/capture_texts.h"
#include "capture/mf_manager.h"
#include "capture/motion_detection.h"
#include "imaging/byte_image_ops.h"
#include "imaging/pixel_conversion.h"
#include "platform/media/mf_guids.h"
#include "platform/system/debug_output.h"

namespace tovrel::capture {

using namespace platform;

HRESULT MFManager::MFCB_V::OnEvent(uint32_t, uint32_t) {
    outputDebugString(CaptureTexts::kEvent);
    return S_OK;
}

// The session's YUY2 frame for this sample, or null when the sample cannot give one. In MJPEG
// mode a frame that decodes is left in the decoded planes, not yet packed into decodedFrame, and
// *decoded is set: the caller decides where it is packed.
uint8_t* MFManager::MFCB_V::frameFromSample(uint8_t* data, uint32_t length, bool* decoded) {
    MFManager& m = *manager_;
    *decoded = false;
    const uint64_t frameBytes = static_cast<uint64_t>(m.yuy2Stride) * m.height;
    if (m.activeFormat != kFormatMjpg) {
        // A short sample would be read past its end: it is not shown or recorded.
        if (data == nullptr || length < frameBytes || frameBytes == 0) {
            ++rejectedFrames;
            return nullptr;
        }
        return data;
    }
    if (!m.decodedFrame) return nullptr;
    // The decoder refuses, writing nothing, a frame whose header cannot be read or whose size
    // or subsampling does not fit planarFrame; the previous decoded frame is then shown again.
    int status = imaging::kDecodeFailed;
    if (m.jpegDecoder && m.planarFrame && data != nullptr && length > 0) {
        status = m.jpegDecoder->decodeToPlanar422(data, length, m.planarFrame.get(), m.planarBytes,
                                                  static_cast<int32_t>(m.width),
                                                  static_cast<int32_t>(m.height));
    }
    *decoded = status == imaging::kDone || status == imaging::JpegDecoder::kDecodedWithWarning;
    if (!*decoded) ++rejectedFrames;
    return m.decodedFrame.get();
}

// Packs rows [first, first + rows) of the decoded planes into decodedFrame.
void MFManager::MFCB_V::packRows(uint32_t first, uint32_t rows) {
    MFManager& m = *manager_;
    const uint8_t* planes[3];
    for (int i = 0; i < 3; ++i) {
        planes[i] = m.planes[i] + static_cast<size_t>(first) * m.planeStrides[i];
    }
    imaging::packPlanar422ToYuy2(
        planes, m.planeStrides.data(),
        m.decodedFrame.get() + static_cast<size_t>(first) * m.yuy2Stride, m.yuy2Stride,
        imaging::Size{static_cast<int32_t>(m.width), static_cast<int32_t>(rows)});
}

// Converts the frame into bgraFrame and snapshotFrame in one pass: the second frame costs its
// writes only, and neither goes through the cache, which the next decode needs. With packFirst
// (an even width) the decoded planes are packed into the frame in the same pass, so the packed
// frame does not make a round trip through memory before its conversion.
void MFManager::MFCB_V::convertAndCopy(uint8_t* frame, bool packFirst) {
    MFManager& m = *manager_;
    const imaging::Size size{static_cast<int32_t>(m.width), static_cast<int32_t>(m.height)};
    const int32_t snapshotStride = static_cast<int32_t>(m.width * 4);
    if (packFirst) {
        const uint8_t* planes[3] = {m.planes[0], m.planes[1], m.planes[2]};
        imaging::packPlanar422ToYuy2AndConvert(planes, m.planeStrides.data(), frame, m.yuy2Stride,
                                               m.bgraFrame.get(), m.bgraStride,
                                               m.snapshotFrame.get(), snapshotStride, size, 0);
    } else {
        imaging::convertYuy2ToBgraAndCopy(frame, m.yuy2Stride, m.bgraFrame.get(), m.bgraStride,
                                          m.snapshotFrame.get(), snapshotStride, size, 0);
    }
}

HRESULT MFManager::MFCB_V::OnReadSample(HRESULT, uint32_t, uint32_t streamFlags, int64_t timestamp,
                                        const std::shared_ptr<Sample>& sample) {
    MFManager& m = *manager_;
    if (!m.streaming && !m.recording) return S_OK;

    const int64_t time = m.RecordingTimestamp(timestamp, sample.get());
    if (streamFlags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) {
        outputDebugString(CaptureTexts::kTypeChange);
        return S_OK;
    }
    if (streamFlags & MF_SOURCE_READERF_ENDOFSTREAM) {
        outputDebugString(CaptureTexts::kEndOfInput);
        return S_OK;
    }

    std::shared_ptr<MediaBuffer> buffer;
    bool locked = false;
    if (!sample) {
        outputDebugString(CaptureTexts::kVideoNoSample);
    } else {
        uint8_t* data = nullptr;
        uint32_t length = 0;
        if (SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer)) &&
            SUCCEEDED(buffer->Lock(&data, nullptr, &length))) {
            locked = true;
        }
        if (m.activeFormat == kFormatMjpg) {
            uint32_t total = 0;
            if (SUCCEEDED(sample->GetTotalLength(&total))) length = std::min(length, total);
        }
        // One reading of the flags per sample: what is recorded and what the preview shows come
        // from the same decision.
        const bool recording = m.recording;
        const bool preview = m.streaming && m.previewVisible;
        const bool motion = m.motionDetection && !recording;
        // The motion step draws into the frame: in YUY2 mode that is the sample's own data.
        bool decoded = false;
        uint8_t* frame = frameFromSample(locked ? data : nullptr, locked ? length : 0, &decoded);
        // The one decision on where a decoded frame is packed: only the recording and the motion
        // step need it whole before the preview; otherwise an even-width frame is packed in the
        // preview's own pass, and without a preview pass at the end, so that decodedFrame always
        // holds the last decoded frame.
        const bool packInPreview = decoded && preview && !recording && !motion && m.width % 2 == 0;
        if (decoded && !packInPreview) packRows(0, m.height);
        bool packPending = packInPreview;

        if (frame != nullptr && recording && m.recordVideoSample)
            m.recordVideoSample(sample, time, frame);

        if (frame != nullptr && preview) {
            {
                std::lock_guard lock(m.frameLock);
                if (m.bgraFrame && m.snapshotFrame) {
                    if (motion && m.previousFrame && m.diffFrame) {
                        if (m.motionPrimed) {
                            detectMotion(frame, m.previousFrame.get(), m.diffFrame.get(),
                                         m.yuy2Stride, m.height);
                        } else {
                            imaging::copyPlane(
                                frame, m.yuy2Stride, m.previousFrame.get(), m.yuy2Stride,
                                imaging::Size{m.yuy2Stride, static_cast<int32_t>(m.height)});
                            m.motionPrimed = true;
                        }
                    }
                    convertAndCopy(frame, packPending);
                    m.snapshotFilled = true;
                    packPending = false;
                }
            }
            if (m.frameEvent) m.frameEvent->pulse();
        }
        if (packPending) packRows(0, m.height);
    }
    if (locked) buffer->Unlock();
    buffer.reset();

    if (m.videoReader) {
        m.videoReader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, nullptr, nullptr, nullptr,
                                  nullptr);
    }
    return S_OK;
}

}  // namespace tovrel::capture
