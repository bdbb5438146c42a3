#pragma once

#include <QString>

#include "platform/desktop/execution_state.h"

namespace tovrel::platform {

// ExecutionState over logind's Inhibit("sleep", ...): the returned file descriptor is the
// inhibitor and closing it ends it. GUI thread only.
class LogindExecutionState final : public ExecutionState {
  public:
    explicit LogindExecutionState(QString who) : who_(std::move(who)) {}
    ~LogindExecutionState() override;

    void setThreadExecutionState(uint32_t flags) override;
    bool keepingAwake() const override { return inhibitorFd_ >= 0; }

  private:
    void acquire();
    void release();

    QString who_;
    int inhibitorFd_ = -1;
};

}  // namespace tovrel::platform
