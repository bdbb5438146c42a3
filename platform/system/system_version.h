#pragma once

namespace tovrel::platform {

// The start-up check that the system is recent enough (VerifyVersionInfo with major ≥ 10,
// minor ≥ 0, service pack ≥ 0). Every Linux system this program builds on qualifies, so the
// check passes; it stays a call so that start-up keeps its one decision point. Any thread.
class SystemVersion {
  public:
    static bool atLeast(unsigned major, unsigned minor, unsigned servicePackMajor);
};

}  // namespace tovrel::platform
