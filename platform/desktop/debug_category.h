#pragma once

namespace tovrel::platform {

// Routes the debugger output to the "tovrel.debug" logging category, off unless enabled
// (QT_LOGGING_RULES="tovrel.debug=true"). Call once on the GUI thread at start.
void routeDebugOutputToLoggingCategory();

}  // namespace tovrel::platform
