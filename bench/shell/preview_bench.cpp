// The live picture on an X display (Xvfb with a window manager: the test components).
//
// BM_LivePreview: the main window on the simulated box at 1920x1080 and 60 frames a second, in a
// 960x540 window and in full screen, for TOVREL_PREVIEW_SECONDS (60 unless set): the frames put
// on the screen per second (counted where they are painted), the render thread's and the GUI
// thread's cost per frame (median and 99th percentile), and the allocations each thread makes
// per presented frame while it runs.
//
// BM_PresentStep against BM_DrawImageScaled: the GUI thread's step alone, repeated on a shown
// window, side by side with the plainest Qt way of putting the box's frame on screen
// (QPainter::drawImage of the full 1920x1080 frame scaled into the widget, with the painter's
// default, unsmoothed scaling). Each repaint goes through the backing store to the X server, as
// the live window's does. Their allocations per frame are Qt's own repaint and painter set-up:
// what the live window's GUI thread allocates beyond them is ours.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "capture/mf_manager.h"
#include "platform/desktop/recording_execution_state.h"
#include "platform/desktop/recording_message_boxes.h"
#include "shell/command_table.h"
#include "shell/preview_presenter.h"
#include "shell/tovrel2_app.h"
#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"
#include "sim/backends/simulated_backends.h"
#include "tests/shell/test_backends.h"

// --- allocations by thread, counted only while a measurement runs ---

namespace {
enum class Counted { kNone, kGui, kRender };
thread_local Counted tCounted = Counted::kNone;
std::atomic<bool> gCounting{false};
std::atomic<int64_t> gGuiAllocations{0};
std::atomic<int64_t> gRenderAllocations{0};

void noteAllocation() {
    if (!gCounting.load(std::memory_order_relaxed)) return;
    if (tCounted == Counted::kGui) gGuiAllocations.fetch_add(1, std::memory_order_relaxed);
    if (tCounted == Counted::kRender) gRenderAllocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

void* operator new(std::size_t size) {
    noteAllocation();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace tovrel;

double percentileMs(std::vector<int64_t> ns, double p) {
    if (ns.empty()) return 0;
    std::sort(ns.begin(), ns.end());
    return static_cast<double>(ns[std::min(
               ns.size() - 1, static_cast<size_t>(p * static_cast<double>(ns.size())))]) /
           1e6;
}

bool onXDisplay(benchmark::State& state) {
    if (QGuiApplication::platformName() == "xcb") return true;
    state.SkipWithError("needs an X display with a window manager (the test components)");
    return false;
}

void pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Per-frame costs written by the thread that measures them into room reserved beforehand.
struct CostLog {
    explicit CostLog(size_t room) : ns(room) {}
    void add(int64_t value) {
        const size_t i = count.fetch_add(1, std::memory_order_relaxed);
        if (i < ns.size()) ns[i] = value;
    }
    std::vector<int64_t> taken() const {
        return std::vector<int64_t>(ns.begin(), ns.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                 ns.size(), count.load())));
    }
    std::vector<int64_t> ns;
    std::atomic<size_t> count{0};
};

// Argument: 0 for the 960x540 window, 1 for full screen.
void BM_LivePreview(benchmark::State& state) {
    if (!onXDisplay(state)) return;
    const bool fullScreen = state.range(0) != 0;
    const char* seconds = std::getenv("TOVREL_PREVIEW_SECONDS");
    const int measureMs = (seconds ? std::max(1, std::atoi(seconds)) : 60) * 1000;

    testing::ScopedWorkingDirectory cwd(fullScreen ? "preview-bench-full" : "preview-bench-window");
    ::setenv("HOME", cwd.path().c_str(), 1);
    auto backends = sim::makeSimulatedBackends();
    backends->messageBoxes = std::make_unique<platform::RecordingMessageBoxes>();
    backends->executionState = std::make_unique<platform::RecordingExecutionState>();
    backends->windowClassMarker = std::make_unique<testing::InProcessMarker>();
    auto app = std::make_unique<shell::CTovrel2App>(*backends, shell::kTovrel2Edition);
    if (!app->initInstance() || app->mainWindow() == nullptr ||
        !app->mainWindow()->host().captureManager) {
        state.SkipWithError("the main window did not start");
        return;
    }
    shell::CTovrel2Frame* frame = app->mainWindow();
    if (fullScreen) {
        frame->onCommand(shell::CommandTable::kFullScreen);
    } else {
        frame->resize(960, 540);
    }
    pump(2000);  // the window manager's answer and a settled renderer
    const QSize client = frame->size();

    const size_t room = static_cast<size_t>(measureMs / 1000 + 5) * 70;
    CostLog gui(room), render(room);
    frame->presenter().guiCostObserver = [&gui](int64_t ns) { gui.add(ns); };
    frame->host().captureManager->renderCostObserver = [&render](int64_t ns) {
        tCounted = Counted::kRender;  // from its first frame on, this thread's allocations count
        render.add(ns);
    };
    pump(200);
    gui.count = 0;
    render.count = 0;
    tCounted = Counted::kGui;
    gGuiAllocations = 0;
    gRenderAllocations = 0;
    const uint64_t before = frame->presenter().presentedFrames.load();
    QElapsedTimer timer;
    gCounting = true;
    timer.start();
    for (auto _ : state) {
        pump(measureMs);
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    gCounting = false;
    const double elapsed = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const auto presented = static_cast<double>(frame->presenter().presentedFrames.load() - before);
    tCounted = Counted::kNone;
    frame->presenter().guiCostObserver = nullptr;
    frame->host().captureManager->renderCostObserver = nullptr;

    const std::vector<int64_t> guiNs = gui.taken();
    const std::vector<int64_t> renderNs = render.taken();
    state.counters["presented_fps"] = presented / elapsed;
    state.counters["rendered_fps"] = static_cast<double>(render.count.load()) / elapsed;
    state.counters["gui_median_ms"] = percentileMs(guiNs, 0.5);
    state.counters["gui_p99_ms"] = percentileMs(guiNs, 0.99);
    state.counters["render_median_ms"] = percentileMs(renderNs, 0.5);
    state.counters["render_p99_ms"] = percentileMs(renderNs, 0.99);
    state.counters["gui_allocs_per_frame"] =
        presented > 0 ? static_cast<double>(gGuiAllocations.load()) / presented : 0;
    state.counters["render_allocs_per_frame"] =
        render.count > 0 ? static_cast<double>(gRenderAllocations.load()) /
                               static_cast<double>(render.count.load())
                         : 0;
    state.SetLabel(std::to_string(client.width()) + "x" + std::to_string(client.height()) +
                   (fullScreen ? " full screen" : " window"));
    frame->close();
    app.reset();
}
BENCHMARK(BM_LivePreview)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// Counts this thread's allocations while it lives and reports them per iteration.
class Counting {
  public:
    explicit Counting(benchmark::State& state) : state_(state) {
        tCounted = Counted::kGui;
        gGuiAllocations = 0;
        gCounting = true;
    }
    ~Counting() {
        gCounting = false;
        tCounted = Counted::kNone;
        state_.counters["allocs_per_frame"] =
            static_cast<double>(gGuiAllocations.load()) /
            static_cast<double>(std::max<benchmark::IterationCount>(state_.iterations(), 1));
    }

  private:
    benchmark::State& state_;
};

// A shown window of the given client size whose paint event is the step being measured.
class StepWindow final : public QWidget {
  public:
    std::function<void(QPainter&)> step;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        step(painter);
    }
};

std::unique_ptr<StepWindow> shownWindow(int width, int height) {
    auto window = std::make_unique<StepWindow>();
    window->setAttribute(Qt::WA_OpaquePaintEvent);
    window->step = [](QPainter& painter) { painter.fillRect(painter.window(), Qt::black); };
    if (width >= QGuiApplication::primaryScreen()->size().width()) {
        window->showFullScreen();
    } else {
        window->resize(width, height);
        window->show();
    }
    pump(1000);
    return window;
}

// The window's step: the newest of the images the render thread drew at the client size, put
// on screen unscaled.
void BM_PresentStep(benchmark::State& state) {
    if (!onXDisplay(state)) return;
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    std::unique_ptr<StepWindow> window = shownWindow(width, height);
    shell::PreviewPresenter presenter(window.get());
    presenter.images().reserve(window->width(), window->height());
    window->step = [&presenter](QPainter& painter) { presenter.paint(painter); };
    const Counting counting(state);
    for (auto _ : state) {
        // What the render thread hands over each frame (its drawing is not the GUI's cost).
        capture::PreviewImages::Image* image = presenter.images().beginWrite();
        image->bgra[0] = static_cast<uint8_t>(state.iterations());
        presenter.images().publish(image);
        window->repaint();
    }
    state.SetLabel(std::to_string(window->width()) + "x" + std::to_string(window->height()));
}

// The anchor: the box's full frame, scaled into the widget by QPainter as it draws.
void BM_DrawImageScaled(benchmark::State& state) {
    if (!onXDisplay(state)) return;
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    std::unique_ptr<StepWindow> window = shownWindow(width, height);
    QImage frame(1920, 1080, QImage::Format_RGB32);
    frame.fill(Qt::darkCyan);
    window->step = [&frame, &window](QPainter& painter) {
        painter.drawImage(window->rect(), frame);
    };
    const Counting counting(state);
    for (auto _ : state) {
        frame.bits()[0] = static_cast<uchar>(state.iterations());
        window->repaint();
    }
    state.SetLabel(std::to_string(window->width()) + "x" + std::to_string(window->height()));
}

BENCHMARK(BM_PresentStep)->Args({960, 540})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawImageScaled)->Args({960, 540})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // No session bus of its own outliving the run.
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
