#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>

namespace tovrel::shell {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C, kill) into a call on the GUI thread, so
// they run the same shutdown as closing the window: the handler only writes a byte to a pipe.
// One per process; GUI thread.
class SignalCloser final : public QObject {
    Q_OBJECT
  public:
    explicit SignalCloser(std::function<void()> close, QObject* parent = nullptr);
    ~SignalCloser() override;

  private:
    void onSignal();

    std::function<void()> close_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tovrel::shell
