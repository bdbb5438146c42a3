#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/system/hresult.h"

namespace tovrel::platform {

// Result codes of the desktop duplication, with the platform's values.
constexpr HRESULT DXGI_ERROR_INVALID_CALL = static_cast<HRESULT>(0x887A0001u);
constexpr HRESULT DXGI_ERROR_NOT_FOUND = static_cast<HRESULT>(0x887A0002u);
constexpr HRESULT DXGI_ERROR_MORE_DATA = static_cast<HRESULT>(0x887A0003u);
constexpr HRESULT DXGI_ERROR_UNSUPPORTED = static_cast<HRESULT>(0x887A0004u);
constexpr HRESULT DXGI_ERROR_ACCESS_LOST = static_cast<HRESULT>(0x887A0026u);
constexpr HRESULT DXGI_ERROR_WAIT_TIMEOUT = static_cast<HRESULT>(0x887A0027u);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);

// Pointer shape types.
constexpr uint32_t DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MONOCHROME = 1;
constexpr uint32_t DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR = 2;
constexpr uint32_t DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MASKED_COLOR = 4;

constexpr uint32_t DXGI_MODE_ROTATION_UNSPECIFIED = 0;
constexpr uint32_t DXGI_MODE_ROTATION_IDENTITY = 1;

// A rectangle of the desktop in pixels, right and bottom exclusive.
struct DesktopRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
};

// One output (monitor) of the desktop as its description gives it. `Primary` stands in for the
// monitor information's primary flag. Plain value.
struct OutputDesc {
    std::string DeviceName;
    DesktopRect DesktopCoordinates;
    bool AttachedToDesktop = false;
    bool Primary = false;
    // The duplicated image always comes in desktop orientation on the backends here; the field
    // says how the monitor itself is turned.
    uint32_t Rotation = DXGI_MODE_ROTATION_IDENTITY;
};

// The pointer shape of the last GetFramePointerShape. Monochrome: Height counts the AND and the
// XOR mask together, one bit per pixel, Pitch bytes a row. Colour: 32-bit B, G, R, A with the
// colour premultiplied by A. Masked colour: 32-bit, the top byte a mask. The hot spot is the
// pixel of the shape that points, counted from its top-left pixel.
struct OutduplPointerShapeInfo {
    uint32_t Type = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t Pitch = 0;
    int32_t HotSpotX = 0;
    int32_t HotSpotY = 0;
};

// What one acquisition reports. The pointer position is that of the shape's top-left pixel
// relative to the output, reported whenever the pointer is visible on it;
// PointerShapeBufferSize is non-zero when the shape changed since the last acquisition.
struct OutduplFrameInfo {
    uint32_t AccumulatedFrames = 0;  // desktop updates folded into this frame (0: pointer only)
    bool PointerVisible = false;
    int32_t PointerX = 0;
    int32_t PointerY = 0;
    uint32_t PointerShapeBufferSize = 0;
};

// The desktop image of an acquired frame: Height rows of Width 4-byte pixels (B, G, R, and a
// fourth byte of no meaning), Pitch bytes apart, top row first. Valid until ReleaseFrame.
struct MappedDesktop {
    const uint8_t* pBits = nullptr;
    int32_t Pitch = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
};

// The duplication of one output: the next desktop frame on demand, with the pointer's place and
// shape, as the platform's output duplication gives them. One caller at a time (the users
// serialise it under the capture manager's screenCaptureLock); any thread.
class OutputDuplication {
  public:
    virtual ~OutputDuplication() = default;

    // The output's description now (its size follows a mode change). S_OK;
    // DXGI_ERROR_ACCESS_LOST when the output went away.
    virtual HRESULT GetDesc(OutputDesc* desc) = 0;
    // Waits up to timeoutMs for the desktop or the pointer to change. S_OK with a new frame in
    // `image` (the whole desktop, also when only the pointer moved); DXGI_ERROR_WAIT_TIMEOUT
    // when nothing changed (the out arguments are left as they were); DXGI_ERROR_ACCESS_LOST
    // once the output changed size or went away, on every call until a new duplication is made;
    // E_ACCESSDENIED when the desktop may not be read; DXGI_ERROR_INVALID_CALL while a frame is
    // held; E_FAIL for a failing call of the platform (logged).
    virtual HRESULT AcquireNextFrame(uint32_t timeoutMs, OutduplFrameInfo* info,
                                     MappedDesktop* image) = 0;
    // The current shape into `buffer` of bufferSize bytes; `requiredSize` is set to its size.
    // S_OK; DXGI_ERROR_MORE_DATA when the buffer is too small (nothing copied);
    // DXGI_ERROR_INVALID_CALL without a held frame.
    virtual HRESULT GetFramePointerShape(uint32_t bufferSize, uint8_t* buffer,
                                         uint32_t* requiredSize,
                                         OutduplPointerShapeInfo* shapeInfo) = 0;
    // Gives the frame back; S_OK, DXGI_ERROR_INVALID_CALL when none is held.
    virtual HRESULT ReleaseFrame() = 0;
};

// The desktop's outputs and their duplications (the DXGI factory and adapters in one).
// Any thread; each call is independent.
class DesktopDuplication {
  public:
    virtual ~DesktopDuplication() = default;

    // "x11", "synthetic", ...: which desktop this is, for the debug output.
    virtual std::string name() const = 0;
    // Every output in the platform's order, attached or not. S_OK (possibly none); E_FAIL when
    // the desktop cannot be asked.
    virtual HRESULT EnumOutputs(std::vector<OutputDesc>* outputs) = 0;
    // A duplication of the named output. S_OK; DXGI_ERROR_NOT_FOUND for an unknown or detached
    // output; E_ACCESSDENIED; DXGI_ERROR_UNSUPPORTED for a desktop whose pixels are not 32-bit.
    virtual HRESULT DuplicateOutput(const std::string& deviceName,
                                    std::unique_ptr<OutputDuplication>* duplication) = 0;
};

}  // namespace tovrel::platform
