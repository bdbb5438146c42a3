#pragma once

#include <QString>

#include "platform/desktop/execution_state.h"
#include "platform/desktop/logind_inhibitor.h"

namespace tovrel::platform {

// ExecutionState over a logind "idle" inhibitor in "block" mode: the machine does not go to
// sleep on its own while the request lasts, and the user can still send it to sleep (menu, lid,
// `systemctl suspend`), which the program then sees as a power notification. A "sleep" block
// lock would refuse those too and leave the program's suspend handling unreachable.
// GUI thread only.
class LogindExecutionState final : public ExecutionState {
  public:
    static constexpr char kWhat[] = "idle";
    static constexpr char kMode[] = "block";

    explicit LogindExecutionState(QString who);

    void setThreadExecutionState(uint32_t flags) override;
    bool keepingAwake() const override { return inhibitor_.held(); }

  private:
    LogindInhibitor inhibitor_;
};

}  // namespace tovrel::platform
