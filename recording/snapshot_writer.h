#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/imaging/image_encoder.h"
#include "platform/imaging/image_encoder_factory.h"
#include "platform/system/hresult.h"

namespace tovrel::recording {

// Encodes snapshots on a worker of its own, so that taking one costs the window thread only the
// copy of the picture: a detailed 1080p PNG takes a good part of a second to compress, and the
// preview, the menu and the keys must not stop for it.
//
// Pictures are encoded one after another in the order they were handed over. Each is written
// under a temporary name of its own and renamed into place when whole, so a file appears
// complete or not at all, and of two snapshots that share a name (two in the same second) the
// later one takes the name last and wins.
//
// Threads: construction, destruction and write() on one thread at a time (the window thread);
// waitUntilIdle() on any thread; the encoding and `finished` on the writer's own worker.
// Lifetime: the program holds one writer for its whole run, made before the first snapshot and
// destroyed after the last; the encoder factory must outlive it. Destruction encodes every
// picture already handed over, then joins the worker: no snapshot the user took is lost at
// shutdown, and no thread outlives the factory.
class SnapshotWriter {
  public:
    // Called on the worker after each picture with its path and the encoding's result.
    using Finished = std::function<void(const std::string& path, platform::HRESULT result)>;
    // Pictures that may wait for the worker; a further write waits until the oldest is done, so a
    // key held down costs the window thread time rather than the machine unbounded memory (a
    // 4K picture is 33 MB).
    static constexpr size_t kMaxWaitingPictures = 4;

    explicit SnapshotWriter(platform::ImageEncoderFactory& encoders, Finished finished = nullptr);
    ~SnapshotWriter();
    SnapshotWriter(const SnapshotWriter&) = delete;
    SnapshotWriter& operator=(const SnapshotWriter&) = delete;

    // Copies the picture of width x height with `copyPicture` (tightly packed rows; its false:
    // nothing to copy) and hands it to the worker for `path` in `container`. S_OK once handed
    // over; MF_E_INVALIDREQUEST for an empty size or when there was nothing to copy;
    // E_OUTOFMEMORY. The encoding's own failure goes to the debug output and to `finished`.
    platform::HRESULT write(const std::string& path, platform::ImageContainer container,
                            uint32_t width, uint32_t height,
                            const std::function<bool(uint8_t*)>& copyPicture);

    // Returns once every picture handed over so far is in its file (or has failed).
    void waitUntilIdle();

    // The whole encoding of one picture on the calling thread: the container's encoder, the
    // temporary file, the encoding, the rename. S_OK or the first failing step's result, which
    // also goes to the debug output.
    static platform::HRESULT encode(platform::ImageEncoderFactory& encoders,
                                    const std::string& path, platform::ImageContainer container,
                                    const platform::BgrxPicture& picture);

  private:
    struct Job {
        std::string path;
        platform::ImageContainer container;
        uint32_t width;
        uint32_t height;
        std::vector<uint8_t> pixels;
    };

    void run();
    // A buffer of `bytes`, recycled from an earlier picture when one is spare: a fresh 1080p
    // buffer costs the window thread its page faults. Caller holds lock_.
    std::vector<uint8_t> takeBufferLocked(size_t bytes);

    platform::ImageEncoderFactory& encoders_;
    const Finished finished_;

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Job> waiting_;
    // Handed over and not yet in its file: the waiting pictures and the one being encoded.
    size_t unfinished_ = 0;
    std::vector<uint8_t> spare_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace tovrel::recording
