#pragma once

#include <alsa/asoundlib.h>

namespace tovrel::platform {

inline void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// Silences alsa-lib's own error printing to stderr, once per process: the ALSA backends report
// their failures through the debug output instead. Any thread.
inline void quietAlsa() {
    static const bool done = [] {
        snd_lib_error_set_handler(ignoreAlsaError);
        return true;
    }();
    (void)done;
}

}  // namespace tovrel::platform
