#pragma once

#include <QLocalServer>
#include <QObject>

#include "platform/desktop/window_class_marker.h"

namespace tovrel::platform {

// WindowClassMarker over a local socket named after the class in the user's private runtime folder
// (RuntimeFolder), where no other user can create the name first or connect to it. A second copy
// connects, sends one "raise" line and ends; the holder's server calls the raise callback.
// GUI thread only.
class LocalSocketMarker final : public QObject, public WindowClassMarker {
    Q_OBJECT
  public:
    LocalSocketMarker() = default;
    ~LocalSocketMarker() override;

    bool findAndRaise(const std::string& className) override;
    bool claim(const std::string& className, std::function<void()> raise) override;
    void release() override;

    // The socket's path; empty when the user has no private folder.
    static QString socketName(const std::string& className);

  private:
    void onConnection();

    QLocalServer* server_ = nullptr;
    std::function<void()> raise_;
};

}  // namespace tovrel::platform
