#include "platform/desktop/logind_execution_state.h"

namespace tovrel::platform {

std::unique_ptr<ExecutionState> makeLogindExecutionState(const char* who) {
    return std::make_unique<LogindExecutionState>(QString::fromUtf8(who));
}

LogindExecutionState::LogindExecutionState(QString who)
    : inhibitor_(kWhat, std::move(who), "Capturing from the box", kMode) {}

void LogindExecutionState::setThreadExecutionState(uint32_t flags) {
    if ((flags & ES_CONTINUOUS) == 0) return;  // a one-off reset: nothing to hold
    if (flags & ES_SYSTEM_REQUIRED) {
        inhibitor_.acquire();
    } else {
        inhibitor_.release();
    }
}

}  // namespace tovrel::platform
