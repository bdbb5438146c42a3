#include "platform/system/system_version.h"

namespace tovrel::platform {

bool SystemVersion::atLeast(unsigned /*major*/, unsigned /*minor*/, unsigned /*servicePackMajor*/) {
    return true;
}

}  // namespace tovrel::platform
