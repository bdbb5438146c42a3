#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tovrel::capture {

// The three window-sized BGRA images between the render thread and the GUI thread: the render
// thread draws the next picture into one that is neither the newest nor the one on screen, the
// GUI thread puts the newest finished one on screen. So neither waits for the other and the
// newest picture always wins; nothing is allocated per frame.
// reserve(): GUI thread, while no render-thread present runs (the caller holds frameLock).
// beginWrite()/publish(): render thread. takeNewest()/onScreen(): GUI thread.
class PreviewImages {
  public:
    static constexpr int kImageCount = 3;

    struct Image {
        uint8_t* bgra = nullptr;
        int32_t stride = 0;
        int32_t width = 0;
        int32_t height = 0;
        int index = -1;
    };

    PreviewImages();
    ~PreviewImages();
    PreviewImages(const PreviewImages&) = delete;
    PreviewImages& operator=(const PreviewImages&) = delete;

    // Gives every image this size, allocating only when it exceeds what is held. Images of
    // another size are dropped from the screen. False when the memory cannot be had (the images
    // are then empty and nothing is drawn).
    bool reserve(int32_t width, int32_t height);
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    // An image free for drawing, or null when none is reserved.
    Image* beginWrite();
    // The drawn image becomes the newest.
    void publish(Image* image);

    // Puts the newest published image on screen, if one came since the last call; returns the
    // image on screen (null before the first). *fresh tells whether it changed.
    const Image* takeNewest(bool* fresh);
    const Image* onScreen() const;
    // Drops the pictures (the next frame brings a new one).
    void clear();

    // Images reserved so far and bytes held; tests and the benchmark read them.
    int64_t bytesHeld() const { return capacity_ * kImageCount; }

  private:
    struct Freer {
        void operator()(uint8_t* block) const;
    };

    std::array<std::unique_ptr<uint8_t, Freer>, kImageCount> blocks_;
    std::array<Image, kImageCount> images_;
    int64_t capacity_ = 0;  // bytes of each block
    int32_t width_ = 0;
    int32_t height_ = 0;
    mutable std::mutex mutex_;  // guards the two indices
    int newest_ = -1;
    int shown_ = -1;
    int writing_ = -1;
};

}  // namespace tovrel::capture
