#include "recording/snapshot_writer.h"

#include <pthread.h>

#include <memory>
#include <new>
#include <utility>

#include "platform/imaging/image_file.h"
#include "platform/media/mf_constants.h"
#include "platform/system/debug_output.h"
#include "recording/recording_texts.h"

namespace tovrel::recording {

using platform::FAILED;
using platform::HRESULT;
using platform::S_OK;
using platform::SUCCEEDED;

SnapshotWriter::SnapshotWriter(platform::ImageEncoderFactory& encoders, Finished finished)
    : encoders_(encoders), finished_(std::move(finished)) {
    worker_ = std::thread([this] { run(); });
    pthread_setname_np(worker_.native_handle(), "snapshot");
}

SnapshotWriter::~SnapshotWriter() {
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

std::vector<uint8_t> SnapshotWriter::takeBufferLocked(size_t bytes) {
    std::vector<uint8_t> buffer;
    if (spare_.capacity() >= bytes) buffer = std::move(spare_);
    spare_ = {};
    return buffer;
}

HRESULT SnapshotWriter::write(const std::string& path, platform::ImageContainer container,
                              uint32_t width, uint32_t height,
                              const std::function<bool(uint8_t*)>& copyPicture) {
    if (width == 0 || height == 0) return platform::MF_E_INVALIDREQUEST;
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    std::vector<uint8_t> pixels;
    {
        std::unique_lock lock(lock_);
        changed_.wait(lock, [&] { return waiting_.size() < kMaxWaitingPictures; });
        pixels = takeBufferLocked(bytes);
    }
    // Sized before the caller's lock is taken: the copy under it then touches no fresh page.
    try {
        pixels.resize(bytes);
    } catch (const std::bad_alloc&) {
        return platform::E_OUTOFMEMORY;
    }
    if (!copyPicture(pixels.data())) {
        std::lock_guard lock(lock_);
        spare_ = std::move(pixels);
        return platform::MF_E_INVALIDREQUEST;
    }
    {
        std::lock_guard lock(lock_);
        waiting_.push_back(Job{path, container, width, height, std::move(pixels)});
        ++unfinished_;
    }
    changed_.notify_all();
    return S_OK;
}

void SnapshotWriter::waitUntilIdle() {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return unfinished_ == 0; });
}

void SnapshotWriter::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(lock_);
            changed_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
            // Stopping drains the queue first: a snapshot taken just before the window closed
            // is still saved.
            if (waiting_.empty()) return;
            job = std::move(waiting_.front());
            waiting_.pop_front();
        }
        changed_.notify_all();  // a writer waiting for room may go on
        const platform::BgrxPicture picture{job.pixels.data(), job.width, job.height,
                                            job.width * 4};
        const HRESULT hr = encode(encoders_, job.path, job.container, picture);
        if (finished_) finished_(job.path, hr);
        {
            std::lock_guard lock(lock_);
            --unfinished_;
            if (job.pixels.capacity() > spare_.capacity()) spare_ = std::move(job.pixels);
        }
        changed_.notify_all();
    }
}

HRESULT SnapshotWriter::encode(platform::ImageEncoderFactory& encoders, const std::string& path,
                               platform::ImageContainer container,
                               const platform::BgrxPicture& picture) {
    std::unique_ptr<platform::ImageEncoder> encoder;
    HRESULT hr = encoders.CreateEncoder(container, &encoder);
    if (SUCCEEDED(hr) && !encoder) hr = platform::E_UNEXPECTED;
    std::unique_ptr<platform::ImageFile> file;
    if (SUCCEEDED(hr)) hr = platform::ImageFile::Create(path, &file);
    if (SUCCEEDED(hr)) hr = encoder->Encode(picture, *file);
    if (SUCCEEDED(hr)) hr = file->Commit();
    if (FAILED(hr)) {
        platform::outputDebugString(std::string(RecordingTexts::kSnapshotFailed) + " (" + path +
                                    ")");
    }
    return hr;
}

}  // namespace tovrel::recording
