#pragma once

#include <functional>

struct pa_context;
struct pa_operation;

namespace tovrel::platform {

// One request to the sound server on a connection of its own: connects (never starting a
// server), starts the request once the context is ready and runs the loop until the request
// says it is done, the server drops the connection, or about two seconds of rounds have passed
// (a server that stops answering keeps what came so far). Any thread; nothing is shared.
//
// Logged through the debug output: a connection that fails (pa_context_connect, or the context
// failing before it is ready: "Connection refused", "No such file or directory" for a missing
// socket) and a request that cannot be started (pa_strerror of the context's error).
class PulseRequest {
  public:
    enum class Outcome {
        NoServer,   // no server answered: nothing was asked
        Answered,   // the request said it is done
        Unanswered  // connected, but the request failed, could not start, or timed out
    };
    // `start` starts the operation (null when it cannot); `done` is set by its callbacks.
    static Outcome run(const char* what, const std::function<pa_operation*(pa_context*)>& start,
                       const bool& done);
};

}  // namespace tovrel::platform
