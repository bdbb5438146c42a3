#pragma once

#include <QString>

namespace tovrel::platform {

// One logind inhibitor (Inhibit(what, who, why, mode) on the system bus): the answer is a file
// descriptor, and the inhibitor lasts until it is closed. Without logind nothing is held and the
// caller carries on. GUI thread only.
//
// Modes, as logind gives them: "block" refuses the operation while held (what "idle" needs:
// the machine does not go to sleep on its own, while the user can still send it to sleep);
// "delay" lets logind announce the operation (PrepareForSleep) and wait up to its
// InhibitDelayMaxSec for the holder to let go.
class LogindInhibitor {
  public:
    LogindInhibitor(QString what, QString who, QString why, QString mode);
    ~LogindInhibitor();
    LogindInhibitor(const LogindInhibitor&) = delete;
    LogindInhibitor& operator=(const LogindInhibitor&) = delete;

    // True when held afterwards (also when it already was).
    bool acquire();
    void release();
    bool held() const { return fd_ >= 0; }

  private:
    QString what_, who_, why_, mode_;
    int fd_ = -1;
};

}  // namespace tovrel::platform
