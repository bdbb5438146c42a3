#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>
#include <vector>

#include "capture/mf_manager.h"
#include "platform/imaging/library_image_encoders.h"
#include "platform/media/mf_guids.h"
#include "platform/media/recording_sink_writer.h"
#include "platform/system/manual_clock.h"
#include "recording/screen_recorder.h"
#include "recording/snapshot_writer.h"
#include "sim/screen/synthetic_desktop.h"
#include "tests/support/image_probe.h"

namespace tovrel::recording {
namespace {

using namespace platform;
using namespace std::chrono_literals;
using sim::SyntheticDesktop;

// The speakers as a test plays them: stereo float packets of 10 ms, every other one empty.
class FakeLoopback final : public LoopbackEndpoints, public LoopbackCapture {
  public:
    HRESULT ActivateLoopback(std::unique_ptr<LoopbackCapture>* capture) override {
        struct Handle final : LoopbackCapture {
            explicit Handle(FakeLoopback& f) : f(f) {}
            HRESULT GetMixFormat(WaveFormatExtensible* w) override { return f.GetMixFormat(w); }
            HRESULT Initialize(int64_t d) override { return f.Initialize(d); }
            HRESULT GetBufferSize(uint32_t* n) override { return f.GetBufferSize(n); }
            HRESULT Start() override { return f.Start(); }
            HRESULT Stop() override { return f.Stop(); }
            HRESULT GetNextPacketSize(uint32_t* n) override { return f.GetNextPacketSize(n); }
            HRESULT GetBuffer(uint8_t** d, uint32_t* n, uint32_t* fl) override {
                return f.GetBuffer(d, n, fl);
            }
            HRESULT ReleaseBuffer(uint32_t n) override { return f.ReleaseBuffer(n); }
            FakeLoopback& f;
        };
        if (absent) return E_FAIL;
        *capture = std::make_unique<Handle>(*this);
        return S_OK;
    }
    HRESULT GetMixFormat(WaveFormatExtensible* w) override {
        w->nChannels = 2;
        w->nSamplesPerSec = 48000;
        w->wBitsPerSample = 32;
        w->nBlockAlign = 8;
        w->nAvgBytesPerSec = 384000;
        w->SubFormat = integer ? KSDATAFORMAT_SUBTYPE_PCM : KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
        return S_OK;
    }
    HRESULT Initialize(int64_t) override { return S_OK; }
    HRESULT GetBufferSize(uint32_t* n) override {
        *n = 4800;
        return S_OK;
    }
    HRESULT Start() override {
        started = true;
        return S_OK;
    }
    HRESULT Stop() override {
        stopped = true;
        return S_OK;
    }
    HRESULT GetNextPacketSize(uint32_t* n) override {
        *n = (packets % 2 == 0) ? 480 : 0;
        return S_OK;
    }
    HRESULT GetBuffer(uint8_t** d, uint32_t* n, uint32_t* flags) override {
        *n = (packets++ % 2 == 0) ? 480 : 0;
        data.assign(480 * 8, 0x11);
        *d = *n ? data.data() : nullptr;
        *flags = 0;
        return S_OK;
    }
    HRESULT ReleaseBuffer(uint32_t) override { return S_OK; }

    bool absent = false;
    bool integer = false;
    std::atomic<bool> started{false};
    std::atomic<bool> stopped{false};
    std::atomic<int> packets{0};
    std::vector<uint8_t> data;
};

uint32_t u32(const Attributes& a, const Guid& key) {
    uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(a.GetUINT32(key, &value), S_OK);
    return value;
}

// BT.601 limited-range luma of a B, G, R pixel, as the recording's conversion has it.
int lumaOf(uint32_t bgra) {
    const double b = bgra & 0xFF, g = (bgra >> 8) & 0xFF, r = (bgra >> 16) & 0xFF;
    return static_cast<int>(16 + 0.257 * r + 0.504 * g + 0.098 * b);
}

struct ScreenRecorderTest : ::testing::Test {
    void make(std::unique_ptr<SyntheticDesktop> d, Clock& clock = SystemClock::instance()) {
        desktop = std::move(d);
        manager = std::make_unique<capture::MFManager>(clock);
        recorder = std::make_unique<ScreenRecorder>(*manager, writers, desktop.get(), &loopback,
                                                    &encoders);
    }
    // Waits (20 s at most: a sanitizer build is slow) until the running recording has written
    // `frames` frames; the writer's log is read only once the recording has stopped.
    bool waitForFrames(uint64_t frames) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (recorder->statistics().framesWritten < frames) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    std::vector<RecordingSinkWriter::Written> samples(uint32_t stream) const {
        std::vector<RecordingSinkWriter::Written> out;
        for (const auto& w : writers.last()->samples) {
            if (w.streamIndex == stream) out.push_back(w);
        }
        return out;
    }
    static std::unique_ptr<SyntheticDesktop> oneOutput(int32_t w, int32_t h) {
        return std::make_unique<SyntheticDesktop>(
            std::vector<SyntheticDesktop::Output>{{"ONE", {0, 0, w, h}, true}}, 0,
            SyntheticDesktop::Motion::kStatic);
    }

    RecordingSinkWriterFactory writers;
    FakeLoopback loopback;
    LibraryImageEncoders encoders;
    std::unique_ptr<SyntheticDesktop> desktop;
    std::unique_ptr<capture::MFManager> manager;
    std::unique_ptr<ScreenRecorder> recorder;
};

TEST_F(ScreenRecorderTest, RefusedStartsCreateNothing) {
    ManualClock clock;
    make(std::make_unique<SyntheticDesktop>(SyntheticDesktop::Motion::kStatic), clock);
    EXPECT_EQ(recorder->StartScreenRecording("/tmp/x.MP4", 2, 0, 0, 0), MF_E_INVALIDMEDIATYPE);
    manager->recording = true;  // a box recording holds the writer
    EXPECT_EQ(recorder->StartScreenRecording("/tmp/x.mp4", 2, 0, 0, 0), MF_E_INVALIDREQUEST);
    manager->recording = false;
    desktop->setAttached(false);
    EXPECT_EQ(recorder->StartScreenRecording("/tmp/x.mp4", 2, 0, 0, 0), DXGI_ERROR_NOT_FOUND);
    EXPECT_EQ(clock.totalSleptMs(), 1600u);
    writers.failWith = E_ACCESSDENIED;
    desktop->setAttached(true);
    EXPECT_EQ(recorder->StartScreenRecording("/tmp/x.mp4", 2, 0, 0, 0), E_ACCESSDENIED);
    EXPECT_FALSE(manager->screenRecording);
    EXPECT_FALSE(manager->sinkWriter);
    EXPECT_EQ(recorder->screenCapture(), nullptr);
    EXPECT_EQ(clock.raisedPeriods(), 0);
    EXPECT_EQ(recorder->StopScreenRecording(), MF_E_INVALIDREQUEST);
}

TEST_F(ScreenRecorderTest, RecordsThePrimaryAt1080pWithPacedFramesAndTheSpeakers) {
    make(std::make_unique<SyntheticDesktop>(SyntheticDesktop::Motion::kMoving));
    ASSERT_EQ(recorder->StartScreenRecording("/tmp/screen.mp4", 2, 0, 0, 1), S_OK);
    EXPECT_EQ(recorder->StartScreenRecording("/tmp/screen.mp4", 2, 0, 0, 1), MF_E_INVALIDREQUEST);
    // Ten frames take a third of a second; a sanitizer build or a busy machine may need longer.
    EXPECT_TRUE(waitForFrames(10));
    ASSERT_EQ(recorder->StopScreenRecording(), S_OK);
    EXPECT_FALSE(manager->sinkWriter);
    EXPECT_EQ(recorder->screenCapture(), nullptr);
    EXPECT_TRUE(loopback.stopped);

    const auto log = writers.last();
    ASSERT_TRUE(log->finalized);
    uint32_t throttling = 0;
    EXPECT_NE(log->attributes.GetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, &throttling), S_OK);
    EXPECT_EQ(u32(log->attributes, MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS), 1u);
    ASSERT_EQ(log->outputTypes.size(), 2u);
    uint32_t w = 0, h = 0, num = 0, den = 0;
    MFGetAttributeSize(&log->inputTypes[0], MF_MT_FRAME_SIZE, &w, &h);
    MFGetAttributeRatio(&log->inputTypes[0], MF_MT_FRAME_RATE, &num, &den);
    EXPECT_EQ(w * 10000 + h, 1920u * 10000 + 1080);
    EXPECT_EQ(num * 100 + den, 3001u);
    EXPECT_EQ(u32(log->outputTypes[0], MF_MT_MPEG2_LEVEL), 41u);
    EXPECT_EQ(u32(log->outputTypes[0], MF_MT_MPEG2_PROFILE), 100u);
    Guid audioInput;
    log->inputTypes[1].GetGUID(MF_MT_SUBTYPE, &audioInput);
    EXPECT_EQ(audioInput, MFAudioFormat_Float);
    EXPECT_EQ(u32(log->inputTypes[1], MF_MT_AUDIO_BLOCK_ALIGNMENT), 8u);

    const auto video = samples(0);
    const ScreenRecorder::Statistics stats = recorder->statistics();
    ASSERT_GE(video.size(), 10u);
    EXPECT_EQ(video.size(), stats.framesWritten);
    EXPECT_EQ(stats.framesNoBuffer, 0u);
    for (size_t i = 0; i < video.size(); ++i) {
        EXPECT_EQ(video[i].data.size(), 3'110'400u);
        if (i > 0) {
            EXPECT_GE(video[i].time100ns - video[i - 1].time100ns, 330'000) << i;
        }
    }
    // Sound packets, the empty ones too, stamped on the same time base.
    const auto audio = samples(1);
    ASSERT_GE(audio.size(), 10u);
    size_t empty = 0;
    for (const auto& a : audio) empty += a.data.empty() ? 1 : 0;
    EXPECT_GT(empty, 0u);
    EXPECT_LT(empty, audio.size());
    EXPECT_LT(std::min(audio.front().time100ns, video.front().time100ns), 10'000);
}

TEST_F(ScreenRecorderTest, AStaticDesktopWritesNothingUntilItChanges) {
    make(oneOutput(1920, 1080));
    loopback.absent = true;  // no sound server: a recording without sound
    ASSERT_EQ(recorder->StartScreenRecording("/tmp/static.mp4", 2, 0, 0, 0), S_OK);
    ASSERT_TRUE(waitForFrames(1));
    std::this_thread::sleep_for(400ms);
    const uint64_t first = recorder->statistics().framesWritten;
    desktop->redraw();
    EXPECT_TRUE(waitForFrames(2));
    ASSERT_EQ(recorder->StopScreenRecording(), S_OK);
    EXPECT_EQ(first, 1u);
    const auto video = samples(0);
    ASSERT_EQ(video.size(), 2u);
    // The change is stamped with its real time, not one frame after the first.
    EXPECT_GT(video[1].time100ns - video[0].time100ns, 3'000'000);
    EXPECT_EQ(writers.last()->outputTypes.size(), 1u);
}

// Larger and smaller desktops fill the 1920x1080 frame; a size change mid-recording is followed.
TEST_F(ScreenRecorderTest, DesktopsOfOtherSizesAreScaledTo1080p) {
    make(oneOutput(1280, 720));
    loopback.absent = true;
    ASSERT_EQ(recorder->StartScreenRecording("/tmp/scaled.mp4", 2, 0, 0, 0), S_OK);
    ASSERT_TRUE(waitForFrames(1));
    desktop->resizeOutput("ONE", 2560, 1440);
    EXPECT_TRUE(waitForFrames(2));
    ASSERT_EQ(recorder->StopScreenRecording(), S_OK);
    EXPECT_EQ(recorder->statistics().resizesPrepared, 2u);
    const auto video = samples(0);
    ASSERT_EQ(video.size(), 2u);
    struct Probe {
        const RecordingSinkWriter::Written& frame;
        double scale;  // source pixels per recorded pixel
    };
    for (const Probe& p : {Probe{video[0], 1280.0 / 1920}, Probe{video[1], 2560.0 / 1920}}) {
        // Centres of the checkerboard's squares, where the picture is smooth.
        for (const auto& [dx, dy] :
             {std::pair{300, 200}, std::pair{1500, 900}, std::pair{60, 1000}}) {
            const int sx = static_cast<int>(std::lround((dx + 0.5) * p.scale - 0.5));
            const int sy = static_cast<int>(std::lround((dy + 0.5) * p.scale - 0.5));
            const int want = lumaOf(SyntheticDesktop::patternPixel(sx, sy, desktop->pattern()));
            const int got = p.frame.data[static_cast<size_t>(dy) * 1920 + dx];
            EXPECT_NEAR(got, want, 4) << dx << "," << dy << " scale " << p.scale;
        }
    }
}

TEST_F(ScreenRecorderTest, SnapshotsShowThePointerAndShareARunningRecordingsCapture) {
    make(std::make_unique<SyntheticDesktop>(SyntheticDesktop::Motion::kStatic));
    desktop->setPointer(SyntheticDesktop::Pointer::kCross);
    desktop->movePointer(1280 + 333, 222);
    const std::string path = ::testing::TempDir() + "screen_snapshot.png";
    EXPECT_EQ(recorder->TakeScreenSnapshot(::testing::TempDir() + "x.jpeg"), MF_E_INVALIDMEDIATYPE);
    ASSERT_EQ(recorder->TakeScreenSnapshot(path), S_OK);
    EXPECT_EQ(recorder->screenCapture(), nullptr);  // its own capture is gone again
    testing::DecodedImage image = testing::decodeImageFile(path);
    ASSERT_EQ(image.width, 1920);
    ASSERT_EQ(image.height, 1080);
    const uint8_t* hot = &image.bgr[(222 * 1920 + 333) * 3];
    EXPECT_EQ(hot[0] + hot[1] * 256 + hot[2] * 65536, 0xFF0000);

    loopback.absent = true;
    ASSERT_EQ(recorder->StartScreenRecording("/tmp/snap.mp4", 2, 0, 0, 0), S_OK);
    std::this_thread::sleep_for(100ms);
    const ScreenCapture* shared = recorder->screenCapture();
    desktop->movePointer(1280 + 10, 20);
    // The program's way: the picture read here, encoded on the snapshot writer's worker.
    SnapshotWriter writer(encoders);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(recorder->TakeScreenSnapshot(path, &writer), S_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_EQ(recorder->screenCapture(), shared);
    ASSERT_EQ(recorder->StopScreenRecording(), S_OK);
    writer.waitUntilIdle();
    image = testing::decodeImageFile(path);
    hot = &image.bgr[(20 * 1920 + 10) * 3];
    EXPECT_EQ(hot[0] + hot[1] * 256 + hot[2] * 65536, 0xFF0000);
    std::filesystem::remove(path);

    desktop->setAttached(false);
    EXPECT_EQ(recorder->TakeScreenSnapshot(path), DXGI_ERROR_NOT_FOUND);
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace tovrel::recording
