#include "platform/system/system_call_log.h"

#include <cstring>
#include <string>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

void logSystemCallFailure(std::string_view device, std::string_view call, int error) {
    char buffer[128];
    // The GNU strerror_r: thread-safe, gives a pointer that may or may not be into the buffer.
    const char* text = ::strerror_r(error, buffer, sizeof buffer);
    std::string full(text);
    full += " (errno " + std::to_string(error) + ")";
    logSystemCallFailure(device, call, full);
}

void logSystemCallFailure(std::string_view device, std::string_view call,
                          std::string_view errorText) {
    std::string line;
    line.append(device).append(": ").append(call).append(" failed: ").append(errorText);
    outputDebugString(line);
}

}  // namespace tovrel::platform
