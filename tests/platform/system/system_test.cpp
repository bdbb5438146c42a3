#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "platform/system/debug_output.h"
#include "platform/system/manual_clock.h"
#include "platform/system/named_lock.h"
#include "platform/system/number_text.h"
#include "platform/system/runtime_folder.h"
#include "platform/system/settings_path.h"
#include "platform/system/text_units.h"
#include "tests/support/comma_locale.h"

namespace tovrel::platform {
namespace {

TEST(SettingsPath, AppendsTheSeparatorOnlyWhenMissing) {
    EXPECT_EQ(SettingsPath::inDirectory("/home/u", "setting.ini"), "/home/u/setting.ini");
    EXPECT_EQ(SettingsPath::inDirectory("/", "setting.ini"), "/setting.ini");
    EXPECT_FALSE(SettingsPath::inDirectory("", "setting.ini").has_value());
}

TEST(SettingsPath, TheWholePathMustFitIn260Units) {
    // 259 units and the terminator fit; 260 do not.
    const std::string name = "setting.ini";
    const std::string dir = std::string(1, '/') + std::string(259 - 2 - name.size(), 'd');
    ASSERT_EQ((dir + "/" + name).size(), 259u);
    EXPECT_TRUE(SettingsPath::inDirectory(dir, name).has_value());
    EXPECT_FALSE(SettingsPath::inDirectory(dir + "d", name).has_value());
    // Units, not bytes: "é" is two bytes but one unit, so it still fits.
    // Appended, not `"/" + std::string(...)`: GCC 12 at -O3 reports a false -Wrestrict overlap in
    // that inlined operator.
    std::string wide = "/";
    wide.append(259 - 3 - name.size(), 'd').append("\xC3\xA9");
    EXPECT_TRUE(SettingsPath::inDirectory(wide, name).has_value());
    EXPECT_EQ(utf16Units("\xF0\x9F\x8E\xA5"), 2u);  // outside the basic plane: a pair
}

TEST(SettingsPath, FollowsTheWorkingDirectory) {
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir("/tmp"), 0);
    EXPECT_EQ(SettingsPath::inWorkingDirectory("setting.ini"), "/tmp/setting.ini");
    ASSERT_EQ(::chdir(old), 0);
}

std::string printfFixed(double value, int decimals) {
    char text[512];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

TEST(NumberText, WritesWhatPrintfWritesInTheCLocale) {
    for (double value : {0.0, -0.0, 59.94, 60000.0 / 1001.0, 0.125, 0.375, 2.675, -0.005, 1e20,
                         -1.7976931348623157e308, std::nan(""), -HUGE_VAL}) {
        for (int decimals : {0, 2, 6}) {
            EXPECT_EQ(NumberText::fixed(value, decimals), printfFixed(value, decimals))
                << value << " " << decimals;
        }
    }
}

TEST(NumberText, KeepsItsDecimalPointUnderADecimalCommaLocale) {
    testing::CommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << comma.why();
    ASSERT_EQ(printfFixed(59.94, 2), "59,94") << "the locale does not write decimal commas";
    EXPECT_EQ(NumberText::fixed(60000.0 / 1001.0, 2), "59.94");
    EXPECT_EQ(NumberText::fixed(-1234567.5, 1), "-1234567.5") << "no grouping either";
}

TEST(ManualClock, SleepAdvancesTimeAndTimeGetTimeWrapsAt32Bits) {
    ManualClock clock(0xFFFFFFF0ull);
    clock.sleep(0x20);
    EXPECT_EQ(clock.getTickCount64(), 0x100000010ull);
    EXPECT_EQ(clock.timeGetTime(), 0x10u);
    EXPECT_EQ(clock.totalSleptMs(), 0x20u);
}

TEST(DebugOutput, GoesToTheInstalledSinkOnly) {
    std::string seen;
    DebugSink previous = setDebugOutputSink([&](std::string_view t) { seen.append(t); });
    outputDebugString("hello");
    setDebugOutputSink(std::move(previous));
    outputDebugString("not seen");
    EXPECT_EQ(seen, "hello");
}

std::string uniqueLockName(const char* what) {
    return std::string("test-") + what + "-" + std::to_string(::getpid());
}

TEST(NamedLock, IsReentrantForItsOwnerAndRefusesOtherThreadsUnlock) {
    NamedLock lock(uniqueLockName("reentrant"));
    lock.lock();
    EXPECT_TRUE(lock.tryLockFor(0));
    bool otherUnlocked = true;
    bool otherGot = true;
    std::thread([&] {
        otherUnlocked = lock.unlock();
        otherGot = lock.tryLockFor(20);
    }).join();
    EXPECT_FALSE(otherUnlocked);
    EXPECT_FALSE(otherGot);
    EXPECT_TRUE(lock.unlock());
    EXPECT_TRUE(lock.unlock());
    EXPECT_FALSE(lock.unlock());
}

TEST(NamedLock, ObjectsOfOneNameShareOneLock) {
    const std::string name = uniqueLockName("shared");
    NamedLock a(name);
    NamedLock b(name);
    a.lock();
    std::atomic<bool> got{false};
    std::thread waiter([&] {
        b.lock();
        got = true;
        b.unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(got);
    a.unlock();
    waiter.join();
    EXPECT_TRUE(got);
}

// Runs only inside the second process that the test below starts: tries the named lock and
// exits 0 when it got it within the time-out, 1 when not.
TEST(NamedLockChild, TriesTheLock) {
    const char* name = std::getenv("TOVREL_LOCK_CHILD");
    if (!name) GTEST_SKIP() << "only run as the second process of ExcludesAnotherProcess";
    NamedLock other(name);
    ::_exit(other.tryLockFor(static_cast<uint32_t>(std::atoi(std::getenv("TOVREL_LOCK_WAIT_MS"))))
                ? 0
                : 1);
}

int runChild(const std::string& name, int waitMs) {
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return -1;
    self[n] = '\0';
    pid_t child = ::fork();
    if (child == 0) {
        ::setenv("TOVREL_LOCK_CHILD", name.c_str(), 1);
        ::setenv("TOVREL_LOCK_WAIT_MS", std::to_string(waitMs).c_str(), 1);
        ::execl(self, self, "--gtest_filter=NamedLockChild.TriesTheLock",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(NamedLock, ExcludesAnotherProcess) {
    const std::string name = uniqueLockName("process");
    NamedLock lock(name);
    ASSERT_TRUE(lock.crossProcess());
    lock.lock();
    EXPECT_EQ(runChild(name, 100), 1) << "the other process took a held lock";
    lock.unlock();
    EXPECT_EQ(runChild(name, 1000), 0) << "the other process could not take a free lock";
}

// Sets (or, with nullopt, removes) an environment variable until the end of the scope.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedVariable() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// A fresh folder of mode 0700 in the temporary folder, removed with what it holds.
struct TemporaryFolder {
    TemporaryFolder() {
        char pattern[] = "/tmp/tovrel-runtime-test-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

unsigned modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777u) : 0xFFFFu;
}

TEST(RuntimeFolder, TheSessionsPrivateFolderIsUsedAndOneOpenToOthersIsNot) {
    TemporaryFolder session;
    TemporaryFolder temporary;
    ScopedVariable runtime("XDG_RUNTIME_DIR", session.path);
    ScopedVariable tmp("TMPDIR", temporary.path);
    RuntimeFolder folder = RuntimeFolder::locate();
    EXPECT_EQ(folder.path(), session.path);
    EXPECT_EQ(folder.file("marker"), session.path + "/marker");

    // Anyone may put a socket of that name into a folder open to others: ours goes elsewhere.
    ASSERT_EQ(::chmod(session.path.c_str(), 0755), 0);
    folder = RuntimeFolder::locate();
    const std::string own = temporary.path + "/tovrel-" + std::to_string(::geteuid());
    EXPECT_EQ(folder.path(), own);
    EXPECT_EQ(modeOf(own), 0700u);
}

// Without a runtime folder: a private folder in the temporary folder, made when missing, and
// refused when someone else made it, opened it or put a link in its place.
TEST(RuntimeFolder, ThePrivateFolderOfTheTemporaryFolderMustBeOurs) {
    TemporaryFolder temporary;
    ScopedVariable runtime("XDG_RUNTIME_DIR", std::nullopt);
    ScopedVariable tmp("TMPDIR", temporary.path);
    const std::string own = temporary.path + "/tovrel-" + std::to_string(::geteuid());
    ASSERT_EQ(RuntimeFolder::locate().path(), own);
    EXPECT_EQ(modeOf(own), 0700u);
    EXPECT_EQ(RuntimeFolder::locate().path(), own) << "the folder made before is ours";

    auto refusal = [] {
        RuntimeFolder folder = RuntimeFolder::locate();
        EXPECT_FALSE(folder.usable());
        EXPECT_EQ(folder.file("marker"), "");
        return folder.refusal();
    };
    ASSERT_EQ(::chmod(own.c_str(), 0777), 0);
    EXPECT_NE(refusal().find("is open to other users (mode 0777)"), std::string::npos);
    {
        // The named lock then keeps to this process rather than open a file others can hold.
        NamedLock lock(uniqueLockName("refused"));
        EXPECT_FALSE(lock.crossProcess());
        EXPECT_TRUE(lock.tryLockFor(0));
        EXPECT_TRUE(lock.unlock());
    }
    ASSERT_EQ(::rmdir(own.c_str()), 0);

    TemporaryFolder elsewhere;
    ASSERT_EQ(::symlink(elsewhere.path.c_str(), own.c_str()), 0);
    EXPECT_NE(refusal().find("is a symbolic link"), std::string::npos);
    ASSERT_EQ(::unlink(own.c_str()), 0);

    ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
    if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
    ASSERT_EQ(::chown(own.c_str(), 4242, 4242), 0);
    EXPECT_NE(refusal().find("belongs to user 4242"), std::string::npos);
}

}  // namespace
}  // namespace tovrel::platform
