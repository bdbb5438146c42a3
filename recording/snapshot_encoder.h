#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "capture/mf_manager.h"
#include "platform/imaging/image_encoder_factory.h"
#include "platform/system/hresult.h"
#include "platform/system/thread_checker.h"
#include "recording/snapshot_writer.h"

namespace tovrel::recording {

// Box snapshots: the capture manager's last preview frame saved as an image file whose
// extension picks the container.
//
// GUI thread, like the capture session it reads (width, height and the frame buffers change
// only there); debug builds check that it is called on the thread that made it. The frame is
// copied under frameLock, so the video callback waits for one copy at most. With a
// SnapshotWriter the encoding runs on the writer's worker and the window thread waits for the
// copy alone; without one it runs on the calling thread, which then gets the encoding's result.
// The object itself is cheap: make one per snapshot, for the capture manager of the moment.
class SnapshotEncoder {
  public:
    struct Extension {
        std::string_view text;
        platform::ImageContainer container;
    };
    // Compared exactly, case and all, in this order.
    static constexpr std::array<Extension, 5> kExtensions{{
        {".bmp", platform::ImageContainer::kBmp},
        {".jpg", platform::ImageContainer::kJpeg},
        {".png", platform::ImageContainer::kPng},
        {".tiff", platform::ImageContainer::kTiff},
        {".gif", platform::ImageContainer::kGif},
    }};

    // Encodes on the calling thread.
    SnapshotEncoder(capture::MFManager& manager, platform::ImageEncoderFactory& encoders);
    // Hands the copied picture to `writer`, which the program holds for its whole run.
    SnapshotEncoder(capture::MFManager& manager, SnapshotWriter& writer);

    // The container of a path's extension; null for any other extension.
    static std::optional<platform::ImageContainer> containerOf(const std::string& path);

    // Saves the box's last converted frame at the capture format's size into `path`. S_OK (with
    // a writer: once the picture is handed over); MF_E_INVALIDMEDIATYPE for an extension outside
    // the table (nothing is created); MF_E_INVALIDREQUEST when no session is open or no frame has
    // been converted yet (no file); E_OUTOFMEMORY; without a writer, otherwise the encoder's or
    // the file's failure (a writer sends that to the debug output). The file takes its name only
    // when the picture was written whole: after a failure an older file of that name is as it was.
    platform::HRESULT TakeSnapshot(const std::string& path);

    // The common sequence of every snapshot: the picture of width x height, copied by
    // `copyPicture` into tightly packed rows (its false: nothing to copy), encoded into `path`
    // here or by the writer.
    platform::HRESULT encodePicture(const std::string& path, platform::ImageContainer container,
                                    uint32_t width, uint32_t height,
                                    const std::function<bool(uint8_t*)>& copyPicture);

  private:
    capture::MFManager& manager_;
    // Exactly one of the two.
    platform::ImageEncoderFactory* encoders_ = nullptr;
    SnapshotWriter* writer_ = nullptr;
    platform::ThreadChecker thread_;
};

}  // namespace tovrel::recording
