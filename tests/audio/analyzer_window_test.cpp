// The analyzer's model and window: a tone from the simulated box in the right bands, both
// spectrum baselines, and closing stopping the worker.
#include <gtest/gtest.h>

#include <QApplication>

#include "audio/ui/image_pane.h"

#include <chrono>
#include <thread>

#include "audio/ui/audio_dialog.h"
#include "audio/ui/audio_dialog_model.h"
#include "capture/mf_manager.h"
#include "sim/audio/simulated_audio_source.h"

namespace tovrel::audio::ui {
namespace {

using namespace std::chrono_literals;

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = 10'000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QApplication::processEvents();
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

int loudest(const SpectrumBands::Heights& h) {
    int best = 0;
    for (int j = 1; j < SpectrumBands::kBandCount; ++j) {
        if (h[static_cast<size_t>(j)] > h[static_cast<size_t>(best)]) best = j;
    }
    return best + 1;
}

class AnalyzerWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        source_ =
            std::make_shared<sim::SimulatedAudioSource>(sim::SimulatedAudioSource::Pacing::Stepped);
        ASSERT_EQ(manager_.openSession(nullptr, source_, nullptr, false, false, 0, 0, 0, 0),
                  platform::S_OK);
        ASSERT_EQ(manager_.startStreaming(), platform::S_OK);
        source_->step(100);  // one second: 440 Hz left, 1000 Hz right
        ASSERT_TRUE(waitFor([&] { return manager_.analysisRing.heldBytes() >= 192'000; }));
    }
    void TearDown() override {
        manager_.stopStreaming(platform::SystemClock::instance());
        manager_.closeSession();
    }
    std::shared_ptr<sim::SimulatedAudioSource> source_;
    capture::MFManager manager_;
};

TEST_F(AnalyzerWindowTest, ASimulatedToneLandsInItsBandOnBothChannelsAndClosingStopsTheWorker) {
    CAudioDialog dialog(manager_.audioFormat, manager_.analysisRing, manager_.clock());
    AudioDialogModel& model = dialog.model();
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Audio");
    EXPECT_EQ(model.formatText(), "S-16-48000");
    ASSERT_TRUE(model.workerRunning());
    ASSERT_TRUE(waitFor([&] { return model.analyzer().blocksProcessed() >= 1; }));
    EXPECT_EQ(loudest(model.analyzer().leftBands()), 4) << "440 Hz: 350 to 450 Hz";
    ASSERT_TRUE(model.analyzer().rightBands());
    EXPECT_EQ(loudest(*model.analyzer().rightBands()), 10) << "1000 Hz: 950 to 1050 Hz";
    EXPECT_TRUE(waitFor([&] { return model.bufferSizeText() == "192000"; }))
        << "the scope's read-outs follow the block";

    dialog.show();
    ASSERT_TRUE(waitFor([&] {
        const QImage pane = dialog.spectrumPane()->image();
        return !pane.isNull() && pane.pixelColor(200, 324) == QColor(0x40, 0x40, 0xFF);
    }));
    dialog.grab().save(QString(SCREENSHOT_DIR) + "/analyzer_window.png");
    dialog.reject();
    EXPECT_FALSE(model.workerRunning());
    const uint64_t blocks = model.analyzer().blocksProcessed();
    source_->step(100);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(model.analyzer().blocksProcessed(), blocks) << "no worker after closing";
}

TEST_F(AnalyzerWindowTest, SilenceLiesOnTheMiddleLineLeftAndTheBottomRowRight) {
    AudioFormat format = manager_.audioFormat;
    AudioRing ring;
    ring.create(format.analysisRingBytes());
    AudioDialogModel model(format, ring, manager_.clock());
    std::atomic<int> images{0};
    QImage last;
    std::mutex m;
    model.spectrumReady = [&](const QImage& image) {
        std::lock_guard<std::mutex> hold(m);
        last = image;
        ++images;
    };
    model.open(QSize(312, 325), QSize(420, 325));
    std::vector<uint8_t> silence(192'000, 0);
    ring.write(silence.data(), 192'000);
    ASSERT_TRUE(waitFor([&] { return images.load() >= 1; }));
    model.close();
    const QColor green(0, 255, 0), blue(0x40, 0x40, 0xFF);
    EXPECT_EQ(last.pixelColor(200, 325 / 2), green);
    EXPECT_EQ(last.pixelColor(200, 324), blue);
    EXPECT_NE(last.pixelColor(200, 325 / 2 - 3), green);
}

}  // namespace
}  // namespace tovrel::audio::ui
