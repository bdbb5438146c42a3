#pragma once

#include <QString>
#include <QStringList>

namespace tovrel::testing {

// The mock logind (python-dbusmock) that the test components start on the private system bus.
// Any thread with a Qt application; each call blocks for at most two seconds.
class MockLogind {
  public:
    // The inhibitors held by `who`, as "what/mode" ("sleep/delay", "idle/block").
    static QStringList inhibitorsOf(const QString& who);
    // Emits PrepareForSleep(start), as logind does before a suspend (true) and after it (false).
    // False when the mock did not take the call.
    static bool emitPrepareForSleep(bool start);
};

}  // namespace tovrel::testing
