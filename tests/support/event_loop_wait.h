#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

namespace tovrel::testing {

// Runs the event loop until `condition` holds or `timeoutMs` pass; the deadline is generous, a
// loaded machine only makes the wait longer. GUI thread.
inline bool runEventLoopUntil(const std::function<bool()>& condition, int timeoutMs = 10'000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// Runs the event loop for `ms`: what should not happen has had its chance.
inline void runEventLoopFor(int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

}  // namespace tovrel::testing
