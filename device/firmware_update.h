#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "device/bridge_requests.h"
#include "device/firmware_image_names.h"
#include "device/firmware_library.h"
#include "device/firmware_result.h"
#include "device/panel_transport.h"

namespace tovrel::device {

// Writes a firmware image into the box's flash: query, erase from address 0 over the image and
// one sector more, program 256-byte chunks, then tell the box which image it got (FwTarget) and
// apply it (Mode 1). Opens the box at the start and closes it at the end.
//
// Stops at the first failure, before programming when the erase fails, and never sends FwTarget
// or Mode after a failed step: a box told to run a half-written image would not start again,
// while one left in its old mode can be updated again. Every status poll has the transport's
// time limit, so a box that stops answering ends the update with a failure instead of a hang.
//
// Runs on whichever thread calls it (the panel's update worker, tovrelctl's main thread); the
// caller holds the lock that keeps every other access to the box out meanwhile. The progress and
// log callbacks run on that thread.
class FirmwareUpdate {
  public:
    using Progress = std::function<void(const FirmwareProgress&)>;
    using Log = std::function<void(std::string_view)>;

    // The flash the supported boxes carry. The erase reaches one sector beyond the image, so an
    // image may take all of it but that sector.
    static constexpr uint32_t kFlashCapacityBytes = 2u << 20;
    static constexpr uint32_t kMaxImageBytes = kFlashCapacityBytes - kFlashSectorBytes;

    // `log` takes the lines the panel writes to its log (standard error by default).
    FirmwareUpdate(PanelTransport& transport, Log log = {});

    // The image of the table for the box found and the routine, from `library`.
    FirmwareResult UpdateQ7Win(FirmwareLibrary& library, const Progress& progress = {});
    FirmwareResult UpdateQ7Mac(FirmwareLibrary& library, const Progress& progress = {});
    FirmwareResult update(FirmwareTarget target, FirmwareLibrary& library,
                          const Progress& progress = {});

    // A given image (tovrelctl flash FILE), with the same checks before the flash is touched.
    FirmwareResult flashImage(FirmwareTarget target, const std::vector<uint8_t>& image,
                              std::string_view imageName, const Progress& progress = {});

  private:
    // With the box open: checks, query, erase, program, FwTarget and Mode.
    void writeImage(FirmwareTarget target, const std::vector<uint8_t>& image,
                    FirmwareResult& result, const Progress& progress);
    void say(std::string_view line);

    PanelTransport& transport_;
    Log log_;
};

}  // namespace tovrel::device
