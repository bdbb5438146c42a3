// The analyzer window "Audio" opened with [F7] over the running capture of the simulated box, on
// the X display, wired to the main window as the program wires it: both tones on screen, and the
// worker stopped by an unplug and started again by the replug while the window stays open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <memory>
#include <set>
#include <string>

#include "audio/ui/analyzer_pens.h"
#include "audio/ui/audio_analyzer_command.h"
#include "audio/ui/audio_dialog.h"
#include "audio/ui/image_pane.h"
#include "capture/mf_manager.h"
#include "hotplug_rig.h"
#include "shell/command_table.h"
#include "shell/edition.h"
#include "shell/preview_presenter.h"
#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"

namespace tovrel::shell {
namespace {

using audio::ui::AnalyzerPens;
using audio::ui::CAudioDialog;
using testing::HotplugRig;
using testing::pumpFor;
using testing::pumpUntil;

bool is(QRgb pixel, uint32_t rgb) { return (pixel & 0xFFFFFF) == rgb; }

// The rows of `area` (within `image`) that hold at least one pixel of colour `rgb`.
std::set<int> rowsWith(const QImage& image, const QRect& area, uint32_t rgb) {
    std::set<int> rows;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (is(image.pixel(x, y), rgb)) rows.insert(y - area.top());
    return rows;
}

// The highest row (from the top of `area`) holding colour `rgb` in the columns [x0, x1] of
// `area`; the area's height when there is none.
int topOf(const QImage& image, const QRect& area, int x0, int x1, uint32_t rgb) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left() + x0; x <= area.left() + x1; ++x)
            if (is(image.pixel(x, y), rgb)) return y - area.top();
    return area.height();
}

class AnalyzerGui : public ::testing::Test {
  protected:
    AnalyzerGui()
        : cwd_(::testing::UnitTest::GetInstance()->current_test_info()->name()), rig_(true) {}

    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs an X display with a window manager (the test components)";
        rig_.box->attach();
        frame_ = std::make_unique<CTovrel2Frame>(rig_.test.backends, kTovrel2Edition);
        frame_->resize(640, 360);
        ASSERT_EQ(frame_->onCreate(), 0);
        frame_->show();
    }
    void TearDown() override {
        if (frame_) frame_->onClose();
        frame_.reset();
    }

    // What the screen shows of the dialog, and where its two panes lie in it.
    QImage screenOfDialog(const char* name, QRect* scope, QRect* spectrum) {
        QApplication::processEvents();
        const QImage image = QGuiApplication::primaryScreen()
                                 ->grabWindow(frame_->analyzerDialog->windowHandle()->winId())
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        image.save(QString(SCREENSHOT_DIR "/") + name + ".png");
        const auto paneIn = [&](const QWidget* pane) {
            return QRect(pane->mapTo(frame_->analyzerDialog, QPoint(0, 0)), pane->size());
        };
        *scope = paneIn(frame_->analyzerDialog->scopePane());
        *spectrum = paneIn(frame_->analyzerDialog->spectrumPane());
        return image;
    }

    // Both tones on screen: 440 Hz on the left channel (green), 1000 Hz on the right (blue).
    void expectBothTones(const char* name) {
        QRect scope, spectrum;
        const QImage shot = screenOfDialog(name, &scope, &spectrum);
        ASSERT_TRUE(QRect(QPoint(0, 0), shot.size()).contains(scope.united(spectrum)));
        // Two sine waves: each trace crosses many rows (a silent one lies on one or two).
        EXPECT_GE(rowsWith(shot, scope, AnalyzerPens::kLeft).size(), 20u) << name;
        EXPECT_GE(rowsWith(shot, scope, AnalyzerPens::kRight).size(), 20u) << name;
        // Spectrum: band j at x = d * j (d = width / 200); 440 Hz is band 4, 1000 Hz band 10.
        const double d = spectrum.width() / 200.0;
        const int middle = spectrum.height() / 2;
        const int bottom = spectrum.height() - 1;
        const auto around = [&](int band, int* x0, int* x1) {
            *x0 = static_cast<int>(d * band) - 2;
            *x1 = static_cast<int>(d * band) + 2;
        };
        int x0 = 0, x1 = 0;
        around(4, &x0, &x1);
        EXPECT_LT(topOf(shot, spectrum, x0, x1, AnalyzerPens::kLeft), middle - 20)
            << name << ": the left peak at 440 Hz";
        around(10, &x0, &x1);
        EXPECT_LT(topOf(shot, spectrum, x0, x1, AnalyzerPens::kRight), bottom - 20)
            << name << ": the right peak at 1000 Hz";
        // Far from both tones the traces stay near their baselines.
        around(150, &x0, &x1);
        EXPECT_GT(topOf(shot, spectrum, x0, x1, AnalyzerPens::kLeft), middle - 10) << name;
        EXPECT_GT(topOf(shot, spectrum, x0, x1, AnalyzerPens::kRight), bottom - 10) << name;
    }

    // Runs inside the window's modal loop.
    void whileOpen() {
        ASSERT_NE(frame_->analyzerDialog, nullptr) << "the main window knows the window is open";
        audio::ui::AudioDialogModel& model = frame_->analyzerDialog->model();
        ASSERT_TRUE(model.workerRunning());
        ASSERT_TRUE(pumpUntil([&] { return model.analyzer().blocksProcessed() >= 2; }));
        pumpFor(100);  // the last block's images handed over and painted
        expectBothTones("analyzer-on-screen");

        std::string message;
        ASSERT_TRUE(rig_.box->unplug(&message)) << message;
        EXPECT_TRUE(pumpUntil([&] { return !model.workerRunning(); })) << "unplug";
        EXPECT_TRUE(pumpUntil([&] { return !frame_->host().captureManager->streaming; }));
        const uint64_t stopped = model.analyzer().blocksProcessed();
        pumpFor(1500);
        EXPECT_EQ(model.analyzer().blocksProcessed(), stopped) << "no block after the unplug";
        EXPECT_TRUE(frame_->analyzerDialog->isVisible()) << "the window stays open";

        ASSERT_TRUE(rig_.box->plug(&message)) << message;
        EXPECT_TRUE(pumpUntil([&] {
            return model.workerRunning() && frame_->host().captureManager->streaming;
        })) << "replug";
        EXPECT_TRUE(pumpUntil([&] { return model.analyzer().blocksProcessed() >= stopped + 2; }))
            << "blocks flow again";
        pumpFor(100);
        expectBothTones("analyzer-after-replug");
    }

    ::tovrel::testing::ScopedWorkingDirectory cwd_;
    HotplugRig rig_;
    std::unique_ptr<CTovrel2Frame> frame_;
};

TEST_F(AnalyzerGui, BothTonesOnScreenAndTheWorkerFollowsAnUnplugAndReplugWhileOpen) {
    bool ran = false;
    QTimer::singleShot(0, frame_.get(), [&] {
        ran = true;
        whileOpen();
        if (frame_->analyzerDialog) frame_->analyzerDialog->reject();
    });
    frame_->onCommand(CommandTable::kAudioAnalyze);  // returns once the window has closed
    EXPECT_TRUE(ran);
    EXPECT_EQ(frame_->analyzerDialog, nullptr);
    // The main window goes on without the analyzer.
    const uint64_t seen = frame_->presenter().presentedFrames;
    EXPECT_TRUE(pumpUntil([&] { return frame_->presenter().presentedFrames > seen + 3; }));
}

}  // namespace
}  // namespace tovrel::shell
