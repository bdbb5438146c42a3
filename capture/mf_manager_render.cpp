#include <algorithm>
#include <cstring>
#include <new>

#include "capture/mf_manager.h"

// The two preview renderers. Both draw the frame at the window's pixel size into one of the
// surface's images; the window puts it on screen unscaled.

namespace tovrel::capture {

using namespace platform;

namespace {

constexpr PreviewGeometry::Rect kIndicatorRect{10, 10, 30, 30};
constexpr uint32_t kIndicatorRed = 0xFFFF0000;  // A R G B, stored B G R A
constexpr uint32_t kBlack = 0xFF000000;

void fill(PreviewImages::Image& image, PreviewGeometry::Rect rect, uint32_t argb) {
    const int32_t left = std::max(rect.left, 0);
    const int32_t top = std::max(rect.top, 0);
    const int32_t right = std::min(rect.right, image.width);
    const int32_t bottom = std::min(rect.bottom, image.height);
    if (left >= right || top >= bottom) return;
    for (int32_t y = top; y < bottom; ++y) {
        auto* row =
            reinterpret_cast<uint32_t*>(image.bgra + static_cast<int64_t>(y) * image.stride);
        std::fill(row + left, row + right, argb);
    }
}

}  // namespace

void MFManager::drawIndicator(PreviewImages::Image& image, uint32_t argb) const {
    fill(image, kIndicatorRect, argb);
}

HRESULT MFManager::createD2DTarget() {
    if (window == nullptr) return E_POINTER;
    auto target = std::unique_ptr<StretchTarget>(new (std::nothrow) StretchTarget);
    if (!target) return E_OUTOFMEMORY;
    // Created at the video's size; the first resize brings it to the client area's.
    target->pixelWidth = width;
    target->pixelHeight = height;
    const PreviewSurface::ClientSize client = window->clientSize();
    {
        std::lock_guard lock(frameLock);
        target->scaler.prepare(static_cast<int32_t>(width), static_cast<int32_t>(height),
                               client.width, client.height);
        window->images().reserve(client.width, client.height);
        d2dTarget = std::move(target);
    }
    return S_OK;
}

void MFManager::presentD2D() {
    if (!d2dTarget || window == nullptr || !window->exposed()) return;
    std::lock_guard lock(frameLock);
    if (!d2dTarget || !bgraFrame || width == 0 || height == 0) return;
    if (!window->exposed()) return;
    PreviewImages& images = window->images();
    PreviewImages::Image* image = images.beginWrite();
    if (image == nullptr) return;
    const FrameScaler& scaler = d2dTarget->scaler;
    if (image->width != scaler.dstWidth() || image->height != scaler.dstHeight() ||
        !scaler.scale(bgraFrame.get(), bgraStride, image->bgra, image->stride)) {
        return;  // the next frame tries again
    }
    if (recording || screenRecording) {
        if (static_cast<float>(indicatorCounter) > frameRate) drawIndicator(*image, kIndicatorRed);
        if (indicatorCounter >= 2.0f * frameRate)
            indicatorCounter = 0;
        else
            ++indicatorCounter;
    }
    images.publish(image);
    window->imageReady();
}

HRESULT MFManager::createD3DPresenter() {
    if (window == nullptr) return E_POINTER;
    auto device = std::unique_ptr<AspectPresenter>(new (std::nothrow) AspectPresenter);
    if (!device) return E_OUTOFMEMORY;
    // The back buffer takes the client area's size, as a device created with size 0 does.
    const PreviewSurface::ClientSize client = window->clientSize();
    device->backBufferWidth = client.width;
    device->backBufferHeight = client.height;
    std::lock_guard lock(frameLock);
    if (!window->images().reserve(client.width, client.height)) return E_OUTOFMEMORY;
    d3dDevice = std::move(device);
    computeDestRect();
    return S_OK;
}

void MFManager::computeDestRect() {
    if (window == nullptr) return;
    std::lock_guard lock(frameLock);
    const PreviewSurface::ClientSize client = window->clientSize();
    destRect =
        PreviewGeometry::letterbox(PreviewGeometry::Rect{0, 0, client.width, client.height},
                                   static_cast<int32_t>(width), static_cast<int32_t>(height));
    if (d3dDevice) {
        d3dDevice->scaler.prepare(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                  destRect.width(), destRect.height());
    }
}

HRESULT MFManager::resetD3DPresenter() {
    std::lock_guard lock(frameLock);
    d3dResetting = true;
    HRESULT hr = S_OK;
    if (d3dDevice && window != nullptr) {
        // The back buffer and the letterbox follow the new client size: keeping the creation
        // size would stretch the letterboxed picture out of its proportions after a resize.
        const PreviewSurface::ClientSize client = window->clientSize();
        if (window->images().reserve(client.width, client.height)) {
            d3dDevice->backBufferWidth = client.width;
            d3dDevice->backBufferHeight = client.height;
            computeDestRect();
        } else {
            hr = E_OUTOFMEMORY;
            d3dDevice.reset();
        }
    }
    if (!d3dDevice) {
        HRESULT created = createD3DPresenter();
        if (SUCCEEDED(hr)) hr = created;
    }
    d3dResetting = false;
    return hr;
}

HRESULT MFManager::presentD3D(const uint8_t* frame) {
    if (!d3dDevice || d3dResetting || window == nullptr || frame == nullptr) return S_OK;
    std::lock_guard lock(frameLock);
    if (!d3dDevice || !window->exposed()) return S_OK;
    PreviewImages& images = window->images();
    PreviewImages::Image* image = images.beginWrite();
    if (image == nullptr) return E_FAIL;
    if (image->width != d3dDevice->backBufferWidth || image->height != d3dDevice->backBufferHeight)
        return E_FAIL;
    // Black around the picture; the picture covers the rest.
    const PreviewGeometry::Rect r = destRect;
    fill(*image, {0, 0, image->width, r.top}, kBlack);
    fill(*image, {0, r.bottom, image->width, image->height}, kBlack);
    fill(*image, {0, r.top, r.left, r.bottom}, kBlack);
    fill(*image, {r.right, r.top, image->width, r.bottom}, kBlack);
    if (r.width() > 0 && r.height() > 0) {
        uint8_t* at = image->bgra + static_cast<int64_t>(r.top) * image->stride + r.left * 4;
        if (!d3dDevice->scaler.scale(frame, bgraStride, at, image->stride)) return E_FAIL;
    }
    if (recording || screenRecording) {
        if (static_cast<float>(indicatorCounter) > frameRate) drawIndicator(*image, kIndicatorRed);
        if (static_cast<float>(indicatorCounter) == 2.0f * frameRate) drawIndicator(*image, kBlack);
        if (indicatorCounter >= 2.0f * frameRate)
            indicatorCounter = 0;
        else
            ++indicatorCounter;
    } else if (static_cast<float>(indicatorCounter) > frameRate) {
        drawIndicator(*image, kBlack);
        indicatorCounter = 0;
    }
    images.publish(image);
    window->imageReady();
    return S_OK;
}

void MFManager::resizeRenderer(uint32_t clientWidth, uint32_t clientHeight) {
    TOVREL_CHECK_THREAD(guiThread);
    if (!sessionOpen) return;
    if (keepAspect) {
        resetD3DPresenter();
    } else if (d2dTarget) {
        std::lock_guard lock(frameLock);
        d2dTarget->pixelWidth = PreviewGeometry::targetExtent(width, clientWidth);
        d2dTarget->pixelHeight = PreviewGeometry::targetExtent(height, clientHeight);
        const auto w = static_cast<int32_t>(std::min<uint32_t>(clientWidth, INT32_MAX));
        const auto h = static_cast<int32_t>(std::min<uint32_t>(clientHeight, INT32_MAX));
        d2dTarget->scaler.prepare(static_cast<int32_t>(width), static_cast<int32_t>(height), w, h);
        if (window != nullptr) window->images().reserve(w, h);
    }
}

}  // namespace tovrel::capture
