#include "sim/screen/synthetic_desktop.h"

#include <cstring>

#include "sim/screen/synthetic_output_duplication.h"

namespace tovrel::sim {
namespace {

using platform::DesktopRect;
using platform::OutduplPointerShapeInfo;

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr uint32_t kOpaqueBlack = 0xFF000000u;
constexpr uint32_t kOpaqueWhite = 0xFFFFFFFFu;
constexpr uint32_t kOpaqueRed = 0xFFFF0000u;
// Grey at half coverage, premultiplied: 0x80 of alpha, 0x40 of each colour.
constexpr uint32_t kHalfGrey = 0x80404040u;
constexpr uint32_t kOpaqueGreen = 0xFF00FF00u;

// The arrow: rows of growing width, outlined in black.
constexpr int kArrowWidth = 12;
constexpr int kArrowHeight = 19;
constexpr int kCrossSize = 15;
constexpr int kIBeamWidth = 9;
constexpr int kIBeamHeight = 16;
constexpr int kMaskedSize = 8;

void putPixel(std::vector<uint8_t>* bytes, uint32_t pitch, int x, int y, uint32_t value) {
    std::memcpy(bytes->data() + static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * 4, &value,
                4);
}

void setBit(std::vector<uint8_t>* bytes, uint32_t pitch, int x, int row) {
    (*bytes)[static_cast<size_t>(row) * pitch + static_cast<size_t>(x / 8)] |=
        static_cast<uint8_t>(0x80 >> (x % 8));
}

}  // namespace

SyntheticDesktop::SyntheticDesktop(Motion motion)
    : SyntheticDesktop({{"SIM-1", {0, 0, 1280, 1024}, true},
                        {"SIM-2", {1280, 0, 3200, 1080}, true},
                        {"SIM-3", {3200, 0, 4224, 768}, false}},
                       1, motion) {}

SyntheticDesktop::SyntheticDesktop(std::vector<Output> outputs, int primary, Motion motion)
    : outputs_(std::move(outputs)), primary_(primary), motion_(motion), movingStartMs_(nowMs()) {
    state_.pointerX = 100;
    state_.pointerY = 100;
}

platform::HRESULT SyntheticDesktop::EnumOutputs(std::vector<platform::OutputDesc>* outputs) {
    if (outputs == nullptr) return platform::E_POINTER;
    std::lock_guard lock(lock_);
    outputs->clear();
    for (size_t i = 0; i < outputs_.size(); ++i) {
        platform::OutputDesc desc;
        desc.DeviceName = outputs_[i].name;
        desc.DesktopCoordinates = outputs_[i].rect;
        desc.AttachedToDesktop = outputs_[i].attached;
        desc.Primary = outputs_[i].attached && static_cast<int>(i) == primary_;
        outputs->push_back(desc);
    }
    return platform::S_OK;
}

platform::HRESULT SyntheticDesktop::DuplicateOutput(
    const std::string& deviceName, std::unique_ptr<platform::OutputDuplication>* duplication) {
    if (duplication == nullptr) return platform::E_POINTER;
    DesktopRect rect;
    if (!outputRect(deviceName, &rect)) return platform::DXGI_ERROR_NOT_FOUND;
    {
        std::lock_guard lock(lock_);
        if (state_.accessDenied) return platform::E_ACCESSDENIED;
    }
    *duplication = std::make_unique<SyntheticOutputDuplication>(*this, deviceName, rect);
    return platform::S_OK;
}

uint64_t SyntheticDesktop::patternLocked() const {
    if (motion_ == Motion::kStatic) return movingBase_;
    return movingBase_ + static_cast<uint64_t>(nowMs() - movingStartMs_) / kTickMs;
}

void SyntheticDesktop::setMotion(Motion motion) {
    std::lock_guard lock(lock_);
    movingBase_ = patternLocked();
    movingStartMs_ = nowMs();
    motion_ = motion;
    changed_.notify_all();
}

void SyntheticDesktop::redraw() {
    std::lock_guard lock(lock_);
    movingBase_ = patternLocked() + 1;
    movingStartMs_ = nowMs();
    changed_.notify_all();
}

void SyntheticDesktop::movePointer(int32_t x, int32_t y) {
    std::lock_guard lock(lock_);
    state_.pointerX = x;
    state_.pointerY = y;
    ++state_.pointerMoves;
    changed_.notify_all();
}

void SyntheticDesktop::setPointer(Pointer pointer) {
    std::lock_guard lock(lock_);
    state_.pointer = pointer;
    ++state_.shapeChanges;
    changed_.notify_all();
}

bool SyntheticDesktop::resizeOutput(const std::string& name, int32_t width, int32_t height) {
    std::lock_guard lock(lock_);
    for (Output& output : outputs_) {
        if (output.name != name) continue;
        output.rect.right = output.rect.left + width;
        output.rect.bottom = output.rect.top + height;
        ++state_.layoutChanges;
        changed_.notify_all();
        return true;
    }
    return false;
}

void SyntheticDesktop::setAttached(bool attached) {
    std::lock_guard lock(lock_);
    for (Output& output : outputs_) output.attached = attached;
    ++state_.layoutChanges;
    changed_.notify_all();
}

void SyntheticDesktop::setAccessDenied(bool denied) {
    std::lock_guard lock(lock_);
    state_.accessDenied = denied;
    changed_.notify_all();
}

uint64_t SyntheticDesktop::pattern() const {
    std::lock_guard lock(lock_);
    return patternLocked();
}

bool SyntheticDesktop::outputRect(const std::string& name, DesktopRect* rect) const {
    std::lock_guard lock(lock_);
    for (const Output& output : outputs_) {
        if (output.name == name && output.attached) {
            *rect = output.rect;
            return true;
        }
    }
    return false;
}

uint32_t SyntheticDesktop::patternPixel(int32_t x, int32_t y, uint64_t pattern) {
    // Blue runs across, green down, both sliding with the pattern number; red is a checkerboard
    // of 64-pixel squares that steps every eight patterns: a scaled or shifted frame shows.
    const auto p = static_cast<uint32_t>(pattern);
    const uint32_t blue = (static_cast<uint32_t>(x) + 2 * p) & 0xFF;
    const uint32_t green = (static_cast<uint32_t>(y) + p) & 0xFF;
    const uint32_t red =
        (((static_cast<uint32_t>(x) >> 6) + (static_cast<uint32_t>(y) >> 6) + (p >> 3)) & 1) != 0
            ? 0xE0
            : 0x20;
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

void SyntheticDesktop::pointerShape(Pointer pointer, OutduplPointerShapeInfo* info,
                                    std::vector<uint8_t>* bytes) {
    OutduplPointerShapeInfo s;
    switch (pointer) {
        case Pointer::kArrow:
            s = {platform::DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR,
                 kArrowWidth,
                 kArrowHeight,
                 kArrowWidth * 4,
                 0,
                 0};
            bytes->assign(static_cast<size_t>(s.Pitch) * s.Height, 0);
            for (int row = 0; row < kArrowHeight; ++row) {
                const int last = std::min(row, kArrowWidth - 1);
                for (int col = 0; col <= last; ++col) {
                    const bool edge = col == 0 || col == last || row == kArrowHeight - 1;
                    putPixel(bytes, s.Pitch, col, row, edge ? kOpaqueBlack : kOpaqueWhite);
                }
            }
            break;
        case Pointer::kCross:
            s = {platform::DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR,
                 kCrossSize,
                 kCrossSize,
                 kCrossSize * 4,
                 kCrossSize / 2,
                 kCrossSize / 2};
            bytes->assign(static_cast<size_t>(s.Pitch) * s.Height, 0);
            for (int i = 0; i < kCrossSize; ++i) {
                putPixel(bytes, s.Pitch, i, kCrossSize / 2, kHalfGrey);
                putPixel(bytes, s.Pitch, kCrossSize / 2, i, kHalfGrey);
            }
            putPixel(bytes, s.Pitch, kCrossSize / 2, kCrossSize / 2, kOpaqueRed);
            break;
        case Pointer::kIBeam: {
            // AND mask rows, then XOR mask rows. AND 1 + XOR 1 inverts (the stem), AND 0 +
            // XOR 1 is white (the serifs), AND 1 + XOR 0 leaves the desktop.
            s = {platform::DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MONOCHROME,
                 kIBeamWidth,
                 kIBeamHeight * 2,
                 4,
                 kIBeamWidth / 2,
                 kIBeamHeight / 2};
            bytes->assign(static_cast<size_t>(s.Pitch) * s.Height, 0);
            for (int row = 0; row < kIBeamHeight; ++row) {
                const bool serif = row == 0 || row == kIBeamHeight - 1;
                for (int col = 0; col < kIBeamWidth; ++col) {
                    const bool stem = col == kIBeamWidth / 2;
                    if (!serif) setBit(bytes, s.Pitch, col, row);                        // AND
                    if (serif || stem) setBit(bytes, s.Pitch, col, kIBeamHeight + row);  // XOR
                }
            }
            break;
        }
        case Pointer::kMasked:
            s = {platform::DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MASKED_COLOR,
                 kMaskedSize,
                 kMaskedSize,
                 kMaskedSize * 4,
                 1,
                 1};
            bytes->assign(static_cast<size_t>(s.Pitch) * s.Height, 0);
            for (int row = 0; row < kMaskedSize; ++row) {
                for (int col = 0; col < kMaskedSize; ++col) {
                    const bool rim =
                        row == 0 || col == 0 || row == kMaskedSize - 1 || col == kMaskedSize - 1;
                    putPixel(bytes, s.Pitch, col, row, rim ? 0xFF00FFFFu : kOpaqueGreen);
                }
            }
            break;
    }
    *info = s;
}

}  // namespace tovrel::sim
