#pragma once

#include <functional>
#include <string_view>

namespace tovrel::platform {

// The debugger output of the capture, recording and shell logic (OutputDebugString's place).
// Off unless enabled: the desktop backend routes it to the "tovrel.debugoutput" logging category,
// and without it nothing is printed unless TOVREL_DEBUG is set. Tests install a sink to read it.
// Any thread.
void outputDebugString(std::string_view text);

// A failed call of a backend, in one shape: "DEVICE: CALL failed: ERROR TEXT". The backends log
// every failing system or library call through it, so that a user who enables the output sees
// which device refused what.
void logCallFailure(std::string_view device, std::string_view call, std::string_view errorText);
// The same with errno's text and number for `error`.
void logErrno(std::string_view device, std::string_view call, int error);

using DebugSink = std::function<void(std::string_view)>;
// Replaces the sink; an empty sink restores the default. Returns the previous sink.
DebugSink setDebugOutputSink(DebugSink sink);

}  // namespace tovrel::platform
