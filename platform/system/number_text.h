#pragma once

#include <string>

namespace tovrel::platform {

// Numbers inside the system's own texts (the caption, status texts, read-outs) always use a
// decimal point. The C library's "%f" follows the process's locale, and Qt sets the user's at
// start-up, so under e.g. de_DE it writes a decimal comma; these functions never do.
// Pure functions; any thread.
class NumberText {
  public:
    // `value` with exactly `decimals` (0 to 100) digits after the point, rounded as "%.*f" rounds
    // in the C locale; "nan" or "inf" (with its sign) as printf writes them.
    static std::string fixed(double value, int decimals);
};

}  // namespace tovrel::platform
