#pragma once

#include <string_view>

namespace tovrel::platform {

// Writes "<device>: <call> failed: <error text>" to the debug output (off by default), for the
// backends' failing system calls. `error` is an errno value. Any thread.
void logSystemCallFailure(std::string_view device, std::string_view call, int error);
// The same with an error text of a library that has its own codes (libusb, udev).
void logSystemCallFailure(std::string_view device, std::string_view call,
                          std::string_view errorText);

}  // namespace tovrel::platform
