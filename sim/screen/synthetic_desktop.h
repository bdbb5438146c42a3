#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/screen/desktop_duplication.h"

namespace tovrel::sim {

// A desktop without a display, for the tests and for `--simulate` on a machine without an X
// server: several outputs (by default a 1280x1024 one at the origin, a 1920x1080 primary to its
// right, and a third that is not attached), a pattern that moves on its own or is redrawn on
// request, a pointer with a known shape and hot spot, and size changes and unplugged outputs on
// request. Its duplications (SyntheticOutputDuplication) behave as the platform's: a frame when
// the pattern or the pointer changed, a time-out otherwise, lost access after a size change.
// Any thread: every member is under one lock.
class SyntheticDesktop final : public platform::DesktopDuplication {
  public:
    // The pointer shapes it can show.
    enum class Pointer {
        kArrow,   // colour, 12x19, hot spot (0, 0): a black outline around a white body
        kCross,   // colour, 15x15, hot spot (7, 7): red centre, half-transparent grey arms
        kIBeam,   // monochrome, 9x16, hot spot (4, 8): inverting stem, white serifs
        kMasked,  // masked colour, 8x8, hot spot (1, 1): a green square with a cyan rim
    };
    enum class Motion {
        kMoving,  // a new pattern every kTickMs, as a desktop with a video playing
        kStatic,  // the pattern changes only through redraw()
    };
    static constexpr uint32_t kTickMs = 16;

    struct Output {
        std::string name;
        platform::DesktopRect rect;
        bool attached = true;
    };

    explicit SyntheticDesktop(Motion motion = Motion::kMoving);
    // The default outputs replaced by these; `primary` indexes them (-1: none).
    SyntheticDesktop(std::vector<Output> outputs, int primary, Motion motion);

    std::string name() const override { return "synthetic"; }
    // S_OK always.
    platform::HRESULT EnumOutputs(std::vector<platform::OutputDesc>* outputs) override;
    // S_OK; DXGI_ERROR_NOT_FOUND for an unknown or detached output.
    platform::HRESULT DuplicateOutput(
        const std::string& deviceName,
        std::unique_ptr<platform::OutputDuplication>* duplication) override;

    // --- what a test or the simulation changes ---
    void setMotion(Motion motion);
    // A new pattern now (the static desktop's one change).
    void redraw();
    // The pointer's hot spot at desktop position (x, y).
    void movePointer(int32_t x, int32_t y);
    void setPointer(Pointer pointer);
    // A new size of an output; its duplications lose access. False for an unknown output.
    bool resizeOutput(const std::string& name, int32_t width, int32_t height);
    // Every output detached (none can be duplicated) or attached again.
    void setAttached(bool attached);
    // Reading the desktop refused (E_ACCESSDENIED), as a secure desktop would.
    void setAccessDenied(bool denied);

    // --- what a test reads back ---
    // The pattern's B, G, R, A at a desktop position for a pattern number.
    static uint32_t patternPixel(int32_t x, int32_t y, uint64_t pattern);
    // The current pattern number; it grows by one with each change.
    uint64_t pattern() const;
    // A pointer's shape (its type, size, pitch and hot spot) and bytes.
    static void pointerShape(Pointer pointer, platform::OutduplPointerShapeInfo* info,
                             std::vector<uint8_t>* bytes);

    // --- used by the duplications ---
    struct State {
        uint64_t pattern = 0;
        uint64_t pointerMoves = 0;
        uint64_t shapeChanges = 0;
        uint64_t layoutChanges = 0;  // resizes, detachments
        int32_t pointerX = 0;
        int32_t pointerY = 0;
        Pointer pointer = Pointer::kArrow;
        bool accessDenied = false;
    };
    // Waits until `changed(state)` holds or timeoutMs passed; the state at the end either way.
    template <typename Changed>
    State waitFor(uint32_t timeoutMs, Changed changed);
    // The output's rectangle now; false when it is gone or detached.
    bool outputRect(const std::string& name, platform::DesktopRect* rect) const;

  private:
    uint64_t patternLocked() const;

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Output> outputs_;
    int primary_ = -1;
    Motion motion_;
    State state_;
    uint64_t movingBase_ = 0;  // the pattern number the moving clock counts from
    int64_t movingStartMs_ = 0;
};

template <typename Changed>
SyntheticDesktop::State SyntheticDesktop::waitFor(uint32_t timeoutMs, Changed changed) {
    std::unique_lock lock(lock_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        State now = state_;
        now.pattern = patternLocked();
        if (changed(now)) return now;
        auto wake = deadline;
        if (motion_ == Motion::kMoving) {
            // The moving pattern needs no notification: wake at its next tick.
            wake = std::min(wake, std::chrono::steady_clock::now() +
                                      std::chrono::milliseconds(kTickMs / 4 + 1));
        }
        if (changed_.wait_until(lock, wake) == std::cv_status::timeout &&
            std::chrono::steady_clock::now() >= deadline) {
            now = state_;
            now.pattern = patternLocked();
            return now;
        }
    }
}

}  // namespace tovrel::sim
