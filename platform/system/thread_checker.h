#pragma once

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace tovrel::platform {

// Remembers the thread that made it, and lets a class whose header names the one thread that may
// call it check that promise at each entry: `TOVREL_CHECK_THREAD(checker_)`. The check is made
// in debug builds and in the sanitizer builds (TOVREL_CHECK_THREADS), where a call from another
// thread stops the program at the call that broke the promise, rather than as a data race found
// later or never; a release build pays nothing.
//
// Threads: constructed on the owning thread; calledOnOwner() on any thread.
class ThreadChecker {
  public:
    ThreadChecker() : owner_(std::this_thread::get_id()) {}

    bool calledOnOwner() const { return std::this_thread::get_id() == owner_; }

    // Where a check failed: the file, the line and the function, then abort.
    [[noreturn]] static void fail(const char* file, int line, const char* function) {
        std::fprintf(stderr, "%s:%d: %s called on a thread other than its owner's\n", file, line,
                     function);
        std::abort();
    }

  private:
    std::thread::id owner_;
};

}  // namespace tovrel::platform

#if !defined(NDEBUG) || defined(TOVREL_CHECK_THREADS)
#define TOVREL_CHECK_THREAD(checker)                                               \
    do {                                                                           \
        if (!(checker).calledOnOwner())                                            \
            ::tovrel::platform::ThreadChecker::fail(__FILE__, __LINE__, __func__); \
    } while (false)
#else
#define TOVREL_CHECK_THREAD(checker) \
    do {                             \
        (void)sizeof(checker);       \
    } while (false)
#endif
