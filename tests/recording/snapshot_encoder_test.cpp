#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
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
#include "recording/snapshot_writer.h"
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
// after writing part of its file, or to wait, its file written but not committed, until the
// test opens the gate.
class CountingEncoders final : public ImageEncoderFactory {
  public:
    static constexpr std::chrono::seconds kGateTimeout{5};

    HRESULT CreateEncoder(ImageContainer container,
                          std::unique_ptr<ImageEncoder>* encoder) override {
        ++created;
        if (failWith != S_OK) {
            *encoder = std::make_unique<HalfWriter>(failWith);
            return S_OK;
        }
        const HRESULT hr = real_.CreateEncoder(container, encoder);
        if (SUCCEEDED(hr)) *encoder = std::make_unique<Gated>(std::move(*encoder), *this);
        return hr;
    }
    void closeGate() {
        std::lock_guard lock(lock_);
        gateOpen_ = false;
    }
    void openGate() {
        {
            std::lock_guard lock(lock_);
            gateOpen_ = true;
        }
        changed_.notify_all();
    }
    // Waits until `count` pictures in all have been encoded into their temporary files.
    bool waitForEncoded(int count) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, kGateTimeout,
                                 [&] { return static_cast<int>(temporaryPaths_.size()) >= count; });
    }
    std::vector<std::string> temporaryPaths() {
        std::lock_guard lock(lock_);
        return temporaryPaths_;
    }
    std::atomic<int> created{0};
    std::atomic<HRESULT> failWith{S_OK};

  private:
    struct HalfWriter final : ImageEncoder {
        explicit HalfWriter(HRESULT hr) : result(hr) {}
        HRESULT Encode(const BgrxPicture&, ImageFile& file) override {
            file.Write("\x89PNG half of a picture", 22);
            return result;
        }
        HRESULT result;
    };
    struct Gated final : ImageEncoder {
        Gated(std::unique_ptr<ImageEncoder> real, CountingEncoders& owner)
            : real(std::move(real)), owner(owner) {}
        HRESULT Encode(const BgrxPicture& picture, ImageFile& file) override {
            const HRESULT hr = real->Encode(picture, file);
            std::unique_lock lock(owner.lock_);
            owner.temporaryPaths_.push_back(file.temporaryPath());
            owner.changed_.notify_all();
            // Bounded, so that an encoding on the caller's thread fails the test instead of
            // hanging it.
            owner.changed_.wait_for(lock, kGateTimeout, [&] { return owner.gateOpen_; });
            return hr;
        }
        std::unique_ptr<ImageEncoder> real;
        CountingEncoders& owner;
    };
    LibraryImageEncoders real_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool gateOpen_ = true;
    std::vector<std::string> temporaryPaths_;
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
    // A snapshot as the program takes it, read back once the writer has finished it.
    testing::DecodedImage snapshot(const std::string& name, HRESULT expected = S_OK) {
        EXPECT_EQ(encoder.TakeSnapshot(folder.file(name)), expected) << name;
        writer.waitUntilIdle();
        return testing::decodeImageFile(folder.file(name));
    }
    std::vector<std::pair<std::string, HRESULT>> results() {
        std::lock_guard lock(resultsLock);
        return finished;
    }

    ManualClock clock{1000};
    MFManager manager{clock};
    capture::OffscreenSurface surface{kW, kH};
    std::shared_ptr<sim::SimulatedVideoSource> source;
    ScratchFolder folder;
    CountingEncoders encoders;
    std::mutex resultsLock;
    std::vector<std::pair<std::string, HRESULT>> finished;
    SnapshotWriter writer{encoders, [this](const std::string& path, HRESULT hr) {
                              std::lock_guard lock(resultsLock);
                              finished.emplace_back(path, hr);
                          }};
    SnapshotEncoder encoder{manager, writer};
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
    // The window thread has handed the picture over; the writer meets the failure.
    EXPECT_EQ(encoder.TakeSnapshot(path), S_OK);
    writer.waitUntilIdle();
    EXPECT_EQ(ScratchFolder::read(path), "the older snapshot");
    EXPECT_EQ(folder.names(), std::set<std::string>{"MF1.png"});

    // A folder that is not there fails as plainly.
    encoders.failWith = S_OK;
    EXPECT_EQ(encoder.TakeSnapshot(folder.file("gone/MF1.png")), S_OK);
    writer.waitUntilIdle();
    EXPECT_EQ(folder.names(), std::set<std::string>{"MF1.png"});
    using Result = std::pair<std::string, HRESULT>;
    EXPECT_EQ(results(),
              (std::vector<Result>{{path, ImageFile::kDiskFull},
                                   {folder.file("gone/MF1.png"), ImageFile::kPathNotFound}}));

    // Without a writer the encoding runs on the calling thread, which gets its result.
    SnapshotEncoder direct(manager, encoders);
    encoders.failWith = ImageFile::kDiskFull;
    EXPECT_EQ(direct.TakeSnapshot(path), ImageFile::kDiskFull);
    EXPECT_EQ(ScratchFolder::read(path), "the older snapshot");
    encoders.failWith = S_OK;
    EXPECT_EQ(direct.TakeSnapshot(path), S_OK);
    EXPECT_EQ(testing::decodeImageFile(path).container, "png");
}

// The window thread only copies the picture: TakeSnapshot returns while the picture is still
// being encoded, and the file's name appears only once the file is whole.
TEST_F(SnapshotFixture, TheWindowThreadDoesNotWaitForTheEncoding) {
    showPicture(testing::cornerPattern(kW, kH, 8));
    encoders.closeGate();
    EXPECT_EQ(encoder.TakeSnapshot(folder.file("MF1.png")), S_OK);
    ASSERT_TRUE(encoders.waitForEncoded(1));
    const std::set<std::string> during = folder.names();
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(during.begin()->rfind(".MF1.png.", 0), 0u) << *during.begin();
    // The picture was taken when the command ran: a later frame does not reach the file.
    showPicture(std::vector<uint8_t>(kW * kH * 4, 0x11));
    encoders.openGate();
    writer.waitUntilIdle();
    EXPECT_EQ(folder.names(), std::set<std::string>{"MF1.png"});
    const std::vector<uint8_t> pattern = testing::cornerPattern(kW, kH, 8);
    EXPECT_TRUE(testing::decodeImageFile(folder.file("MF1.png")).bgr ==
                testing::bgrOf(pattern.data(), kW, kH, kW * 4));
}

// Two snapshots in the same second share a name while the first is still being encoded: each
// gets a temporary file of its own, and the later picture is the one left under the name.
TEST_F(SnapshotFixture, OfTwoSnapshotsOfOneNameInFlightTheLaterWins) {
    const std::vector<uint8_t> a = testing::cornerPattern(kW, kH, 8);
    const std::vector<uint8_t> b(a.rbegin(), a.rend());
    encoders.closeGate();
    showPicture(a);
    EXPECT_EQ(encoder.TakeSnapshot(folder.file("MF240307140509.png")), S_OK);
    showPicture(b);
    EXPECT_EQ(encoder.TakeSnapshot(folder.file("MF240307140509.png")), S_OK);
    ASSERT_TRUE(encoders.waitForEncoded(1));
    encoders.openGate();
    writer.waitUntilIdle();
    const std::vector<std::string> temporary = encoders.temporaryPaths();
    ASSERT_EQ(temporary.size(), 2u);
    EXPECT_NE(temporary[0], temporary[1]);
    EXPECT_EQ(folder.names(), std::set<std::string>{"MF240307140509.png"});
    EXPECT_TRUE(testing::decodeImageFile(folder.file("MF240307140509.png")).bgr ==
                testing::bgrOf(b.data(), kW, kH, kW * 4));
}

// A key held down hands pictures over faster than they are encoded: the window thread then
// waits for room instead of the queue growing without bound, and a writer going away (the
// program closing) still saves every picture it was given.
TEST_F(SnapshotFixture, TheQueueIsBoundedAndTheWriterFinishesItBeforeItGoes) {
    showPicture(testing::cornerPattern(kW, kH, 8));
    auto gated = std::make_unique<SnapshotWriter>(encoders);
    encoders.closeGate();
    SnapshotEncoder held(manager, *gated);
    constexpr size_t kFits = SnapshotWriter::kMaxWaitingPictures + 1;  // one is being encoded
    for (size_t i = 0; i < kFits; ++i) {
        EXPECT_EQ(held.TakeSnapshot(folder.file("MF" + std::to_string(i) + ".bmp")), S_OK);
        if (i == 0) {
            ASSERT_TRUE(encoders.waitForEncoded(1));
        }
    }
    std::atomic<bool> returned{false};
    std::thread windowThread([&] {
        // Another thread stands in for the window thread: the encoder checks its maker's thread.
        SnapshotEncoder late(manager, *gated);
        EXPECT_EQ(late.TakeSnapshot(folder.file("MFlate.bmp")), S_OK);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned) << "a sixth picture waits for room";
    encoders.openGate();
    windowThread.join();
    gated.reset();
    EXPECT_EQ(folder.names().size(), kFits + 1);
    EXPECT_EQ(encoders.created, static_cast<int>(kFits + 1));
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
