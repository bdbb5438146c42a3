#include "recording/snapshot_encoder.h"

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/media/mf_constants.h"
#include "platform/system/debug_output.h"
#include "recording/path_extension.h"
#include "recording/recording_texts.h"

namespace tovrel::recording {

using platform::FAILED;
using platform::HRESULT;
using platform::S_OK;
using platform::SUCCEEDED;

SnapshotEncoder::SnapshotEncoder(capture::MFManager& manager,
                                 platform::ImageEncoderFactory& encoders)
    : manager_(manager), encoders_(&encoders) {}

SnapshotEncoder::SnapshotEncoder(capture::MFManager& manager, SnapshotWriter& writer)
    : manager_(manager), writer_(&writer) {}

std::optional<platform::ImageContainer> SnapshotEncoder::containerOf(const std::string& path) {
    const std::string_view extension = pathExtension(path);
    for (const Extension& entry : kExtensions) {
        if (entry.text == extension) return entry.container;
    }
    return std::nullopt;
}

HRESULT SnapshotEncoder::TakeSnapshot(const std::string& path) {
    TOVREL_CHECK_THREAD(thread_);
    const std::optional<platform::ImageContainer> container = containerOf(path);
    if (!container) return platform::MF_E_INVALIDMEDIATYPE;
    const uint32_t width = manager_.width;
    const uint32_t height = manager_.height;
    const HRESULT hr = encodePicture(path, *container, width, height, [&](uint8_t* pixels) {
        std::lock_guard lock(manager_.frameLock);
        // Before the first converted frame the buffer holds nothing worth a file.
        if (!manager_.snapshotFrame || !manager_.snapshotFilled) return false;
        std::memcpy(pixels, manager_.snapshotFrame.get(), static_cast<size_t>(width) * height * 4);
        return true;
    });
    if (hr == platform::MF_E_INVALIDREQUEST)
        platform::outputDebugString(RecordingTexts::kSnapshotNoFrame);
    return hr;
}

HRESULT SnapshotEncoder::encodePicture(const std::string& path, platform::ImageContainer container,
                                       uint32_t width, uint32_t height,
                                       const std::function<bool(uint8_t*)>& copyPicture) {
    TOVREL_CHECK_THREAD(thread_);
    if (writer_ != nullptr) return writer_->write(path, container, width, height, copyPicture);
    if (width == 0 || height == 0) return platform::MF_E_INVALIDREQUEST;
    // Sized before the lock is taken: the copy under it then touches no fresh page.
    std::vector<uint8_t> pixels;
    try {
        pixels.resize(static_cast<size_t>(width) * height * 4);
    } catch (const std::bad_alloc&) {
        return platform::E_OUTOFMEMORY;
    }
    if (!copyPicture(pixels.data())) return platform::MF_E_INVALIDREQUEST;
    return SnapshotWriter::encode(*encoders_, path, container,
                                  platform::BgrxPicture{pixels.data(), width, height, width * 4});
}

}  // namespace tovrel::recording
