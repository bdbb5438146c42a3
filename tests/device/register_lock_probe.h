#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "device/device_texts.h"
#include "platform/system/named_lock.h"

namespace tovrel::device::testing {

// CTest runs the cases as parallel processes: each keeps the cross-process "Norvik" lock in a
// runtime directory of its own, so that a neighbour's lock is not taken for ours. Call once,
// before the first lock is made (a namespace-scope initialiser does). The directory goes, with
// what the locks left in it, when the test program ends.
inline bool usePrivateLockDirectory(const std::string& tag) {
    struct Directory {
        std::string path;
        ~Directory() {
            std::error_code ignored;
            if (!path.empty()) std::filesystem::remove_all(path, ignored);
        }
    };
    static Directory directory;
    directory.path = "/tmp/tovrel-" + tag + "-" + std::to_string(::getpid());
    ::mkdir(directory.path.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", directory.path.c_str(), 1);
    return true;
}

// Whether someone holds "Norvik" now: probed from another thread, since the lock is re-entrant
// for the thread that holds it.
inline bool registerLockHeldElsewhere() {
    bool got = false;
    std::thread probe([&] {
        platform::NamedLock probeLock(kRegisterLockName);
        got = probeLock.tryLockFor(0);
        if (got) probeLock.unlock();
    });
    probe.join();
    return !got;
}

}  // namespace tovrel::device::testing
