#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/audio_analyzer.h"
#include "audio/audio_format.h"
#include "audio/audio_ring.h"
#include "audio/ui/scope_renderer.h"
#include "platform/system/clock.h"
#include "platform/system/thread_checker.h"

namespace tovrel::audio::ui {

// The analyzer window without its widgets: the controls' ranges, positions and labels, what each
// control does to the analyzer, the read-outs, both pane images, and the start and stop of the
// worker. The window shows what this gives; tests drive it directly.
// Threads: everything on the window's thread (checked in debug builds) except the two callbacks,
// which the worker calls; the spectrum image is drawn on the worker.
class AudioDialogModel {
  public:
    enum class Side { Left, Right };
    struct SliderSetup {
        int32_t minimum;
        int32_t maximum;
        int32_t position;
    };
    struct Selection {
        int32_t minimum = 0;
        int32_t maximum = 0;
    };

    // How often the window redraws the scope between blocks, so that the automatic scroll moves
    // the trace smoothly through the last second.
    static constexpr int kScopeRefreshMs = 20;

    AudioDialogModel(const AudioFormat& format, AudioRing& ring, platform::Clock& clock);
    ~AudioDialogModel();
    AudioDialogModel(const AudioDialogModel&) = delete;
    AudioDialogModel& operator=(const AudioDialogModel&) = delete;

    // The window's initialisation, given the panes' pixel sizes: the defaults, the images, and
    // the worker started (unless there is no format). Once.
    void open(QSize scopePane, QSize spectrumPane);
    // The window's closing: the worker stopped and joined. Safe twice.
    void close();
    // For capture restarts while the window is open: leave the worker's loop and wait for it;
    // start a new one as the initialisation does unless one runs.
    void stopWorker();
    void restartWorker();
    bool workerRunning() const { return analyzer_.running(); }

    SliderSetup gainSlider(Side side) const;
    SliderSetup offsetSlider(Side side) const;
    SliderSetup timeBaseSlider() const;
    SliderSetup positionSlider() const;

    // Control handling; each redraws the scope.
    void onGain(Side side, int32_t position);
    void onOffset(Side side, int32_t position);
    void onTimeBase(int32_t position);
    void onPosition(int32_t position);
    void onFreeze(bool checked);
    void onTrigger(bool checked);

    std::string gainLabel(Side side) const;
    std::string offsetLabel(Side side) const;
    std::string timeBaseLabel() const;
    std::string formatText() const;
    const std::string& bufferSizeText() const { return bufferSizeText_; }
    const std::string& deltaText() const { return deltaText_; }
    const std::string& startTimeText() const { return startTimeText_; }
    const std::string& endTimeText() const { return endTimeText_; }
    Selection selection() const { return selection_; }

    int32_t gainIndex(Side side) const { return side == Side::Left ? gainLeft_ : gainRight_; }
    int32_t offset(Side side) const { return side == Side::Left ? offsetLeft_ : offsetRight_; }
    int32_t timeBaseIndex() const { return timeBase_; }
    int32_t scroll() const { return scroll_; }
    bool freeze() const { return analyzer_.freeze.load(); }
    bool trigger() const { return analyzer_.trigger.load(); }
    // Samples across the scope: history length / divisor of the time base.
    int32_t visibleSamples() const;

    // Draws the scope from the history as it is now, then updates the read-outs and the
    // automatic scroll. Returns the new image.
    const QImage& redrawScope();
    const QImage& scopeImage() const { return scopeImage_; }
    // The scope's plain every-point drawing, the reference the benchmark holds the column
    // reduction against.
    void setScopeEveryPoint(bool everyPoint) { scopeRenderer_.setEveryPoint(everyPoint); }
    // The shown window of the last redraw.
    const ScopeWindow::Span& lastSpan() const { return span_; }

    // Worker thread: a finished spectrum image after each block; then the block has been taken
    // into the history (or not). Set before open; they must not wait for the window's thread.
    std::function<void(const QImage&)> spectrumReady;
    std::function<void()> blockArrived;

    AudioAnalyzer& analyzer() { return analyzer_; }
    const AudioAnalyzer& analyzer() const { return analyzer_; }

  private:
    void updateReadouts();

    AudioAnalyzer analyzer_;
    platform::ThreadChecker thread_;
    bool opened_ = false;
    int32_t scopeHeight_ = 0;
    int32_t gainLeft_;
    int32_t gainRight_;
    int32_t offsetLeft_ = 0;
    int32_t offsetRight_ = 0;
    int32_t timeBase_;
    int32_t scroll_;
    Selection selection_;
    std::string bufferSizeText_;
    std::string deltaText_;
    std::string startTimeText_;
    std::string endTimeText_;
    ScopeWindow::Span span_;
    QImage scopeImage_;
    ScopeRenderer scopeRenderer_;
    QImage spectrumImage_;  // the worker's once it runs
};

}  // namespace tovrel::audio::ui
