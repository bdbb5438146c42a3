#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/screen/x11_desktop.h"
#include "platform/system/clock.h"
#include "recording/screen_capture.h"
#include "sim/screen/synthetic_desktop.h"
#include "x_display_bed.h"

// One contract for every desktop duplication: the synthetic desktop always, the X server's when
// the test display runs.
namespace tovrel::platform {
namespace {

// What a case does to the desktop under test, and what it then expects to read.
class DesktopDriver {
  public:
    struct Pixel {
        int x = 0;  // relative to the primary output
        int y = 0;
        uint32_t bgr = 0;  // 0xRRGGBB as B, G, R bytes of the image
    };
    virtual ~DesktopDriver() = default;
    virtual DesktopDuplication& desktop() = 0;
    // Something on the primary output changes; one pixel it now shows.
    virtual Pixel draw() = 0;
    // The pointer to (x, y) of the desktop.
    virtual void movePointer(int x, int y) = 0;
    // The primary output's new size; false when this desktop cannot change it.
    virtual bool resize(int width, int height) = 0;
};

class SyntheticDriver final : public DesktopDriver {
  public:
    DesktopDuplication& desktop() override { return desktop_; }
    Pixel draw() override {
        desktop_.redraw();
        // SIM-2, the primary, starts at x = 1280.
        return {7, 9, sim::SyntheticDesktop::patternPixel(1280 + 7, 9, desktop_.pattern())};
    }
    void movePointer(int x, int y) override { desktop_.movePointer(x, y); }
    bool resize(int width, int height) override {
        return desktop_.resizeOutput("SIM-2", width, height);
    }

  private:
    sim::SyntheticDesktop desktop_{sim::SyntheticDesktop::Motion::kStatic};
};

class X11Driver final : public DesktopDriver {
  public:
    static std::unique_ptr<X11Driver> open() {
        auto bed = testing::XDisplayBed::open();
        auto desktop = X11Desktop::open();
        if (!bed || !desktop) return nullptr;
        bed->fillRoot(0x203040);
        return std::unique_ptr<X11Driver>(new X11Driver(std::move(bed), std::move(desktop)));
    }
    ~X11Driver() override {
        if (resized_)
            bed_->resizeScreen(testing::XDisplayBed::kDisplayWidth,
                               testing::XDisplayBed::kDisplayHeight);
    }
    DesktopDuplication& desktop() override { return *desktop_; }
    Pixel draw() override {
        color_ = (color_ + 0x102030) & 0xFFFFFF;
        bed_->fillRect(40, 50, 20, 10, color_);
        return {45, 55, color_};
    }
    void movePointer(int x, int y) override { bed_->warpPointer(x, y); }
    bool resize(int width, int height) override {
        resized_ = bed_->resizeScreen(width, height);
        return resized_;
    }

  private:
    X11Driver(std::unique_ptr<testing::XDisplayBed> bed, std::unique_ptr<X11Desktop> desktop)
        : bed_(std::move(bed)), desktop_(std::move(desktop)) {}
    std::unique_ptr<testing::XDisplayBed> bed_;
    std::unique_ptr<X11Desktop> desktop_;
    bool resized_ = false;
    uint32_t color_ = 0x104080;
};

struct DuplicationConformance : ::testing::TestWithParam<std::string> {
    void SetUp() override {
        if (GetParam() == "synthetic") {
            driver = std::make_unique<SyntheticDriver>();
        } else {
            driver = X11Driver::open();
            if (!driver) GTEST_SKIP() << "needs an X display (the test components)";
        }
        std::vector<OutputDesc> outputs;
        ASSERT_EQ(driver->desktop().EnumOutputs(&outputs), S_OK);
        for (const OutputDesc& desc : outputs) {
            if (desc.Primary) primary = desc;
        }
        ASSERT_FALSE(primary.DeviceName.empty());
        ASSERT_EQ(driver->desktop().DuplicateOutput(primary.DeviceName, &duplication), S_OK);
    }

    // Takes and gives back the first frame, so that what follows starts from a known desktop.
    void settle() {
        OutduplFrameInfo info;
        MappedDesktop image;
        ASSERT_EQ(duplication->AcquireNextFrame(100, &info, &image), S_OK);
        ASSERT_EQ(duplication->ReleaseFrame(), S_OK);
        while (duplication->AcquireNextFrame(50, &info, &image) == S_OK)
            duplication->ReleaseFrame();
    }

    std::unique_ptr<DesktopDriver> driver;
    OutputDesc primary;
    std::unique_ptr<OutputDuplication> duplication;
};

TEST_P(DuplicationConformance, OutputsListExactlyOneAttachedPrimary) {
    std::vector<OutputDesc> outputs;
    ASSERT_EQ(driver->desktop().EnumOutputs(&outputs), S_OK);
    int primaries = 0;
    for (const OutputDesc& desc : outputs) {
        if (desc.Primary) {
            ++primaries;
            EXPECT_TRUE(desc.AttachedToDesktop);
            EXPECT_GT(desc.DesktopCoordinates.width(), 0);
        }
    }
    EXPECT_EQ(primaries, 1);
    std::unique_ptr<OutputDuplication> none;
    EXPECT_EQ(driver->desktop().DuplicateOutput("no such output", &none), DXGI_ERROR_NOT_FOUND);
    EXPECT_FALSE(none);
}

TEST_P(DuplicationConformance, FirstFrameIsTheWholeOutputWithThePointerShape) {
    OutduplFrameInfo info;
    MappedDesktop image;
    ASSERT_EQ(duplication->AcquireNextFrame(100, &info, &image), S_OK);
    EXPECT_EQ(static_cast<int>(image.Width), primary.DesktopCoordinates.width());
    EXPECT_EQ(static_cast<int>(image.Height), primary.DesktopCoordinates.height());
    EXPECT_GE(image.Pitch, static_cast<int32_t>(image.Width * 4));
    ASSERT_NE(image.pBits, nullptr);
    ASSERT_GT(info.PointerShapeBufferSize, 0u);

    // A frame is held: no second one, and the shape is only given into a buffer large enough.
    OutduplFrameInfo second;
    MappedDesktop secondImage;
    EXPECT_EQ(duplication->AcquireNextFrame(0, &second, &secondImage), DXGI_ERROR_INVALID_CALL);
    std::vector<uint8_t> shape(info.PointerShapeBufferSize);
    uint32_t required = 0;
    OutduplPointerShapeInfo shapeInfo;
    EXPECT_EQ(duplication->GetFramePointerShape(4, shape.data(), &required, &shapeInfo),
              DXGI_ERROR_MORE_DATA);
    EXPECT_EQ(required, info.PointerShapeBufferSize);
    ASSERT_EQ(duplication->GetFramePointerShape(static_cast<uint32_t>(shape.size()), shape.data(),
                                                &required, &shapeInfo),
              S_OK);
    EXPECT_GT(shapeInfo.Width, 0u);
    EXPECT_GE(shapeInfo.Pitch, shapeInfo.Type == DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MONOCHROME
                                   ? (shapeInfo.Width + 7) / 8
                                   : shapeInfo.Width * 4);
    EXPECT_LT(shapeInfo.HotSpotX, static_cast<int32_t>(shapeInfo.Width));
    EXPECT_EQ(duplication->ReleaseFrame(), S_OK);
    EXPECT_EQ(duplication->ReleaseFrame(), DXGI_ERROR_INVALID_CALL);
}

TEST_P(DuplicationConformance, NothingNewTimesOutLeavingTheOutArgumentsAlone) {
    settle();
    OutduplFrameInfo info;
    info.PointerX = 1234;
    MappedDesktop image;
    image.Pitch = 77;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(duplication->AcquireNextFrame(100, &info, &image), DXGI_ERROR_WAIT_TIMEOUT);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(95));
    EXPECT_LT(waited, std::chrono::milliseconds(400));
    EXPECT_EQ(info.PointerX, 1234);
    EXPECT_EQ(image.Pitch, 77);
    EXPECT_EQ(image.pBits, nullptr);
    EXPECT_EQ(duplication->ReleaseFrame(), DXGI_ERROR_INVALID_CALL);
}

TEST_P(DuplicationConformance, DrawingGivesANewFrameShowingIt) {
    settle();
    const DesktopDriver::Pixel pixel = driver->draw();
    OutduplFrameInfo info;
    MappedDesktop image;
    ASSERT_EQ(duplication->AcquireNextFrame(500, &info, &image), S_OK);
    EXPECT_GE(info.AccumulatedFrames, 1u);
    const uint8_t* p = image.pBits + static_cast<size_t>(pixel.y) * image.Pitch + pixel.x * 4;
    EXPECT_EQ(p[0], pixel.bgr & 0xFF);
    EXPECT_EQ(p[1], (pixel.bgr >> 8) & 0xFF);
    EXPECT_EQ(p[2], (pixel.bgr >> 16) & 0xFF);
    EXPECT_EQ(duplication->ReleaseFrame(), S_OK);
}

TEST_P(DuplicationConformance, APointerMoveAloneGivesAFrameWithItsPlace) {
    settle();
    const DesktopRect& r = primary.DesktopCoordinates;
    for (const auto& [x, y] : {std::pair{300, 200}, std::pair{301, 203}}) {
        driver->movePointer(r.left + x, r.top + y);
        OutduplFrameInfo info;
        MappedDesktop image;
        ASSERT_EQ(duplication->AcquireNextFrame(500, &info, &image), S_OK);
        ASSERT_TRUE(info.PointerVisible);
        std::vector<uint8_t> shape(4096 * 4);
        uint32_t required = 0;
        OutduplPointerShapeInfo shapeInfo;
        ASSERT_EQ(duplication->GetFramePointerShape(static_cast<uint32_t>(shape.size()),
                                                    shape.data(), &required, &shapeInfo),
                  S_OK);
        // The position is the shape's top-left pixel: its hot spot is where the pointer is.
        EXPECT_EQ(info.PointerX + shapeInfo.HotSpotX, x);
        EXPECT_EQ(info.PointerY + shapeInfo.HotSpotY, y);
        EXPECT_EQ(duplication->ReleaseFrame(), S_OK);
    }
}

TEST_P(DuplicationConformance, ASizeChangeLosesAccessUntilANewDuplicationOfTheNewSize) {
    settle();
    const int width = primary.DesktopCoordinates.width() == 1280 ? 1024 : 1280;
    const int height = 720;
    if (!driver->resize(width, height)) GTEST_SKIP() << "this desktop cannot change its size";
    OutduplFrameInfo info;
    MappedDesktop image;
    EXPECT_EQ(duplication->AcquireNextFrame(500, &info, &image), DXGI_ERROR_ACCESS_LOST);
    EXPECT_EQ(duplication->AcquireNextFrame(0, &info, &image), DXGI_ERROR_ACCESS_LOST);
    OutputDesc desc;
    EXPECT_EQ(duplication->GetDesc(&desc), DXGI_ERROR_ACCESS_LOST);

    // The primary now (under Xvfb the screen's output turns off and the root serves).
    std::vector<OutputDesc> outputs;
    ASSERT_EQ(driver->desktop().EnumOutputs(&outputs), S_OK);
    std::string chosen;
    for (const OutputDesc& output : outputs) {
        if (output.Primary) chosen = output.DeviceName;
    }
    std::unique_ptr<OutputDuplication> again;
    ASSERT_EQ(driver->desktop().DuplicateOutput(chosen, &again), S_OK);
    ASSERT_EQ(again->AcquireNextFrame(500, &info, &image), S_OK);
    EXPECT_EQ(static_cast<int>(image.Width), width);
    EXPECT_EQ(static_cast<int>(image.Height), height);
    again->ReleaseFrame();
}

// On the X desktop the whole cursor image lands with its hot spot on the pointer's pixel, each
// pixel blended over the desktop, for the arrow and the I-beam of the cursor font.
TEST(X11Pointer, TheCursorImageLandsWithItsHotSpotOnThePointerToThePixel) {
    auto bed = testing::XDisplayBed::open();
    auto desktop = X11Desktop::open();
    if (!bed || !desktop) GTEST_SKIP() << "needs an X display (the test components)";
    constexpr uint32_t kDesk = 0x5080B0;
    bed->fillRoot(kDesk);
    struct Case {
        uint16_t glyph;
        int x;
        int y;
    };
    for (const Case& c : {Case{testing::XDisplayBed::kLeftArrow, 300, 200},
                          Case{testing::XDisplayBed::kIBeam, 517, 333}}) {
        SCOPED_TRACE(c.glyph);
        bed->setRootCursor(c.glyph);
        bed->warpPointer(c.x, c.y);
        recording::ScreenCapture capture(*desktop, SystemClock::instance());
        ASSERT_TRUE(capture.SelectOutput());
        uint8_t* frame = nullptr;
        uint32_t size = 0;
        ASSERT_EQ(capture.AcquireFrame(&frame, &size), recording::ScreenCapture::kNewFrame);
        const recording::DuplicatedOutput& output = *capture.currentOutput;
        const OutduplPointerShapeInfo& shape = output.shapeInfo;
        ASSERT_EQ(shape.Type, DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR);
        EXPECT_EQ(output.pointerX + shape.HotSpotX, c.x);
        EXPECT_EQ(output.pointerY + shape.HotSpotY, c.y);
        int inked = 0;
        for (uint32_t row = 0; row < shape.Height; ++row) {
            for (uint32_t col = 0; col < shape.Width; ++col) {
                uint32_t src;
                std::memcpy(&src, output.shapeBuffer.data() + row * shape.Pitch + col * 4, 4);
                const uint32_t a = src >> 24;
                inked += a != 0 ? 1 : 0;
                const int fx = c.x - shape.HotSpotX + static_cast<int>(col);
                const int fy = c.y - shape.HotSpotY + static_cast<int>(row);
                const uint8_t* got = frame + (static_cast<size_t>(fy) * capture.width + fx) * 4;
                for (int ch = 0; ch < 3; ++ch) {
                    const uint32_t d = (kDesk >> (8 * ch)) & 0xFF;
                    const uint32_t want = std::min<uint32_t>(
                        255, ((src >> (8 * ch)) & 0xFF) + (d * (255 - a) + 127) / 255);
                    ASSERT_EQ(got[ch], want) << "shape pixel " << col << "," << row;
                }
            }
        }
        EXPECT_GT(inked, 20);
    }
    bed->setRootCursor(testing::XDisplayBed::kLeftArrow);
}

INSTANTIATE_TEST_SUITE_P(Desktops, DuplicationConformance,
                         ::testing::Values(std::string("synthetic"), std::string("x11")),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace tovrel::platform
