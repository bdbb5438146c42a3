#include "sim/screen/synthetic_output_duplication.h"

#include <cstring>

#include "sim/screen/synthetic_desktop.h"

namespace tovrel::sim {

using namespace platform;

SyntheticOutputDuplication::SyntheticOutputDuplication(SyntheticDesktop& desktop, std::string name,
                                                       DesktopRect rect)
    : desktop_(desktop), name_(std::move(name)), rect_(rect) {}

bool SyntheticOutputDuplication::stillThere() {
    DesktopRect now;
    if (!desktop_.outputRect(name_, &now) || now.left != rect_.left || now.top != rect_.top ||
        now.right != rect_.right || now.bottom != rect_.bottom) {
        lost_ = true;
    }
    return !lost_;
}

HRESULT SyntheticOutputDuplication::GetDesc(OutputDesc* desc) {
    if (desc == nullptr) return E_POINTER;
    if (!stillThere()) return DXGI_ERROR_ACCESS_LOST;
    desc->DeviceName = name_;
    desc->DesktopCoordinates = rect_;
    desc->AttachedToDesktop = true;
    std::vector<OutputDesc> all;
    desktop_.EnumOutputs(&all);
    desc->Primary = false;
    for (const OutputDesc& output : all) {
        if (output.DeviceName == name_) desc->Primary = output.Primary;
    }
    desc->Rotation = DXGI_MODE_ROTATION_IDENTITY;
    return S_OK;
}

void SyntheticOutputDuplication::draw(uint64_t pattern) {
    const int32_t w = rect_.width();
    const int32_t h = rect_.height();
    pixels_.resize(static_cast<size_t>(w) * h * 4);
    auto* out = reinterpret_cast<uint32_t*>(pixels_.data());
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            *out++ = SyntheticDesktop::patternPixel(rect_.left + x, rect_.top + y, pattern);
        }
    }
    drawnPattern_ = pattern;
}

HRESULT SyntheticOutputDuplication::AcquireNextFrame(uint32_t timeoutMs, OutduplFrameInfo* info,
                                                     MappedDesktop* image) {
    if (info == nullptr || image == nullptr) return E_POINTER;
    if (held_) return DXGI_ERROR_INVALID_CALL;
    if (!stillThere()) return DXGI_ERROR_ACCESS_LOST;
    // The predicate runs under the desktop's lock: it looks at the state only.
    const uint64_t layout =
        desktop_.waitFor(0, [](const SyntheticDesktop::State&) { return true; }).layoutChanges;
    const SyntheticDesktop::State state =
        desktop_.waitFor(timeoutMs, [&](const SyntheticDesktop::State& s) {
            return first_ || s.accessDenied || s.pattern != drawnPattern_ ||
                   s.pointerMoves != seenMoves_ || s.shapeChanges != seenShapes_ ||
                   s.layoutChanges != layout;
        });
    if (!stillThere()) return DXGI_ERROR_ACCESS_LOST;
    if (state.accessDenied) return E_ACCESSDENIED;
    const bool drawn = first_ || state.pattern != drawnPattern_;
    const bool shapeChanged = first_ || state.shapeChanges != seenShapes_;
    if (!drawn && !shapeChanged && state.pointerMoves == seenMoves_) return DXGI_ERROR_WAIT_TIMEOUT;
    if (drawn) draw(state.pattern);
    uint32_t shapeBytes = 0;
    if (shapeChanged) {
        SyntheticDesktop::pointerShape(state.pointer, &shapeInfo_, &shape_);
        shapeBytes = static_cast<uint32_t>(shape_.size());
    }
    first_ = false;
    seenMoves_ = state.pointerMoves;
    seenShapes_ = state.shapeChanges;
    held_ = true;

    OutduplFrameInfo frame;
    frame.AccumulatedFrames = drawn ? 1 : 0;
    frame.PointerVisible = state.pointerX >= rect_.left && state.pointerX < rect_.right &&
                           state.pointerY >= rect_.top && state.pointerY < rect_.bottom;
    if (frame.PointerVisible) {
        frame.PointerX = state.pointerX - rect_.left - shapeInfo_.HotSpotX;
        frame.PointerY = state.pointerY - rect_.top - shapeInfo_.HotSpotY;
    }
    frame.PointerShapeBufferSize = shapeBytes;
    *info = frame;
    image->pBits = pixels_.data();
    image->Pitch = rect_.width() * 4;
    image->Width = static_cast<uint32_t>(rect_.width());
    image->Height = static_cast<uint32_t>(rect_.height());
    return S_OK;
}

HRESULT SyntheticOutputDuplication::GetFramePointerShape(uint32_t bufferSize, uint8_t* buffer,
                                                         uint32_t* requiredSize,
                                                         OutduplPointerShapeInfo* shapeInfo) {
    if (requiredSize == nullptr || shapeInfo == nullptr) return E_POINTER;
    if (!held_) return DXGI_ERROR_INVALID_CALL;
    *requiredSize = static_cast<uint32_t>(shape_.size());
    if (bufferSize < shape_.size() || buffer == nullptr) return DXGI_ERROR_MORE_DATA;
    std::memcpy(buffer, shape_.data(), shape_.size());
    *shapeInfo = shapeInfo_;
    return S_OK;
}

HRESULT SyntheticOutputDuplication::ReleaseFrame() {
    if (!held_) return DXGI_ERROR_INVALID_CALL;
    held_ = false;
    return S_OK;
}

}  // namespace tovrel::sim
