#include "platform/audio/audio_thread_priority.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace tovrel::platform {
namespace {

int niceOfThisThread() {
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
}

// Raised where the process may (root, CAP_SYS_NICE or RLIMIT_NICE), untouched where it may not;
// either way only the calling thread, and back as it was afterwards.
TEST(AudioThreadPriorityTest, RaisesOnlyItsOwnThreadAndRestoresIt) {
    const int mainBefore = niceOfThisThread();
    std::thread([mainBefore] {
        const int before = niceOfThisThread();
        {
            const AudioThreadPriority priority;
            if (::geteuid() == 0) {
                EXPECT_TRUE(priority.raised());
            }
            EXPECT_EQ(niceOfThisThread(), priority.raised() ? AudioThreadPriority::kNice : before);
            EXPECT_EQ(mainBefore, before);
        }
        EXPECT_EQ(niceOfThisThread(), before);
    }).join();
    EXPECT_EQ(niceOfThisThread(), mainBefore);
}

}  // namespace
}  // namespace tovrel::platform
