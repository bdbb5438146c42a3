#include "shell/tovrel2_app.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

#include "device/box_operations.h"
#include "platform/system/system_version.h"
#include "shell/initial_geometry.h"
#include "shell/shell_texts.h"
#include "shell/signal_closer.h"
#include "shell/tovrel2_frame.h"

namespace tovrel::shell {

CTovrel2App::CTovrel2App(platform::Backends& backends, const Edition& edition)
    : backends_(backends), edition_(edition) {
    if (edition.features.boxRegisters && backends.extensionUnits) {
        box_ = std::make_unique<device::BoxOperations>(*backends.extensionUnits, *backends.clock,
                                                       backends.captureEndpoints.get());
    }
}

CTovrel2App::~CTovrel2App() {
    if (frame_) backends_.windowClassMarker->release();
}

bool CTovrel2App::initInstance() {
    if (backends_.windowClassMarker->findAndRaise(edition_.windowClassName)) return false;

    if (!platform::SystemVersion::atLeast(10, 0, 0)) {
        backends_.messageBoxes->show(nullptr, ShellTexts::kVersionMessage,
                                     ShellTexts::kVersionCaption);
        return false;
    }

    frame_ = std::make_unique<CTovrel2Frame>(backends_, edition_, box_.get());
    CTovrel2Frame* frame = frame_.get();
    if (!backends_.windowClassMarker->claim(edition_.windowClassName,
                                            [frame] { frame->bringForward(); }) &&
        backends_.windowClassMarker->findAndRaise(edition_.windowClassName)) {
        // A copy started at the same moment holds the marker: it stays, this one ends unseen.
        frame_.reset();
        return false;
    }

    if (edition_.features.halfScreenPlacement) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect area = screen ? screen->geometry() : QRect(0, 0, 1920, 1080);
        const int caption = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
        const QRect outer = InitialGeometry::forScreen(area.width(), area.height(), caption);
        // The rule gives the outer rectangle; Qt sizes the client area, so leave the title bar
        // out.
        frame->move(outer.topLeft());
        frame->resize(outer.width(), outer.height() - caption);
    } else {
        // The window manager places it; the picture gets a size a user can see it at (the bare
        // window would be as small as its empty layout).
        frame->resize(kDefaultClientWidth, kDefaultClientHeight);
    }

    frame->onCreate();
    frame->show();
    // A logout, Ctrl+C or kill closes the window the ordinary way: settings written, recordings
    // finished.
    new SignalCloser([frame] { frame->close(); }, frame);
    return true;
}

}  // namespace tovrel::shell
