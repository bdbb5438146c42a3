#pragma once

#include <vector>

#include "platform/desktop/execution_state.h"

namespace tovrel::platform {

// Records every request, for tests. GUI thread only.
class RecordingExecutionState final : public ExecutionState {
  public:
    void setThreadExecutionState(uint32_t flags) override {
        calls.push_back(flags);
        if (flags & ES_CONTINUOUS) awake_ = (flags & ES_SYSTEM_REQUIRED) != 0;
    }
    bool keepingAwake() const override { return awake_; }
    std::vector<uint32_t> calls;

  private:
    bool awake_ = false;
};

}  // namespace tovrel::platform
