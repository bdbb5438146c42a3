#pragma once

#include <atomic>
#include <cstdint>

#include "capture/preview_surface.h"

namespace tovrel::capture {

// A preview surface without a window: a fixed client size, always exposed unless told
// otherwise, counting the images it is handed. Tests, fuzzers and benchmarks draw into it.
// setClientSize(): the thread that drives the session; the rest as PreviewSurface says.
class OffscreenSurface final : public PreviewSurface {
  public:
    explicit OffscreenSurface(int32_t width = 0, int32_t height = 0) : size_{width, height} {}

    ClientSize clientSize() const override { return size_; }
    bool exposed() const override { return exposed_; }
    PreviewImages& images() override { return images_; }
    void imageReady() override { ++ready; }

    void setClientSize(int32_t width, int32_t height) { size_ = {width, height}; }
    void setExposed(bool exposed) { exposed_ = exposed; }

    std::atomic<int> ready{0};

  private:
    ClientSize size_;
    std::atomic<bool> exposed_{true};
    PreviewImages images_;
};

}  // namespace tovrel::capture
