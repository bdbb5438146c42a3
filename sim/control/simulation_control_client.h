#pragma once

#include <string>

namespace tovrel::sim {

// The other end of SimulationControlServer, for tovrelctl: sends one command line and waits for
// the answer. Any thread (it blocks the caller).
class SimulationControlClient {
  public:
    enum class Result { kAnswered, kNoProgram, kNoAnswer };

    static constexpr int kTimeoutMs = 5000;

    // kNoProgram when no program with the simulated box listens; kNoAnswer when it took the
    // command but did not answer in time.
    static Result send(const std::string& line, std::string* answer, int timeoutMs = kTimeoutMs);
};

}  // namespace tovrel::sim
