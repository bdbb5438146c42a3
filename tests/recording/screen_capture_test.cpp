#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/system/manual_clock.h"
#include "recording/pointer_drawing.h"
#include "recording/screen_capture.h"
#include "sim/screen/synthetic_desktop.h"

namespace tovrel::recording {
namespace {

using platform::ManualClock;
using sim::SyntheticDesktop;

constexpr int32_t kPrimaryLeft = 1280;  // SIM-2, the synthetic desktop's primary

uint32_t pixelAt(const uint8_t* frame, uint32_t width, int x, int y) {
    uint32_t value;
    std::memcpy(&value, frame + (static_cast<size_t>(y) * width + x) * 4, 4);
    return value;
}

struct ScreenCaptureTest : ::testing::Test {
    SyntheticDesktop desktop{SyntheticDesktop::Motion::kStatic};
    ManualClock clock;
    ScreenCapture capture{desktop, clock};
};

TEST_F(ScreenCaptureTest, ChoosesThePrimaryOutputThoughItIsNotFirst) {
    ASSERT_TRUE(capture.SelectOutput());
    EXPECT_EQ(capture.outputCount, 2u);  // the detached third output is left out
    ASSERT_NE(capture.currentOutput, nullptr);
    EXPECT_EQ(capture.currentOutput->desc.DeviceName, "SIM-2");
    EXPECT_EQ(clock.totalSleptMs(), 0u);

    capture.preferredOutput = 1;
    ASSERT_TRUE(capture.SelectOutput());
    EXPECT_EQ(capture.currentOutput->desc.DeviceName, "SIM-1");
}

TEST_F(ScreenCaptureTest, NoOutputFailsAfterFourAttemptsAndLeavesNoCurrentOutput) {
    desktop.setAttached(false);
    EXPECT_FALSE(capture.SelectOutput());
    EXPECT_EQ(clock.totalSleptMs(), 1600u);
    EXPECT_EQ(capture.currentOutput, nullptr);
    // Acquiring then is an answer, not a crash; an output that came back is found again.
    uint8_t* buffer = reinterpret_cast<uint8_t*>(0x1);
    uint32_t size = 7;
    EXPECT_EQ(capture.AcquireFrame(&buffer, &size), ScreenCapture::kNoOutput);
    EXPECT_EQ(buffer, reinterpret_cast<uint8_t*>(0x1));
    EXPECT_EQ(size, 7u);
    desktop.setAttached(true);
    EXPECT_EQ(capture.AcquireFrame(&buffer, &size), ScreenCapture::kReselected);
    EXPECT_EQ(capture.AcquireFrame(&buffer, &size), ScreenCapture::kNewFrame);
}

TEST_F(ScreenCaptureTest, ResultCodesOfAcquisitionFollowTheDesktop) {
    ASSERT_TRUE(capture.SelectOutput());
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(capture.AcquireFrame(&buffer, &size), ScreenCapture::kNewFrame);
    EXPECT_EQ(buffer, capture.frameBuffer.get());
    EXPECT_EQ(size, 1920u * 1080 * 4);
    EXPECT_EQ(capture.width, 1920u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % 16, 0u);
    // The pattern at the output's own place on the desktop (the pointer is elsewhere).
    EXPECT_EQ(
        pixelAt(buffer, 1920, 500, 700) & 0xFFFFFF,
        SyntheticDesktop::patternPixel(kPrimaryLeft + 500, 700, desktop.pattern()) & 0xFFFFFF);

    // Nothing changed: code 4, the out arguments as they were.
    uint8_t* untouched = reinterpret_cast<uint8_t*>(0x10);
    uint32_t untouchedSize = 3;
    EXPECT_EQ(capture.AcquireFrame(&untouched, &untouchedSize), ScreenCapture::kNoNewFrame);
    EXPECT_EQ(untouched, reinterpret_cast<uint8_t*>(0x10));
    EXPECT_EQ(untouchedSize, 3u);

    // A size change: code 2 once, then frames of the new size in a new buffer.
    ASSERT_TRUE(desktop.resizeOutput("SIM-2", 2560, 1440));
    EXPECT_EQ(capture.AcquireFrame(&buffer, &size), ScreenCapture::kReselected);
    EXPECT_EQ(size, 1920u * 1080 * 4);
    EXPECT_EQ(capture.AcquireFrame(&buffer, &size), ScreenCapture::kNewFrame);
    EXPECT_EQ(size, 2560u * 1440 * 4);
    EXPECT_EQ(capture.frameBufferSize, size);
    EXPECT_EQ(capture.width, 2560u);
    EXPECT_EQ(capture.height, 1440u);

    desktop.setAccessDenied(true);
    desktop.redraw();
    EXPECT_EQ(capture.AcquireFrame(&buffer, &size), ScreenCapture::kAccessDenied);
    EXPECT_EQ(capture.outputCount, 2u);  // access denied chooses nothing again
}

// The hot spot of every shape lands on the pointer's pixel: what the shape has there shows there.
TEST_F(ScreenCaptureTest, EachPointerShapeIsDrawnWithItsHotSpotOnThePointer) {
    ASSERT_TRUE(capture.SelectOutput());
    struct Case {
        SyntheticDesktop::Pointer pointer;
        const char* name;
    };
    for (const Case& c : {Case{SyntheticDesktop::Pointer::kArrow, "arrow"},
                          Case{SyntheticDesktop::Pointer::kCross, "cross"},
                          Case{SyntheticDesktop::Pointer::kIBeam, "I-beam"},
                          Case{SyntheticDesktop::Pointer::kMasked, "masked"}}) {
        SCOPED_TRACE(c.name);
        const int x = 640;
        const int y = 360;
        desktop.setPointer(c.pointer);
        desktop.movePointer(kPrimaryLeft + x, y);
        desktop.redraw();
        uint8_t* frame = nullptr;
        uint32_t size = 0;
        ASSERT_EQ(capture.AcquireFrame(&frame, &size), ScreenCapture::kNewFrame);
        const uint32_t under =
            SyntheticDesktop::patternPixel(kPrimaryLeft + x, y, desktop.pattern());
        const uint32_t shown = pixelAt(frame, 1920, x, y) & 0xFFFFFF;
        switch (c.pointer) {
            case SyntheticDesktop::Pointer::kArrow:
                EXPECT_EQ(shown, 0x000000u);  // the tip of the black outline
                EXPECT_EQ(pixelAt(frame, 1920, x + 1, y + 3) & 0xFFFFFF, 0xFFFFFFu);  // body
                break;
            case SyntheticDesktop::Pointer::kCross: {
                EXPECT_EQ(shown, 0xFF0000u);  // the red centre
                // A half-covered arm pixel: premultiplied grey over the desktop.
                const uint32_t desk =
                    SyntheticDesktop::patternPixel(kPrimaryLeft + x + 3, y, desktop.pattern());
                const uint32_t arm = pixelAt(frame, 1920, x + 3, y);
                for (int shift = 0; shift < 24; shift += 8) {
                    const uint32_t d = (desk >> shift) & 0xFF;
                    EXPECT_EQ((arm >> shift) & 0xFF, 0x40 + (d * 127 + 127) / 255);
                }
                break;
            }
            case SyntheticDesktop::Pointer::kIBeam:
                EXPECT_EQ(shown, (under ^ 0xFFFFFFu) & 0xFFFFFF);  // the inverting stem
                break;
            case SyntheticDesktop::Pointer::kMasked:
                EXPECT_EQ(shown, 0x00FF00u);
                break;
        }
        // Far from the pointer the desktop is untouched.
        EXPECT_EQ(pixelAt(frame, 1920, x + 40, y + 40) & 0xFFFFFF,
                  SyntheticDesktop::patternPixel(kPrimaryLeft + x + 40, y + 40, desktop.pattern()) &
                      0xFFFFFF);
    }
}

TEST(PointerDrawing, AMonochromeIBeamHalfOutsideTheLeftEdgeKeepsItsMaskBits) {
    platform::OutduplPointerShapeInfo shape;
    std::vector<uint8_t> bytes;
    SyntheticDesktop::pointerShape(SyntheticDesktop::Pointer::kIBeam, &shape, &bytes);
    constexpr uint32_t w = 16, h = 24;
    std::vector<uint32_t> frame(w * h, 0x7F102030u);
    // Shape columns 0..3 lie left of the frame; column 4 (the stem) lands on frame column 0.
    drawPointerShape(reinterpret_cast<uint8_t*>(frame.data()), w, h, shape, bytes.data(), -4, 2);
    // Serif row: white, alpha byte kept; stem rows: inverted; beside the stem: unchanged.
    for (uint32_t col = 0; col < 5; ++col) EXPECT_EQ(frame[2 * w + col], 0x7FFFFFFFu) << col;
    EXPECT_EQ(frame[5 * w + 0], 0x7F102030u ^ 0x00FFFFFFu);
    for (uint32_t col = 1; col < 5; ++col) EXPECT_EQ(frame[5 * w + col], 0x7F102030u) << col;
    EXPECT_EQ(frame[5 * w + 5], 0x7F102030u);  // past the shape's right edge
    EXPECT_EQ(frame[1 * w + 0], 0x7F102030u);  // above it
}

// Skipping black shape pixels, as a masked shape's pixels are skipped, would erase the outline
// that makes the arrow visible on white; blending by alpha keeps it.
TEST(PointerDrawing, AColourArrowKeepsItsBlackOutlineOnWhiteAndClipsAtTheCorner) {
    platform::OutduplPointerShapeInfo shape;
    std::vector<uint8_t> bytes;
    SyntheticDesktop::pointerShape(SyntheticDesktop::Pointer::kArrow, &shape, &bytes);
    constexpr uint32_t w = 8, h = 8;
    std::vector<uint32_t> frame(w * h, 0xFFFFFFFFu);
    drawPointerShape(reinterpret_cast<uint8_t*>(frame.data()), w, h, shape, bytes.data(), 2, 2);
    EXPECT_EQ(frame[2 * w + 2], 0xFF000000u);  // the tip
    EXPECT_EQ(frame[7 * w + 2], 0xFF000000u);  // the left edge at the frame's last row
    EXPECT_EQ(frame[5 * w + 5], 0xFF000000u);  // the diagonal
    EXPECT_EQ(frame[6 * w + 4], 0xFFFFFFFFu);  // the body
    EXPECT_EQ(frame[2 * w + 3], 0xFFFFFFFFu);  // transparent beside the tip
}

}  // namespace
}  // namespace tovrel::recording
