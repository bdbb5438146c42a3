#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

#include "shell/edge_zones.h"
#include "shell/tovrel2_frame.h"

// The main window's input: the right button's popup menu, moving and resizing by the left
// button, the double-click into full screen, the sizing cursors of the borderless window, and
// the keys of the edition's commands.
namespace tovrel::shell {

int CTovrel2Frame::pressCode(int x, int y) const {
    if (captionShown || fullScreen) return EdgeZones::kCaption;
    const EdgeZones::Zone* zone = EdgeZones::find(x, y, 0, 0, width(), height());
    return zone ? zone->code : EdgeZones::kCaption;
}

void CTovrel2Frame::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        std::unique_ptr<QMenu> menu = buildPopupMenu();
        QAction* chosen = menu->exec(QCursor::pos());
        if (chosen != nullptr) onCommand(chosen->data().toInt());
        return;
    }
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr && !fullScreen) {
        // The window manager's move or resize grabs the pointer until the button comes up. Asked
        // for after the release of a quick click (a busy event loop hands over the press late),
        // the grab outlasts the click and swallows the second press of a double-click. So the
        // request waits until the events already queued are through: a release among them
        // cancels it, and a button still down starts it from the pressed spot.
        const QPoint at = event->position().toPoint();
        pendingDragCode_ = pressCode(at.x(), at.y());
        QTimer::singleShot(0, this, &CTovrel2Frame::startSystemDrag);
    }
    QMainWindow::mousePressEvent(event);
}

void CTovrel2Frame::startSystemDrag() {
    const int code = pendingDragCode_;
    pendingDragCode_ = 0;
    if (code == 0 || windowHandle() == nullptr || fullScreen) return;
    if (code == EdgeZones::kCaption) {
        windowHandle()->startSystemMove();
        return;
    }
    for (const EdgeZones::Zone& zone : EdgeZones::kZones) {
        if (zone.code == code) windowHandle()->startSystemResize(zone.edges);
    }
}

void CTovrel2Frame::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pendingDragCode_ = 0;
    QMainWindow::mouseReleaseEvent(event);
}

void CTovrel2Frame::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double-click on the picture is a double-click on a title bar: full screen and back.
    if (event->button() == Qt::LeftButton) {
        pendingDragCode_ = 0;
        toggleFullScreen();
    }
    QMainWindow::mouseDoubleClickEvent(event);
}

void CTovrel2Frame::mouseMoveEvent(QMouseEvent* event) {
    if (!captionShown && !fullScreen && event->buttons() == Qt::NoButton) {
        const QPoint at = event->position().toPoint();
        const EdgeZones::Zone* zone = EdgeZones::find(at.x(), at.y(), 0, 0, width(), height());
        if (zone) {
            setCursor(zone->cursor);
        } else {
            unsetCursor();
        }
    } else if (event->buttons() == Qt::NoButton) {
        unsetCursor();
    }
    QMainWindow::mouseMoveEvent(event);
}

void CTovrel2Frame::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        leaveFullScreen();
    } else if (const CommandTable::Command* command = edition_.commandForKey(event->key())) {
        onCommand(command->id);
    }
    QMainWindow::keyPressEvent(event);
}

}  // namespace tovrel::shell
