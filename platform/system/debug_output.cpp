#include "platform/system/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace tovrel::platform {
namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

DebugSink& currentSink() {
    static DebugSink sink;
    return sink;
}

void defaultSink(std::string_view text) {
    static const bool enabled = std::getenv("TOVREL_DEBUG") != nullptr;
    if (enabled) std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace

void outputDebugString(std::string_view text) {
    DebugSink sink;
    {
        std::lock_guard<std::mutex> lock(sinkMutex());
        sink = currentSink();
    }
    // Called outside the lock so a sink may itself log or take its own locks.
    if (sink) {
        sink(text);
    } else {
        defaultSink(text);
    }
}

void logCallFailure(std::string_view device, std::string_view call, std::string_view errorText) {
    std::string text;
    text.reserve(device.size() + call.size() + errorText.size() + 12);
    text.append(device).append(": ").append(call).append(" failed: ").append(errorText);
    outputDebugString(text);
}

void logErrno(std::string_view device, std::string_view call, int error) {
    char buffer[128];
    // The GNU strerror_r: thread-safe, and it may answer a static text instead of the buffer.
    const char* text = ::strerror_r(error, buffer, sizeof buffer);
    logCallFailure(device, call, std::string(text) + " (errno " + std::to_string(error) + ")");
}

DebugSink setDebugOutputSink(DebugSink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    DebugSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

}  // namespace tovrel::platform
