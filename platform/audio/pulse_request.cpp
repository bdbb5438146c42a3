#include "platform/audio/pulse_request.h"

#include <pulse/pulseaudio.h>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

namespace {

constexpr char kServer[] = "pulse server";
constexpr int kRounds = 2000;  // of at most 1 ms each while nothing arrives

}  // namespace

PulseRequest::Outcome PulseRequest::run(const char* what,
                                        const std::function<pa_operation*(pa_context*)>& start,
                                        const bool& done) {
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop) {
        logCallFailure(kServer, "pa_mainloop_new", "out of memory");
        return Outcome::NoServer;
    }
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Tovrel");
    if (!context) {
        logCallFailure(kServer, "pa_context_new", "out of memory");
        pa_mainloop_free(loop);
        return Outcome::NoServer;
    }
    bool ready = false;
    Outcome outcome = Outcome::Unanswered;
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        logCallFailure(kServer, "pa_context_connect", pa_strerror(pa_context_errno(context)));
        outcome = Outcome::NoServer;
    } else {
        pa_operation* operation = nullptr;
        bool logged = false;
        for (int rounds = 0; rounds < kRounds && !done; ++rounds) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (!PA_CONTEXT_IS_GOOD(state)) {
                logCallFailure(kServer, ready ? what : "pa_context_connect",
                               pa_strerror(pa_context_errno(context)));
                logged = true;
                break;
            }
            if (state == PA_CONTEXT_READY && !operation) {
                ready = true;
                operation = start(context);
                if (!operation) {
                    logCallFailure(kServer, what, pa_strerror(pa_context_errno(context)));
                    logged = true;
                    break;
                }
            }
            if (pa_mainloop_iterate(loop, 1, nullptr) < 0) {
                logCallFailure(kServer, "pa_mainloop_iterate",
                               pa_strerror(pa_context_errno(context)));
                logged = true;
                break;
            }
        }
        if (operation) pa_operation_unref(operation);
        if (done) {
            outcome = Outcome::Answered;
        } else if (!ready) {
            outcome = Outcome::NoServer;
        } else if (!logged) {
            logCallFailure(kServer, what, "no answer in time");
        }
        pa_context_disconnect(context);
    }
    pa_context_unref(context);
    pa_mainloop_free(loop);
    return outcome;
}

}  // namespace tovrel::platform
