#include "platform/audio/audio_thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

AudioThreadPriority::AudioThreadPriority() : thread_(static_cast<int>(::syscall(SYS_gettid))) {
    // On Linux a nice value belongs to the thread named by its id, not to the whole process.
    errno = 0;
    previous_ = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread_));
    if (previous_ == -1 && errno != 0) {
        logErrno("audio thread", "getpriority", errno);
        return;
    }
    if (previous_ <= kNice) return;  // already as high: nothing to do, nothing to undo
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(thread_), kNice) != 0) {
        logErrno("audio thread", "setpriority", errno);
        return;
    }
    raised_ = true;
}

AudioThreadPriority::~AudioThreadPriority() {
    if (raised_) ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread_), previous_);
}

}  // namespace tovrel::platform
