#pragma once

#include <cstdint>
#include <memory>

namespace tovrel::platform {

constexpr uint32_t ES_SYSTEM_REQUIRED = 0x00000001;
constexpr uint32_t ES_CONTINUOUS = 0x80000000;

// SetThreadExecutionState's place: ES_CONTINUOUS | ES_SYSTEM_REQUIRED keeps the computer from
// sleeping on its own until ES_CONTINUOUS alone ends the request.
// GUI thread only.
class ExecutionState {
  public:
    virtual ~ExecutionState() = default;
    virtual void setThreadExecutionState(uint32_t flags) = 0;
    virtual bool keepingAwake() const = 0;
};

// Holds a logind "idle" inhibitor on the system bus while the request lasts. Without logind
// the request is only remembered and the program carries on.
std::unique_ptr<ExecutionState> makeLogindExecutionState(const char* who);

}  // namespace tovrel::platform
