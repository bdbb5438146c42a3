#pragma once

class QDialog;
class QWidget;

namespace tovrel::device {
class BoxOperations;
}
namespace tovrel::platform {
struct Backends;
}

namespace tovrel::shell {

class CaptureHost;
struct Settings;

// What an edition's Settings window is opened with: the main window as its parent, the capture
// it shows and restarts, the program's register access (null in an edition without box
// registers), the backends, the settings, and the main window's one record of the open window,
// which the opening fills while the window runs. GUI thread.
struct SettingsWindowContext {
    QWidget* parent;
    CaptureHost& host;
    device::BoxOperations* box;
    platform::Backends& backends;
    Settings& settings;
    QDialog*& openWindow;
};

}  // namespace tovrel::shell
