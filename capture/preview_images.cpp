#include "capture/preview_images.h"

#include "imaging/aligned_alloc.h"

namespace tovrel::capture {

void PreviewImages::Freer::operator()(uint8_t* block) const { imaging::alignedFree(block); }

PreviewImages::PreviewImages() {
    for (int i = 0; i < kImageCount; ++i) images_[i].index = i;
}

PreviewImages::~PreviewImages() = default;

bool PreviewImages::reserve(int32_t width, int32_t height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    std::lock_guard lock(mutex_);
    if (width == width_ && height == height_ && (capacity_ > 0 || width == 0 || height == 0))
        return true;
    const int64_t stride = static_cast<int64_t>(width) * 4;
    const int64_t bytes = stride * height;
    if (bytes > capacity_) {
        for (auto& block : blocks_) block.reset();
        capacity_ = 0;
        for (auto& block : blocks_) {
            block.reset(static_cast<uint8_t*>(imaging::alignedAlloc(bytes)));
            if (!block) {
                for (auto& b : blocks_) b.reset();
                width_ = height_ = 0;
                newest_ = shown_ = -1;
                for (auto& image : images_) image = Image{nullptr, 0, 0, 0, image.index};
                return false;
            }
        }
        capacity_ = bytes;
    }
    width_ = width;
    height_ = height;
    for (int i = 0; i < kImageCount; ++i) {
        images_[i] = Image{blocks_[i].get(), static_cast<int32_t>(stride), width, height, i};
    }
    newest_ = shown_ = -1;
    return true;
}

PreviewImages::Image* PreviewImages::beginWrite() {
    std::lock_guard lock(mutex_);
    if (capacity_ == 0) return nullptr;
    for (int i = 0; i < kImageCount; ++i) {
        if (i != newest_ && i != shown_) {
            writing_ = i;
            return &images_[i];
        }
    }
    return nullptr;
}

void PreviewImages::publish(Image* image) {
    if (image == nullptr) return;
    std::lock_guard lock(mutex_);
    if (image->index == writing_) newest_ = writing_;
    writing_ = -1;
}

const PreviewImages::Image* PreviewImages::takeNewest(bool* fresh) {
    std::lock_guard lock(mutex_);
    *fresh = false;
    if (newest_ >= 0) {
        shown_ = newest_;
        newest_ = -1;
        *fresh = true;
    }
    return shown_ >= 0 ? &images_[shown_] : nullptr;
}

const PreviewImages::Image* PreviewImages::onScreen() const {
    std::lock_guard lock(mutex_);
    return shown_ >= 0 ? &images_[shown_] : nullptr;
}

void PreviewImages::clear() {
    std::lock_guard lock(mutex_);
    newest_ = shown_ = -1;
}

}  // namespace tovrel::capture
