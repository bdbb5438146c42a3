#pragma once

#include <QObject>

namespace tovrel::shell {

// The program-wide keyboard watcher that stands in for a low-level keyboard hook: it writes "1"
// to the debug output when Insert is released and always lets the event through.
// GUI thread only.
class InsertKeyFilter final : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tovrel::shell
