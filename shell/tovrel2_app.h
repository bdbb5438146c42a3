#pragma once

#include <memory>

#include "platform/backends/backends.h"
#include "shell/edition.h"

namespace tovrel::device {
class BoxOperations;
}

namespace tovrel::shell {

class CTovrel2Frame;

// The application object: the start checks (one running copy, a recent enough system), the
// window-class marker, the program's register access when its edition has one, and the creation
// of the main window.
// GUI thread only; a QApplication must exist.
class CTovrel2App {
  public:
    // The client size of a window placed by the platform rather than by the half-screen rule.
    static constexpr int kDefaultClientWidth = 960;
    static constexpr int kDefaultClientHeight = 540;

    CTovrel2App(platform::Backends& backends, const Edition& edition);
    ~CTovrel2App();

    // True when the main window was created and shown; false when the program must end at once
    // (another copy runs, or the system is too old).
    bool initInstance();

    CTovrel2Frame* mainWindow() const { return frame_.get(); }

  private:
    platform::Backends& backends_;
    const Edition& edition_;
    // Outlives the window, which queues register work on it up to its close.
    std::unique_ptr<device::BoxOperations> box_;
    std::unique_ptr<CTovrel2Frame> frame_;
};

}  // namespace tovrel::shell
