#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/mf_manager.h"
#include "capture/offscreen_surface.h"
#include "imaging/pixel_conversion.h"
#include "platform/imaging/image_file.h"
#include "platform/imaging/library_image_encoders.h"
#include "platform/media/mf_constants.h"
#include "platform/system/manual_clock.h"
#include "recording/snapshot_encoder.h"
#include "sim/video/simulated_video_source.h"
#include "tests/support/image_probe.h"
#include "tests/support/scratch_folder.h"

namespace tovrel::recording {
namespace {

using namespace platform;
using capture::MFManager;
using testing::ScratchFolder;

constexpr uint32_t kW = 64, kH = 32;
constexpr std::array<sim::SimVideoMode, 1> kModes{{{sim::SimPixelFormat::Yuy2, kW, kH, 30, 1}}};

// The libraries' encoders, counting what is asked of them; an encoder can be told to fail
// after writing part of its file.
class CountingEncoders final : public ImageEncoderFactory {
  public:
    HRESULT CreateEncoder(ImageContainer container,
                          std::unique_ptr<ImageEncoder>* encoder) override {
        ++created;
        if (failWith == S_OK) return real_.CreateEncoder(container, encoder);
        *encoder = std::make_unique<HalfWriter>(failWith);
        return S_OK;
    }
    int created = 0;
    HRESULT failWith = S_OK;

  private:
    struct HalfWriter final : ImageEncoder {
        explicit HalfWriter(HRESULT hr) : result(hr) {}
        HRESULT Encode(const BgrxPicture&, ImageFile& file) override {
            file.Write("\x89PNG half of a picture", 22);
            return result;
        }
        HRESULT result;
    };
    LibraryImageEncoders real_;
};

// The n-th frame of the simulated box, as the reader delivers it.
std::shared_ptr<Sample> frameOf(uint64_t n) {
    sim::SimulatedVideoSource twin(kModes, sim::SimulatedVideoSource::Pacing::Stepped);
    twin.selectNativeType(0, 0);
    twin.startStream(0);
    twin.step(static_cast<uint32_t>(n + 1));
    SourceReadResult result;
    for (uint64_t i = 0; i <= n; ++i) twin.pullSample(0, 1000, &result);
    return result.sample;
}

// What the preview makes of that frame, as B, G, R.
std::vector<uint8_t> shownBgrOf(const std::shared_ptr<Sample>& sample) {
    std::shared_ptr<MediaBuffer> buffer;
    sample->ConvertToContiguousBuffer(&buffer);
    uint8_t* data = nullptr;
    uint32_t length = 0;
    buffer->Lock(&data, nullptr, &length);
    std::vector<uint8_t> bgra(kW * kH * 4);
    imaging::convertYuy2ToBgra(data, kW * 2, bgra.data(), kW * 4,
                               imaging::Size{static_cast<int32_t>(kW), static_cast<int32_t>(kH)},
                               0);
    buffer->Unlock();
    return testing::bgrOf(bgra.data(), kW, kH, kW * 4);
}

struct SnapshotFixture : ::testing::Test {
    void SetUp() override {
        source = std::make_shared<sim::SimulatedVideoSource>(
            kModes, sim::SimulatedVideoSource::Pacing::Stepped);
        ASSERT_EQ(manager.openSession(&surface, nullptr, source, false, false, 0, 0, 0,
                                      capture::kFormatYuy2),
                  S_OK);
        manager.streaming = true;  // the callback converts; no render thread is needed
    }
    void TearDown() override {
        manager.streaming = false;
        manager.closeSession();
    }
    HRESULT deliver(const std::shared_ptr<Sample>& sample) {
        return manager.videoCallback->OnReadSample(S_OK, 0, 0, 0, sample);
    }
    // Puts a picture in the snapshot buffer as the callback would.
    void showPicture(const std::vector<uint8_t>& bgrx) {
        std::lock_guard lock(manager.frameLock);
        std::memcpy(manager.snapshotFrame.get(), bgrx.data(), kW * kH * 4);
        manager.snapshotFilled = true;
    }
    testing::DecodedImage snapshot(const std::string& name, HRESULT expected = S_OK) {
        EXPECT_EQ(encoder.TakeSnapshot(folder.file(name)), expected) << name;
        return testing::decodeImageFile(folder.file(name));
    }

    ManualClock clock{1000};
    MFManager manager{clock};
    capture::OffscreenSurface surface{kW, kH};
    std::shared_ptr<sim::SimulatedVideoSource> source;
    CountingEncoders encoders;
    SnapshotEncoder encoder{manager, encoders};
    ScratchFolder folder;
};

TEST_F(SnapshotFixture, EachExtensionWritesItsContainerAtTheCaptureSize) {
    const std::vector<uint8_t> pattern = testing::cornerPattern(kW, kH, 8);
    const std::vector<uint8_t> expected = testing::bgrOf(pattern.data(), kW, kH, kW * 4);
    showPicture(pattern);
    struct Want {
        const char* name;
        const char* container;
        bool lossless;
    };
    for (const Want& want : {Want{"MF1.bmp", "bmp", true}, Want{"MF1.jpg", "jpeg", false},
                             Want{"MF1.png", "png", true}, Want{"MF1.tiff", "tiff", true},
                             Want{"MF1.gif", "gif", false}}) {
        const testing::DecodedImage read = snapshot(want.name);
        ASSERT_EQ(read.error, "") << want.name;
        EXPECT_EQ(read.container, want.container);
        EXPECT_EQ(read.width, static_cast<int>(kW));
        EXPECT_EQ(read.height, static_cast<int>(kH));
        if (want.lossless) {
            EXPECT_TRUE(read.bgr == expected) << want.name;
        } else {
            EXPECT_GE(testing::psnr(read.bgr, expected), 26.0) << want.name;
        }
    }
    EXPECT_EQ(folder.names(),
              (std::set<std::string>{"MF1.bmp", "MF1.jpg", "MF1.png", "MF1.tiff", "MF1.gif"}));
}

TEST_F(SnapshotFixture, OtherExtensionsAreRefusedBeforeAnythingIsCreated) {
    showPicture(testing::cornerPattern(kW, kH, 8));
    for (const char* name :
         {"MF1.jpeg", "MF1.JPG", "MF1.Png", "MF1.tif", "MF1", "MF1.png.part", "MF1.", "MF1.jpg "}) {
        EXPECT_EQ(encoder.TakeSnapshot(folder.file(name)), MF_E_INVALIDMEDIATYPE) << name;
    }
    // The extension is the last path element's: a dotted folder gives none.
    std::filesystem::create_directory(folder.file("shots.png"));
    EXPECT_EQ(encoder.TakeSnapshot(folder.file("shots.png/MF1")), MF_E_INVALIDMEDIATYPE);
    EXPECT_EQ(encoders.created, 0);
    EXPECT_EQ(folder.names(), std::set<std::string>{"shots.png"});
    EXPECT_TRUE(std::filesystem::is_empty(folder.file("shots.png")));
}

// Before the preview has converted a frame the buffer holds nothing worth a file: the snapshot
// is refused and nothing is written.
TEST_F(SnapshotFixture, BeforeTheFirstConvertedFrameNoFileIsWritten) {
    EXPECT_EQ(encoder.TakeSnapshot(folder.file("MF1.png")), MF_E_INVALIDREQUEST);
    manager.streaming = false;
    manager.closeSession();
    EXPECT_EQ(encoder.TakeSnapshot(folder.file("MF1.png")), MF_E_INVALIDREQUEST);
    EXPECT_TRUE(folder.names().empty());
}

TEST_F(SnapshotFixture, TheFileHoldsTheLastFrameThePreviewConverted) {
    const std::shared_ptr<Sample> first = frameOf(0), later = frameOf(7);
    ASSERT_NE(shownBgrOf(first), shownBgrOf(later)) << "the simulated picture moves";
    deliver(first);
    testing::DecodedImage read = snapshot("MF1.png");
    ASSERT_EQ(read.error, "");
    EXPECT_TRUE(read.bgr == shownBgrOf(first));

    // With [F9] off the frames still flow, but the snapshot keeps the frame last shown.
    manager.previewVisible = false;
    deliver(later);
    read = snapshot("MF2.png");
    EXPECT_TRUE(read.bgr == shownBgrOf(first));

    // While recording, the preview's frames still reach the snapshot.
    manager.previewVisible = true;
    manager.recording = true;
    int recorded = 0;
    manager.recordVideoSample = [&](const std::shared_ptr<Sample>&, int64_t, const uint8_t*) {
        ++recorded;
        return S_OK;
    };
    deliver(later);
    read = snapshot("MF3.bmp");
    EXPECT_EQ(recorded, 1);
    EXPECT_TRUE(read.bgr == shownBgrOf(later));
    manager.recording = false;
}

// Two snapshots in the same second share a name: the newer picture replaces the older file.
TEST_F(SnapshotFixture, ASecondSnapshotOfTheSameNameReplacesTheFirst) {
    const std::vector<uint8_t> a = testing::cornerPattern(kW, kH, 8);
    std::vector<uint8_t> b(a.rbegin(), a.rend());
    showPicture(a);
    ASSERT_EQ(snapshot("MF240307140509.png").error, "");
    showPicture(b);
    const testing::DecodedImage read = snapshot("MF240307140509.png");
    EXPECT_TRUE(read.bgr == testing::bgrOf(b.data(), kW, kH, kW * 4));
    EXPECT_EQ(folder.names(), std::set<std::string>{"MF240307140509.png"});
}

TEST_F(SnapshotFixture, AFailedEncodingIsReportedAndLeavesTheOlderFileIntact) {
    const std::string path = folder.file("MF1.png");
    ScratchFolder::write(path, "the older snapshot");
    showPicture(testing::cornerPattern(kW, kH, 8));
    encoders.failWith = ImageFile::kDiskFull;
    EXPECT_EQ(encoder.TakeSnapshot(path), ImageFile::kDiskFull);
    EXPECT_EQ(ScratchFolder::read(path), "the older snapshot");
    EXPECT_EQ(folder.names(), std::set<std::string>{"MF1.png"});

    // A folder that is not there fails as plainly.
    encoders.failWith = S_OK;
    EXPECT_EQ(encoder.TakeSnapshot(folder.file("gone/MF1.png")), ImageFile::kPathNotFound);
    EXPECT_EQ(folder.names(), std::set<std::string>{"MF1.png"});
}

// Snapshots taken while the video callback converts frames on its own thread: each file holds
// one whole frame, never parts of two.
TEST_F(SnapshotFixture, ASnapshotDuringTheCallbackHoldsOneWholeFrame) {
    const std::shared_ptr<Sample> frames[2] = {frameOf(0), frameOf(9)};
    const std::vector<uint8_t> pictures[2] = {shownBgrOf(frames[0]), shownBgrOf(frames[1])};
    deliver(frames[0]);
    std::atomic<bool> stop{false};
    std::thread callback([&] {
        for (int i = 0; !stop; ++i) deliver(frames[i % 2]);
    });
    int whole = 0;
    for (int i = 0; i < 20; ++i) {
        const testing::DecodedImage read = snapshot("MF1.bmp");
        whole += read.bgr == pictures[0] || read.bgr == pictures[1];
    }
    stop = true;
    callback.join();
    EXPECT_EQ(whole, 20);
}

}  // namespace
}  // namespace tovrel::recording
