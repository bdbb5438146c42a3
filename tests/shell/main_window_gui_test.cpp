// The main window on a real X display with a real window manager (Xvfb and openbox from the
// test components): the picture on screen, the recording indicator and caption, the window
// states as the window manager reports them, the window manager's move and resize, and the
// capture restart of "Keep Aspect Ratio". Driven the way a user drives it: keys and the mouse
// through xdotool, the window manager's view through xprop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/mf_manager.h"
#include "platform/desktop/recording_execution_state.h"
#include "platform/desktop/recording_message_boxes.h"
#include "platform/system/debug_output.h"
#include "shell/command_table.h"
#include "shell/preview_presenter.h"
#include "shell/tovrel2_app.h"
#include "shell/tovrel2_edition.h"
#include "shell/tovrel2_frame.h"
#include "sim/backends/simulated_backends.h"
#include "test_backends.h"

namespace tovrel::shell {
namespace {

constexpr int kWaitMs = 10'000;

// Runs the event loop until `done` holds or the time is up.
template <typename Pred>
bool waitFor(Pred done, int timeoutMs = kWaitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

// A tool run to its end while the event loop keeps running, so that the window answers what the
// tool's keys and clicks ask of it.
std::string tool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(5000)) return "(could not start " + program.toStdString() + ")";
    waitFor([&] { return process.state() == QProcess::NotRunning; });
    return process.readAll().toStdString();
}

std::string xprop(WId window, const char* property) {
    return tool("xprop", {"-id", QString::number(window), property});
}

void xdotool(const QStringList& arguments) { tool("xdotool", arguments); }

// Puts the pointer at `at` and waits until it is there. xdotool's own --sync waits for a motion,
// which never comes when the pointer is there already (a test before left it there), so such a
// pointer is first moved aside.
void pointTo(const QPoint& at) {
    if (QCursor::pos() == at) {
        const QPoint aside = at + QPoint(at.x() > 100 ? -40 : 40, 0);
        xdotool({"mousemove", "--sync", QString::number(aside.x()), QString::number(aside.y())});
    }
    xdotool({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())});
}

// A drag with the left button from `from` to `to` that the window manager carries out (a move or
// a resize the window handed to it). On a busy machine the window manager may take the drag over
// only after the first motions went by, so the pointer keeps moving about the end point, as a
// hand would, for a while (until `arrived` holds, 1.5 s at most: some window managers tell the
// new geometry only at the release); then the button is let go and `arrived` awaited.
bool dragWithTheWindowManager(const QPoint& from, const QPoint& to,
                              const std::function<bool()>& arrived) {
    pointTo(from);
    xdotool({"mousedown", "1"});
    waitFor([] { return QGuiApplication::mouseButtons() & Qt::LeftButton; }, 2000);
    waitFor([] { return false; }, 200);
    const QPoint half = (from + to) / 2;
    xdotool({"mousemove", QString::number(half.x()), QString::number(half.y())});
    waitFor([] { return false; }, 100);
    int step = 0;
    waitFor(
        [&] {
            const QPoint at = to + QPoint(step++ % 2, 0);
            xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
            waitFor([] { return false; }, 50);
            return arrived();
        },
        1500);
    xdotool({"mousemove", QString::number(to.x()), QString::number(to.y())});
    waitFor([] { return false; }, 50);
    xdotool({"mouseup", "1"});
    return waitFor(arrived);
}

// The numbers of an xprop answer such as "NAME(TYPE) = 0x2, 0x1, 0x0".
std::vector<unsigned long> cardinals(const std::string& answer) {
    std::vector<unsigned long> values;
    const size_t equals = answer.find('=');
    if (equals == std::string::npos) return values;
    const char* at = answer.c_str() + equals + 1;
    for (;;) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(at, &end, 0);
        if (end == at) break;
        values.push_back(value);
        at = end;
        while (*at == ',' || *at == ' ') ++at;
    }
    return values;
}

bool isBlack(QRgb c) { return qRed(c) < 16 && qGreen(c) < 16 && qBlue(c) < 16; }
bool isRed(QRgb c) { return qRed(c) > 200 && qGreen(c) < 40 && qBlue(c) < 40; }

// Rows (or columns) of the image that are black across their whole length.
bool rowBlack(const QImage& image, int y) {
    for (int x = 0; x < image.width(); ++x)
        if (!isBlack(image.pixel(x, y))) return false;
    return true;
}
bool columnBlack(const QImage& image, int x) {
    for (int y = 0; y < image.height(); ++y)
        if (!isBlack(image.pixel(x, y))) return false;
    return true;
}

// The simulated box draws eight bars of equal width, blue seventh and black last, so the black
// bar's own pixels and a black border cannot be told apart: where the picture ends on the right
// is read from where its blue bar ends (7/8 of the picture's width from its left edge).
bool isBlue(QRgb c) { return qBlue(c) > 120 && qRed(c) < 60 && qGreen(c) < 60; }
int blueEnd(const QImage& image, int y) {
    int end = -1;
    for (int x = 0; x < image.width(); ++x)
        if (isBlue(image.pixel(x, y))) end = x + 1;
    return end;
}

class MainWindowGui : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs an X display with a window manager (the test components)";
        for (const char* name : {"HOME", "TMPDIR"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        cwd_ = std::make_unique<testing::ScopedWorkingDirectory>(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        // Recordings and the one-copy marker land in the test's own folder.
        ::setenv("HOME", cwd_->path().c_str(), 1);
        ::setenv("TMPDIR", cwd_->path().c_str(), 1);
        backends_ = sim::makeSimulatedBackends();
        auto boxes = std::make_unique<platform::RecordingMessageBoxes>();
        messageBoxes_ = boxes.get();
        backends_->messageBoxes = std::move(boxes);
        backends_->executionState = std::make_unique<platform::RecordingExecutionState>();
        backends_->windowClassMarker = std::make_unique<testing::InProcessMarker>();
        app_ = std::make_unique<CTovrel2App>(*backends_, kTovrel2Edition);
        ASSERT_TRUE(app_->initInstance());
        frame_ = app_->mainWindow();
        ASSERT_NE(frame_, nullptr);
        ASSERT_TRUE(messageBoxes_->boxes.empty());
        ASSERT_TRUE(waitFor([&] { return frame_->presenter().presentedFrames.load() > 5; }))
            << "no picture reached the window";
    }
    void TearDown() override {
        if (frame_) frame_->close();
        app_.reset();
        backends_.reset();
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        cwd_.reset();
    }

    // The native window as it is now: a change of the frame flags makes Qt replace the X window,
    // and QWidget::winId() keeps answering the one that was destroyed.
    WId window() const { return frame_->windowHandle()->winId(); }
    std::string windowManagerState() const { return xprop(window(), "_NET_WM_STATE"); }
    // Waits for the window's client area to take the size (the window manager answers a
    // request asynchronously) and for a frame drawn at that size to be put on screen.
    bool settleAt(QSize size) {
        if (!waitFor([&] { return frame_->size() == size; })) return false;
        const uint64_t seen = frame_->presenter().presentedFrames.load();
        return waitFor([&] { return frame_->presenter().presentedFrames.load() > seen + 3; });
    }
    QImage screenshot(const char* name) {
        QApplication::processEvents();
        const QImage image = QGuiApplication::primaryScreen()->grabWindow(window()).toImage();
        image.save(QString(SCREENSHOT_DIR "/") + name + ".png");
        return image;
    }
    QPoint clientCentre() const { return frame_->mapToGlobal(frame_->rect().center()); }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    std::unique_ptr<testing::ScopedWorkingDirectory> cwd_;
    std::unique_ptr<platform::Backends> backends_;
    platform::RecordingMessageBoxes* messageBoxes_ = nullptr;
    std::unique_ptr<CTovrel2App> app_;
    CTovrel2Frame* frame_ = nullptr;
};

// The stretched picture fills the client area and moves; "Keep Aspect Ratio" restarts capture
// with the other renderer on the same mode, and after every resize the black bars lie where the
// letterbox rule puts them for the new client size (not for the size the renderer began with).
TEST_F(MainWindowGui, StretchedThenLetterboxedAtTheRuleSizesAfterAKeepAspectRestart) {
    const QSize square(1000, 1000);
    frame_->resize(square);
    ASSERT_TRUE(settleAt(square));
    const QImage stretched = screenshot("stretched-1000x1000");
    ASSERT_EQ(stretched.size(), square);
    EXPECT_FALSE(rowBlack(stretched, 0));
    EXPECT_FALSE(rowBlack(stretched, 999));
    EXPECT_FALSE(columnBlack(stretched, 0));
    for (int y : {20, 980}) EXPECT_NEAR(blueEnd(stretched, y), 875, 2) << "row " << y;
    QImage later;
    EXPECT_TRUE(waitFor([&] {
        later = QGuiApplication::primaryScreen()->grabWindow(window()).toImage();
        return later != stretched;
    })) << "the picture does not move";

    capture::MFManager* before = frame_->host().captureManager.get();
    ASSERT_NE(before, nullptr);
    const uint32_t width = before->width, height = before->height;
    const float rate = before->frameRate;
    ASSERT_FALSE(before->keepAspect);
    frame_->onCommand(CommandTable::kKeepAspectRatio);
    capture::MFManager* m = frame_->host().captureManager.get();
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->keepAspect);
    EXPECT_TRUE(m->streaming);
    EXPECT_TRUE(m->d3dDevice) << "the aspect-keeping renderer";
    EXPECT_FALSE(m->d2dTarget);
    EXPECT_EQ(m->width, width);
    EXPECT_EQ(m->height, height);
    EXPECT_EQ(m->frameRate, rate);
    EXPECT_EQ(frame_->settings.settingAspectRatio, 1);
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Tovrel2-Preview-1920x1080p@60.00");
    ASSERT_TRUE(settleAt(square));

    const QImage boxed = screenshot("letterbox-1000x1000");
    ASSERT_EQ(boxed.size(), square);
    // 1000 x 1000: the picture in rows 218 to 780, black above and below.
    EXPECT_EQ(m->destRect, (capture::PreviewGeometry::Rect{0, 218, 1000, 781}));
    for (int y : {0, 100, 217, 781, 900, 999}) EXPECT_TRUE(rowBlack(boxed, y)) << "row " << y;
    for (int y : {218, 500, 780}) EXPECT_FALSE(rowBlack(boxed, y)) << "row " << y;
    EXPECT_FALSE(columnBlack(boxed, 0));
    for (int y : {230, 770}) EXPECT_NEAR(blueEnd(boxed, y), 875, 2) << "row " << y;

    // 2000 x 500, wider than the screen: the window is borderless at the screen's left edge so
    // that the window manager grants the size; the part past the screen's edge is not on
    // screen, so the window's own drawing of that size is read.
    frame_->onCommand(CommandTable::kShowCaption);
    ASSERT_TRUE(waitFor([&] { return windowManagerState().find("ABOVE") != std::string::npos; }));
    const QSize wide(2000, 500);
    frame_->setGeometry(QRect(QPoint(0, 0), wide));
    ASSERT_TRUE(settleAt(wide)) << "the window manager kept " << frame_->width() << "x"
                                << frame_->height();
    EXPECT_EQ(m->destRect, (capture::PreviewGeometry::Rect{555, 0, 1444, 500}));
    const QImage wideShot = frame_->grab().toImage().convertToFormat(QImage::Format_RGB32);
    wideShot.save(SCREENSHOT_DIR "/letterbox-2000x500.png");
    ASSERT_EQ(wideShot.size(), wide);
    for (int x : {0, 300, 554, 1444, 1700, 1999})
        EXPECT_TRUE(columnBlack(wideShot, x)) << "column " << x;
    for (int x : {555, 1000}) EXPECT_FALSE(columnBlack(wideShot, x)) << "column " << x;
    // The picture is 889 wide from 555: its blue bar ends at 555 + 7 * 889 / 8.
    for (int y : {20, 480}) EXPECT_NEAR(blueEnd(wideShot, y), 1333, 2) << "row " << y;
    EXPECT_FALSE(rowBlack(wideShot, 0));
    EXPECT_FALSE(rowBlack(wideShot, 499));
    // What reached the screen is the same picture as far as the screen reaches.
    const QImage onScreen = screenshot("letterbox-2000x500-on-screen");
    for (int x : {554, 1444}) {
        ASSERT_LT(x, onScreen.width());
        EXPECT_TRUE(columnBlack(onScreen, x)) << "column " << x << " on screen";
    }
    EXPECT_FALSE(columnBlack(onScreen, 555));
}

// One recording at a time: while the screen is recorded the box's recording command does
// nothing, and the other way round; each stop sends the box its notice and says "Preview" again.
TEST_F(MainWindowGui, TheBoxAndTheScreenRecordingExcludeEachOther) {
    capture::MFManager& m = *frame_->host().captureManager;
    int boxStarts = 0, screenStarts = 0, stops = 0, notices = 0;
    frame_->entryPoints.StartRecording = [&](const std::string&, int, int, int, bool) {
        ++boxStarts;
        m.recording = true;
        return platform::S_OK;
    };
    frame_->entryPoints.StopRecording = [&] {
        ++stops;
        m.recording = false;
    };
    frame_->entryPoints.StartScreenRecording = [&](const std::string&, int, int, int, bool) {
        ++screenStarts;
        m.screenRecording = true;
        return platform::S_OK;
    };
    frame_->entryPoints.StopScreenRecording = [&] {
        ++stops;
        m.screenRecording = false;
    };
    frame_->entryPoints.RecordStop = [&] { ++notices; };
    const auto title = [&] { return frame_->windowTitle().toStdString(); };

    frame_->onCommand(CommandTable::kScreenRecording);
    EXPECT_EQ(title().rfind("Tovrel2-Capture Screen", 0), 0u) << title();
    frame_->onCommand(CommandTable::kRecording);
    EXPECT_EQ(boxStarts, 0) << "the box recording started over the screen recording";
    frame_->onCommand(CommandTable::kScreenRecording);
    EXPECT_FALSE(m.screenRecording);
    EXPECT_EQ(title(), "Tovrel2-Preview-1920x1080p@60.00");

    frame_->onCommand(CommandTable::kRecording);
    EXPECT_EQ(title().rfind("Tovrel2-Capture", 0), 0u) << title();
    frame_->onCommand(CommandTable::kScreenRecording);
    EXPECT_EQ(screenStarts, 1) << "the screen recording started over the box recording";
    frame_->onCommand(CommandTable::kRecording);
    EXPECT_FALSE(m.recording);
    EXPECT_EQ(title(), "Tovrel2-Preview-1920x1080p@60.00");
    EXPECT_EQ(boxStarts, 1);
    EXPECT_EQ(stops, 2);
    EXPECT_EQ(notices, 2);
}

// A recording whose file can no longer be written (a full disk, its folder removed) ends as the
// user's own stop ends it: the writer closed, the box told, the caption back to "Preview", and
// the reason said once. The same for the screen recording.
TEST_F(MainWindowGui, ARecordingWhoseFileCanNoLongerBeWrittenStopsAsTheUsersStopWould) {
    capture::MFManager& m = *frame_->host().captureManager;
    int stops = 0, notices = 0;
    platform::HRESULT failure = platform::S_OK;
    frame_->entryPoints.StartRecording = [&](const std::string&, int, int, int, bool) {
        m.recording = true;
        return platform::S_OK;
    };
    frame_->entryPoints.StopRecording = [&] {
        ++stops;
        m.recording = false;
    };
    frame_->entryPoints.StartScreenRecording = [&](const std::string&, int, int, int, bool) {
        m.screenRecording = true;
        return platform::S_OK;
    };
    frame_->entryPoints.StopScreenRecording = [&] {
        ++stops;
        m.screenRecording = false;
    };
    frame_->entryPoints.RecordingWriteFailure = [&] { return failure; };
    frame_->entryPoints.ScreenRecordingWriteFailure = [&] { return failure; };
    frame_->entryPoints.RecordStop = [&] { ++notices; };
    std::mutex linesMutex;
    std::vector<std::string> lines;
    const platform::DebugSink previous = platform::setDebugOutputSink([&](std::string_view line) {
        std::lock_guard lock(linesMutex);
        lines.emplace_back(line);
    });
    const auto title = [&] { return frame_->windowTitle().toStdString(); };
    const auto told = [&](const std::string& what) {
        std::lock_guard lock(linesMutex);
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind(what + ": its file can no longer be written (0x8007001C)", 0) == 0;
        });
    };

    for (const bool screen : {false, true}) {
        SCOPED_TRACE(screen ? "screen" : "box");
        const std::string what = screen ? "screen recording" : "recording";
        failure = platform::S_OK;
        frame_->onCommand(screen ? CommandTable::kScreenRecording : CommandTable::kRecording);
        ASSERT_EQ(title().rfind(screen ? "Tovrel2-Capture Screen" : "Tovrel2-Capture", 0), 0u);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 700) QApplication::processEvents();
        EXPECT_EQ(stops, screen ? 1 : 0) << "stopped while its file took everything";

        failure = static_cast<platform::HRESULT>(0x80070000u | ENOSPC);
        EXPECT_TRUE(waitFor([&] { return title() == "Tovrel2-Preview-1920x1080p@60.00"; }))
            << title();
        EXPECT_EQ(stops, screen ? 2 : 1);
        EXPECT_EQ(notices, screen ? 2 : 1) << "the box was not told the recording stopped";
        timer.restart();
        while (timer.elapsed() < 700) QApplication::processEvents();
        EXPECT_EQ(told(what), 1);
    }
    platform::setDebugOutputSink(previous);
}

// While a recording runs the square (10,10)-(30,30) is red for about one second in two, and the
// caption counts the recording's time about once a second, hours unbounded.
TEST_F(MainWindowGui, RecordingBlinksTheIndicatorAndCountsInTheCaption) {
    frame_->entryPoints.StartRecording = [this](const std::string&, int, int, int, bool) {
        frame_->host().captureManager->recording = true;
        return platform::S_OK;
    };
    frame_->entryPoints.StopRecording = [this] {
        frame_->host().captureManager->recording = false;
    };

    QElapsedTimer clock;
    clock.start();
    frame_->onCommand(CommandTable::kRecording);
    ASSERT_TRUE(frame_->host().captureManager->recording);
    std::vector<std::pair<int64_t, bool>> samples;  // (ms, square red)
    std::vector<std::pair<int64_t, std::string>> captions;
    QImage shot;
    bool savedOn = false;
    while (clock.elapsed() < 4200) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        shot = QGuiApplication::primaryScreen()->grabWindow(window(), 0, 0, 40, 40).toImage();
        const bool on = isRed(shot.pixel(10, 10)) && isRed(shot.pixel(29, 29)) &&
                        !isRed(shot.pixel(30, 30)) && !isRed(shot.pixel(9, 9));
        samples.emplace_back(clock.elapsed(), on);
        if (on && !savedOn) {
            savedOn = true;
            screenshot("recording-indicator-on");
        }
        const std::string title = frame_->windowTitle().toStdString();
        if (captions.empty() || captions.back().second != title)
            captions.emplace_back(clock.elapsed(), title);
        QThread::msleep(20);
    }

    // The square's on and off stretches: about a second each (frames late under load only
    // lengthen them), so at least one whole stretch of each lies in the four seconds.
    std::vector<std::pair<bool, int64_t>> stretches;  // (on, length) of whole stretches
    size_t begin = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (samples[i].second == samples[begin].second) continue;
        if (begin != 0)
            stretches.emplace_back(samples[begin].second, samples[i].first - samples[begin].first);
        begin = i;
    }
    int onStretches = 0, offStretches = 0;
    for (const auto& [on, length] : stretches) {
        (on ? onStretches : offStretches)++;
        EXPECT_GT(length, 600) << (on ? "on" : "off");
        EXPECT_LT(length, 1800) << (on ? "on" : "off");
    }
    EXPECT_GE(onStretches + offStretches, 2) << "the square does not blink";

    // The caption says "Capture" and then the recording's elapsed time. Each time it shows is
    // the time since the start, never ahead of it and behind it by less than the second it
    // counts plus the 300 ms timer (with room for a loaded machine); it counts on second by
    // second, so a late turn of the timer may skip one but never runs back.
    const std::string prefix = "Tovrel2-Capture(", suffix = ")-1920x1080p@60.00";
    std::vector<std::pair<int64_t, int>> shown;  // (ms since the start, seconds shown)
    for (const auto& [ms, title] : captions) {
        if (title == "Tovrel2-Capture-1920x1080p@60.00" && shown.empty()) continue;
        ASSERT_EQ(title.rfind(prefix, 0), 0u) << title;
        ASSERT_GT(title.size(), prefix.size() + suffix.size()) << title;
        ASSERT_EQ(title.substr(title.size() - suffix.size()), suffix) << title;
        const std::string time =
            title.substr(prefix.size(), title.size() - prefix.size() - suffix.size());
        ASSERT_EQ(time.size(), 8u) << title;
        ASSERT_EQ(time.substr(0, 6), "00:00:") << title;
        shown.emplace_back(ms, std::stoi(time.substr(6)));
    }
    ASSERT_GE(shown.size(), 3u) << "the caption does not count";
    EXPECT_LE(shown.front().second, 1) << "the first time shown";
    for (size_t i = 0; i < shown.size(); ++i) {
        const auto [ms, seconds] = shown[i];
        EXPECT_LE(seconds * 1000, ms + 50) << seconds << " s shown at " << ms << " ms";
        EXPECT_LT(ms - seconds * 1000, 1000 + 300 + 700)
            << seconds << " s shown at " << ms << " ms";
        if (i > 0) {
            EXPECT_GT(seconds, shown[i - 1].second);
        }
    }
    // The window manager shows the same title.
    EXPECT_NE(xprop(window(), "_NET_WM_NAME").find("Capture(00:00:0"), std::string::npos);

    // A hundred hours in: the hours are not cut to two digits.
    frame_->recordStartTick -= 100ull * 3600 * 1000;
    EXPECT_TRUE(waitFor([&] {
        return xprop(window(), "_NET_WM_NAME").find("\"Tovrel2-Capture(100:00:0") !=
               std::string::npos;
    })) << xprop(window(), "_NET_WM_NAME");

    frame_->onCommand(CommandTable::kRecording);
    EXPECT_FALSE(frame_->host().captureManager->recording);
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Tovrel2-Preview-1920x1080p@60.00");
    // The indicator is gone once the recording ends.
    const uint64_t seen = frame_->presenter().presentedFrames.load();
    ASSERT_TRUE(waitFor([&] { return frame_->presenter().presentedFrames.load() > seen + 3; }));
    shot = QGuiApplication::primaryScreen()->grabWindow(window(), 0, 0, 40, 40).toImage();
    EXPECT_FALSE(isRed(shot.pixel(20, 20)));
}

// H hides the caption: the window manager then shows the window without a frame and above the
// others; H again brings the frame back and ends the always-on-top.
TEST_F(MainWindowGui, HidingTheCaptionMakesTheWindowBorderlessAndOnTop) {
    const QSize client = frame_->size();
    EXPECT_EQ(windowManagerState().find("_NET_WM_STATE_ABOVE"), std::string::npos);
    xdotool({"windowactivate", "--sync", QString::number(window()), "key", "h"});
    ASSERT_TRUE(waitFor([&] { return frame_->captionShown == 0; }));
    EXPECT_TRUE(waitFor([&] {
        return windowManagerState().find("_NET_WM_STATE_ABOVE") != std::string::npos;
    })) << windowManagerState();
    EXPECT_TRUE(waitFor([&] {
        return xprop(window(), "_NET_FRAME_EXTENTS").find("= 0, 0, 0, 0") != std::string::npos;
    })) << xprop(window(), "_NET_FRAME_EXTENTS");
    // Motif hints (flags, functions, decorations, ...): the decorations field given, and none.
    const std::vector<unsigned long> motif = cardinals(xprop(window(), "_MOTIF_WM_HINTS"));
    ASSERT_GE(motif.size(), 3u) << xprop(window(), "_MOTIF_WM_HINTS");
    EXPECT_TRUE(motif[0] & 0x2) << xprop(window(), "_MOTIF_WM_HINTS");
    EXPECT_EQ(motif[2], 0u) << xprop(window(), "_MOTIF_WM_HINTS");
    EXPECT_TRUE(frame_->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(settleAt(client)) << "the client area keeps its size";

    xdotool({"windowactivate", "--sync", QString::number(window()), "key", "h"});
    ASSERT_TRUE(waitFor([&] { return frame_->captionShown == 1; }));
    EXPECT_TRUE(waitFor(
        [&] { return windowManagerState().find("_NET_WM_STATE_ABOVE") == std::string::npos; }));
    EXPECT_TRUE(waitFor([&] {
        const std::string extents = xprop(window(), "_NET_FRAME_EXTENTS");
        return extents.find("= ") != std::string::npos &&
               extents.find("= 0, 0, 0, 0") == std::string::npos;
    })) << xprop(window(), "_NET_FRAME_EXTENTS");
}

// A double-click on the picture and Esc enter and leave full screen; H does nothing there.
TEST_F(MainWindowGui, DoubleClickAndEscEnterAndLeaveFullScreenWhereHDoesNothing) {
    const QSize client = frame_->size();
    const QPoint centre = clientCentre();
    pointTo(centre);
    xdotool({"click", "--repeat", "2", "--delay", "80", "1"});
    ASSERT_TRUE(waitFor([&] {
        return windowManagerState().find("_NET_WM_STATE_FULLSCREEN") != std::string::npos;
    })) << windowManagerState();
    EXPECT_EQ(frame_->fullScreen, 1u);
    ASSERT_TRUE(settleAt(QSize(1920, 1080)));
    screenshot("full-screen");

    xdotool({"windowactivate", "--sync", QString::number(window()), "key", "h"});
    QElapsedTimer grace;
    grace.start();
    waitFor([&] { return grace.elapsed() > 300; });
    EXPECT_EQ(frame_->captionShown, 1u) << "H in full screen";
    EXPECT_NE(windowManagerState().find("_NET_WM_STATE_FULLSCREEN"), std::string::npos);
    EXPECT_EQ(windowManagerState().find("_NET_WM_STATE_ABOVE"), std::string::npos);

    xdotool({"windowactivate", "--sync", QString::number(window()), "key", "Escape"});
    ASSERT_TRUE(waitFor([&] {
        return windowManagerState().find("_NET_WM_STATE_FULLSCREEN") == std::string::npos;
    }));
    EXPECT_EQ(frame_->fullScreen, 0u);
    EXPECT_TRUE(settleAt(client)) << "back at " << frame_->width() << "x" << frame_->height()
                                  << ", was " << client.width() << "x" << client.height();

    // A maximise by the window manager (a double-click on the title bar) is the same full
    // screen: no frame, the whole screen, and F leaves it.
    const QRect outer = frame_->frameGeometry();
    pointTo(QPoint(outer.center().x(), (outer.top() + frame_->geometry().top()) / 2));
    xdotool({"click", "--repeat", "2", "--delay", "80", "1"});
    ASSERT_TRUE(waitFor([&] {
        return windowManagerState().find("_NET_WM_STATE_FULLSCREEN") != std::string::npos;
    })) << windowManagerState();
    EXPECT_EQ(frame_->fullScreen, 1u);
    EXPECT_TRUE(settleAt(QSize(1920, 1080)));
    EXPECT_EQ(cardinals(xprop(window(), "_NET_FRAME_EXTENTS")),
              (std::vector<unsigned long>{0, 0, 0, 0}));
    xdotool({"windowactivate", "--sync", QString::number(window()), "key", "f"});
    ASSERT_TRUE(waitFor([&] {
        const std::string state = windowManagerState();
        return state.find("_NET_WM_STATE_FULLSCREEN") == std::string::npos &&
               state.find("_NET_WM_STATE_MAXIMIZED") == std::string::npos;
    })) << windowManagerState();
    EXPECT_EQ(frame_->fullScreen, 0u);
    EXPECT_TRUE(settleAt(client)) << "back at " << frame_->width() << "x" << frame_->height();
}

// The borderless window: a press in the right edge's 3 pixels resizes it with the window
// manager, a press in the middle moves it.
TEST_F(MainWindowGui, TheBorderlessWindowResizesFromItsEdgeAndMovesFromItsMiddle) {
    frame_->onCommand(CommandTable::kShowCaption);
    ASSERT_TRUE(waitFor([&] {
        return xprop(window(), "_NET_FRAME_EXTENTS").find("= 0, 0, 0, 0") != std::string::npos;
    }));
    ASSERT_TRUE(settleAt(frame_->size()));
    const QRect start = frame_->geometry();

    // Right edge: drag 120 pixels to the right.
    const QPoint edge = frame_->mapToGlobal(QPoint(frame_->width() - 2, frame_->height() / 2));
    EXPECT_TRUE(dragWithTheWindowManager(
        edge, edge + QPoint(120, 0),
        [&] { return std::abs(frame_->width() - (start.width() + 120)) <= 4; }))
        << "width " << frame_->width() << ", was " << start.width();
    EXPECT_LE(std::abs(frame_->height() - start.height()), 2);
    EXPECT_LE(std::abs(frame_->geometry().left() - start.left()), 2) << "the left edge stays";

    // Middle: drag 100 left and 60 up.
    const QRect resized = frame_->geometry();
    const QPoint middle = clientCentre();
    EXPECT_TRUE(dragWithTheWindowManager(
        middle, middle - QPoint(100, 60),
        [&] {
            const QPoint moved = frame_->geometry().topLeft() - resized.topLeft();
            return std::abs(moved.x() + 100) <= 4 && std::abs(moved.y() + 60) <= 4;
        }))
        << "moved to " << frame_->geometry().left() << "," << frame_->geometry().top() << " from "
        << resized.left() << "," << resized.top();
    EXPECT_EQ(frame_->size(), resized.size()) << "a move keeps the size";
}

}  // namespace
}  // namespace tovrel::shell
