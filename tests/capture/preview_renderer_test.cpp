#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "capture/mf_manager.h"
#include "capture/offscreen_surface.h"
#include "capture/preview_geometry.h"
#include "platform/system/manual_clock.h"
#include "sim/video/simulated_video_source.h"

namespace tovrel::capture {
namespace {

using namespace platform;
using Rect = PreviewGeometry::Rect;

constexpr std::array<sim::SimVideoMode, 1> k1080p{{{sim::SimPixelFormat::Yuy2, 1920, 1080, 60, 1}}};
constexpr std::array<sim::SimVideoMode, 1> kSmall30{{{sim::SimPixelFormat::Yuy2, 64, 36, 30, 1}}};

uint32_t pixel(const PreviewImages::Image& image, int32_t x, int32_t y) {
    uint32_t value = 0;
    std::memcpy(&value, image.bgra + static_cast<int64_t>(y) * image.stride + x * 4, 4);
    return value;
}

bool isBlack(uint32_t bgra) { return (bgra & 0x00FFFFFF) == 0; }
bool isRed(uint32_t bgra) { return (bgra & 0x00FFFFFF) == 0x00FF0000; }

// A session on the simulated box with a picture of flat colour in bgraFrame, driven frame by
// frame on the test's thread as the render thread would.
struct RendererFixture : ::testing::Test {
    void open(std::span<const sim::SimVideoMode> modes, bool keepAspect, int32_t cw, int32_t ch) {
        surface.setClientSize(cw, ch);
        source = std::make_shared<sim::SimulatedVideoSource>(
            modes, sim::SimulatedVideoSource::Pacing::Stepped);
        ASSERT_EQ(
            manager.openSession(&surface, nullptr, source, false, keepAspect, 0, 0, 0, kFormatYuy2),
            S_OK);
        ASSERT_TRUE(manager.bgraFrame);
        const uint32_t grey = 0x00808080;
        auto* p = reinterpret_cast<uint32_t*>(manager.bgraFrame.get());
        std::fill(p, p + static_cast<size_t>(manager.bgraStride / 4) * manager.height, grey);
    }
    void present() {
        if (manager.keepAspect) {
            std::lock_guard lock(manager.frameLock);
            manager.presentD3D(manager.bgraFrame.get());
        } else {
            manager.presentD2D();
        }
    }
    const PreviewImages::Image* shown() {
        bool fresh = false;
        return surface.images().takeNewest(&fresh);
    }
    void TearDown() override { manager.closeSession(); }

    ManualClock clock{1000};
    MFManager manager{clock};
    OffscreenSurface surface;
    std::shared_ptr<sim::SimulatedVideoSource> source;
};

TEST(PreviewGeometryTest, LetterboxRoundsLikeMulDivAndTruncatesTheHalves) {
    EXPECT_EQ(PreviewGeometry::letterbox({0, 0, 1000, 1000}, 1920, 1080),
              (Rect{0, 218, 1000, 781}));
    EXPECT_EQ(PreviewGeometry::letterbox({0, 0, 2000, 500}, 1920, 1080), (Rect{555, 0, 1444, 500}));
    EXPECT_EQ(PreviewGeometry::letterbox({0, 0, 1920, 1080}, 1920, 1080), (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(PreviewGeometry::mulDiv(3, 1, 2), 2) << "halves round away from zero";
    EXPECT_EQ(PreviewGeometry::mulDiv(-3, 1, 2), -2);
    EXPECT_EQ(PreviewGeometry::mulDiv(5, 7, 0), -1);
    EXPECT_EQ(PreviewGeometry::mulDiv(INT32_MAX, 2, 2), INT32_MAX) << "64-bit intermediate";
    EXPECT_EQ(PreviewGeometry::targetExtent(1920, 2500), 1920u);
    EXPECT_EQ(PreviewGeometry::targetExtent(1920, 960), 960u);
}

TEST_F(RendererFixture, AspectKeepingDrawsBlackBarsWhereTheRulePutsThem) {
    open(k1080p, true, 1000, 1000);
    EXPECT_TRUE(manager.d3dDevice);
    EXPECT_FALSE(manager.d2dTarget) << "only one renderer set exists";
    EXPECT_EQ(manager.destRect, (Rect{0, 218, 1000, 781}));
    present();
    const auto* image = shown();
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width, 1000);
    ASSERT_EQ(image->height, 1000);
    EXPECT_TRUE(isBlack(pixel(*image, 500, 217)));
    EXPECT_FALSE(isBlack(pixel(*image, 500, 218)));
    EXPECT_FALSE(isBlack(pixel(*image, 500, 780)));
    EXPECT_TRUE(isBlack(pixel(*image, 500, 781)));
    EXPECT_TRUE(isBlack(pixel(*image, 0, 0)));
    EXPECT_TRUE(isBlack(pixel(*image, 999, 999)));
}

TEST_F(RendererFixture, AResizeRecomputesTheLetterboxForTheNewClientArea) {
    open(k1080p, true, 1000, 1000);
    surface.setClientSize(2000, 500);
    manager.resizeRenderer(2000, 500);
    EXPECT_EQ(manager.destRect, (Rect{555, 0, 1444, 500}));
    EXPECT_EQ(manager.d3dDevice->backBufferWidth, 2000);
    present();
    const auto* image = shown();
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width, 2000);
    EXPECT_TRUE(isBlack(pixel(*image, 554, 250)));
    EXPECT_FALSE(isBlack(pixel(*image, 555, 250)));
    EXPECT_FALSE(isBlack(pixel(*image, 1443, 250)));
    EXPECT_TRUE(isBlack(pixel(*image, 1444, 250)));
}

TEST_F(RendererFixture, StretchingFillsTheClientAreaAndItsTargetNeverExceedsTheVideo) {
    open(k1080p, false, 1000, 1000);
    EXPECT_TRUE(manager.d2dTarget);
    EXPECT_FALSE(manager.d3dDevice);
    manager.resizeRenderer(1000, 1000);
    EXPECT_EQ(manager.d2dTarget->pixelWidth, 1000u);
    EXPECT_EQ(manager.d2dTarget->pixelHeight, 1000u);
    surface.setClientSize(2500, 600);
    manager.resizeRenderer(2500, 600);
    EXPECT_EQ(manager.d2dTarget->pixelWidth, 1920u);
    EXPECT_EQ(manager.d2dTarget->pixelHeight, 600u);
    present();
    const auto* image = shown();
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width, 2500);
    ASSERT_EQ(image->height, 600);
    for (auto [x, y] : {std::pair{0, 0}, {2499, 0}, {0, 599}, {2499, 599}, {1250, 300}})
        EXPECT_EQ(pixel(*image, x, y) & 0x00FFFFFF, 0x00808080u) << x << "," << y;
}

TEST_F(RendererFixture, NothingIsDrawnWhileTheWindowIsNotExposed) {
    open(kSmall30, false, 64, 36);
    surface.setExposed(false);
    present();
    EXPECT_EQ(surface.ready.load(), 0);
    EXPECT_EQ(shown(), nullptr);
    surface.setExposed(true);
    present();
    EXPECT_EQ(surface.ready.load(), 1);
}

// Counts the frames with the red square over a few cycles at 30 frames per second.
std::vector<bool> blink(RendererFixture& f, int frames) {
    std::vector<bool> on;
    for (int i = 0; i < frames; ++i) {
        f.present();
        const auto* image = f.shown();
        on.push_back(image != nullptr && isRed(pixel(*image, 10, 10)) &&
                     isRed(pixel(*image, 29, 29)) && !isRed(pixel(*image, 30, 30)));
    }
    return on;
}

TEST_F(RendererFixture, TheStretchingIndicatorIsOnAbout30FramesAndOff31At30Fps) {
    open(kSmall30, false, 64, 36);
    manager.recording = true;
    const std::vector<bool> on = blink(*this, 61 * 3);
    // Counter values 0..60 per cycle; the square shows for 31..60.
    for (int cycle = 0; cycle < 3; ++cycle) {
        int count = 0;
        for (int i = 0; i < 61; ++i) count += on[cycle * 61 + i];
        EXPECT_EQ(count, 30) << "cycle " << cycle;
        EXPECT_FALSE(on[cycle * 61 + 30]);
        EXPECT_TRUE(on[cycle * 61 + 31]);
    }
    manager.recording = false;
    EXPECT_EQ(blink(*this, 1)[0], false);
}

TEST_F(RendererFixture, TheAspectKeepingIndicatorBlinksAndIsWipedWhenRecordingEnds) {
    open(kSmall30, true, 64, 36);
    manager.screenRecording = true;
    const std::vector<bool> on = blink(*this, 61);
    int count = 0;
    for (bool b : on) count += b;
    EXPECT_EQ(count, 29) << "value 60 paints the square black instead";
    manager.screenRecording = false;
    for (int i = 0; i < 40; ++i) blink(*this, 1);
    EXPECT_EQ(manager.indicatorCounter, 0);
}

TEST_F(RendererFixture, ClosingTheSessionReleasesTheRenderersButKeepsTheLastPicture) {
    open(kSmall30, false, 64, 36);
    present();
    manager.closeSession();
    EXPECT_FALSE(manager.d2dTarget);
    EXPECT_FALSE(manager.d3dDevice);
    bool fresh = false;
    EXPECT_NE(surface.images().takeNewest(&fresh), nullptr) << "the window keeps the last frame";
}

TEST(PreviewImagesTest, TheWriterNeverTouchesTheImageOnScreenOrTheNewest) {
    PreviewImages images;
    ASSERT_TRUE(images.reserve(8, 4));
    bool fresh = false;
    EXPECT_EQ(images.takeNewest(&fresh), nullptr);
    auto* a = images.beginWrite();
    images.publish(a);
    const auto* shownImage = images.takeNewest(&fresh);
    EXPECT_TRUE(fresh);
    EXPECT_EQ(shownImage->index, a->index);
    for (int i = 0; i < 10; ++i) {
        auto* w = images.beginWrite();
        ASSERT_NE(w, nullptr);
        EXPECT_NE(w->index, images.onScreen()->index);
        images.publish(w);
        auto* w2 = images.beginWrite();
        EXPECT_NE(w2->index, w->index) << "the newest is not overwritten before it is shown";
        EXPECT_NE(w2->index, images.onScreen()->index);
        images.publish(w2);
        images.takeNewest(&fresh);
        EXPECT_EQ(images.onScreen()->index, w2->index) << "the newest wins";
    }
    const int64_t held = images.bytesHeld();
    ASSERT_TRUE(images.reserve(4, 4));
    EXPECT_EQ(images.bytesHeld(), held) << "shrinking keeps the memory";
    EXPECT_EQ(images.onScreen(), nullptr);
}

}  // namespace
}  // namespace tovrel::capture
