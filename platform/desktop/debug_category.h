#pragma once

namespace tovrel::platform {

// Routes the debugger output to the "tovrel.debugoutput" logging category, off unless enabled
// (QT_LOGGING_RULES="tovrel.debugoutput=true"). Call once on the GUI thread at start.
void routeDebugOutputToLoggingCategory();

}  // namespace tovrel::platform
