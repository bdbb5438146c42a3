#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tovrel::platform {

// A named system mutex (CreateMutex with a name): one lock shared by every object of the same
// name in this process and in every other process of the same user. Re-entrant for the owning
// thread; `unlock` from a thread that does not own it fails, as ReleaseMutex does.
// The cross-process half is an flock on a file in the user's private runtime folder
// (RuntimeFolder); without one it excludes the threads of this process only.
// Any thread; each object may be shared between threads.
class NamedLock {
  public:
    explicit NamedLock(const std::string& name);
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    void lock();
    // Waits at most `timeoutMs`; true when the lock is now held.
    bool tryLockFor(uint32_t timeoutMs);
    bool unlock();

    // False when the lock file could not be opened: the lock then still excludes the threads of
    // this process, but not other processes.
    bool crossProcess() const;

    struct Shared;

  private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace tovrel::platform
