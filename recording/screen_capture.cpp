#include "recording/screen_capture.h"

#include <cstring>
#include <string>

#include "imaging/aligned_alloc.h"
#include "platform/system/debug_output.h"
#include "recording/pointer_drawing.h"

namespace tovrel::recording {

using namespace platform;

void ScreenCapture::Freer::operator()(uint8_t* block) const { imaging::alignedFree(block); }

ScreenCapture::ScreenCapture(DesktopDuplication& desktop, Clock& clock)
    : desktop_(desktop), clock_(clock) {}

ScreenCapture::~ScreenCapture() {
    frameBuffer.reset();
    ReleaseOutputs();
}

void ScreenCapture::ReleaseOutputs() {
    currentOutput = nullptr;
    outputs.clear();
    outputCount = 0;
}

void ScreenCapture::EnumerateOutputs() {
    ReleaseOutputs();
    std::vector<OutputDesc> found;
    if (FAILED(desktop_.EnumOutputs(&found))) return;
    for (const OutputDesc& desc : found) {
        if (!desc.AttachedToDesktop) continue;
        if (outputs.size() == kMaxOutputs) {
            outputDebugString("Screen: more than 100 outputs; the rest are left out");
            break;
        }
        std::unique_ptr<OutputDuplication> duplication;
        if (desktop_.DuplicateOutput(desc.DeviceName, &duplication) != S_OK || !duplication)
            continue;
        auto output = std::make_unique<DuplicatedOutput>();
        output->desc = desc;
        output->duplication = std::move(duplication);
        outputs.push_back(std::move(output));
    }
    outputCount = static_cast<uint32_t>(outputs.size());
}

bool ScreenCapture::chooseOutput() {
    EnumerateOutputs();
    currentOutput = nullptr;
    if (preferredOutput != 0 && preferredOutput <= outputCount) {
        currentOutput = outputs[preferredOutput - 1].get();
    } else {
        for (const auto& output : outputs) {
            if (output->desc.Primary) {
                currentOutput = output.get();
                break;
            }
        }
    }
    return currentOutput != nullptr;
}

bool ScreenCapture::SelectOutput() {
    for (uint32_t attempt = 1; attempt <= kSelectAttempts; ++attempt) {
        if (chooseOutput()) return true;
        clock_.sleep(kSelectPauseMs);
    }
    outputDebugString("Screen: no desktop output could be chosen on the " + desktop_.name() +
                      " desktop");
    return false;
}

bool ScreenCapture::ReadOutputSize() {
    if (currentOutput == nullptr) return false;
    OutputDesc desc;
    if (FAILED(currentOutput->duplication->GetDesc(&desc))) return false;
    width = static_cast<uint32_t>(desc.DesktopCoordinates.width());
    height = static_cast<uint32_t>(desc.DesktopCoordinates.height());
    return true;
}

int ScreenCapture::failure(HRESULT hr) {
    if (hr == DXGI_ERROR_WAIT_TIMEOUT) return kNoNewFrame;
    if (hr == E_ACCESSDENIED) return kAccessDenied;
    const bool chosen = SelectOutput();
    if (hr == DXGI_ERROR_ACCESS_LOST) return chosen ? kReselected : kNoOutput;
    return kOtherFailure;
}

int ScreenCapture::AcquireFrame(uint8_t** buffer, uint32_t* size) {
    return AcquireFrame(buffer, size, acquireTimeout);
}

int ScreenCapture::AcquireFrame(uint8_t** buffer, uint32_t* size, uint32_t timeoutMs) {
    if (currentOutput == nullptr) return chooseOutput() ? kReselected : kNoOutput;
    DuplicatedOutput& output = *currentOutput;
    OutduplFrameInfo info;
    MappedDesktop image;
    HRESULT hr = output.duplication->AcquireNextFrame(timeoutMs, &info, &image);
    if (FAILED(hr)) return failure(hr);

    if (info.PointerShapeBufferSize != 0) {
        if (info.PointerShapeBufferSize > output.shapeBuffer.size())
            output.shapeBuffer.resize(info.PointerShapeBufferSize);
        uint32_t required = 0;
        OutduplPointerShapeInfo shape;
        if (SUCCEEDED(output.duplication->GetFramePointerShape(
                static_cast<uint32_t>(output.shapeBuffer.size()), output.shapeBuffer.data(),
                &required, &shape))) {
            output.shapeInfo = shape;
        }
        output.shapeBufferSize = info.PointerShapeBufferSize;
    }
    // A pointer on another output keeps its last place here.
    if (info.PointerVisible) {
        output.pointerX = info.PointerX;
        output.pointerY = info.PointerY;
    }

    const uint64_t bytes = static_cast<uint64_t>(image.Width) * image.Height * 4;
    if (image.pBits == nullptr || bytes == 0 || bytes > UINT32_MAX) {
        output.duplication->ReleaseFrame();
        return kOtherFailure;
    }
    width = image.Width;
    height = image.Height;
    if (bytes != frameBufferSize || !frameBuffer) {
        frameBuffer.reset();
        frameBufferSize = 0;
        frameBuffer.reset(
            static_cast<uint8_t*>(imaging::alignedAlloc(static_cast<int64_t>(bytes))));
        if (!frameBuffer) {
            output.duplication->ReleaseFrame();
            return kOtherFailure;
        }
        frameBufferSize = static_cast<uint32_t>(bytes);
    }
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    if (static_cast<size_t>(image.Pitch) == rowBytes) {
        std::memcpy(frameBuffer.get(), image.pBits, bytes);
    } else {
        for (uint32_t row = 0; row < height; ++row) {
            std::memcpy(frameBuffer.get() + row * rowBytes,
                        image.pBits + static_cast<size_t>(row) * image.Pitch, rowBytes);
        }
    }
    output.duplication->ReleaseFrame();
    DrawPointer(frameBuffer.get(), width, height);
    ++framesDelivered_;
    if (buffer != nullptr) *buffer = frameBuffer.get();
    if (size != nullptr) *size = frameBufferSize;
    return kNewFrame;
}

void ScreenCapture::DrawPointer(uint8_t* buffer, uint32_t w, uint32_t h) const {
    if (currentOutput == nullptr || currentOutput->shapeBufferSize == 0) return;
    drawPointerShape(buffer, w, h, currentOutput->shapeInfo, currentOutput->shapeBuffer.data(),
                     currentOutput->pointerX, currentOutput->pointerY);
}

}  // namespace tovrel::recording
