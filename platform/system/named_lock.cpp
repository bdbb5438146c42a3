#include "platform/system/named_lock.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system/debug_output.h"
#include "platform/system/runtime_folder.h"

namespace tovrel::platform {

struct NamedLock::Shared {
    std::mutex mutex;
    std::condition_variable released;
    std::thread::id owner;
    int depth = 0;
    int fd = -1;

    ~Shared() {
        if (fd >= 0) ::close(fd);
    }
};

namespace {

// Empty when the user has no private folder: a lock file anyone can open first is a lock anyone
// can hold forever.
std::string lockDirectory() {
    const std::string dir = RuntimeFolder::locate().file("tovrel-locks");
    if (!dir.empty() && ::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        logErrno(dir, "mkdir", errno);
    }
    return dir;
}

std::string fileNameFor(const std::string& name) {
    std::string safe;
    for (char c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_';
        safe += plain ? c : '_';
    }
    return safe + ".lock";
}

// One Shared per name and process, so that every object of a name shares one open file
// description: flock then excludes other processes and the in-process state the other threads.
std::shared_ptr<NamedLock::Shared> sharedFor(const std::string& name) {
    static std::mutex registryMutex;
    static std::map<std::string, std::weak_ptr<NamedLock::Shared>> registry;
    std::lock_guard<std::mutex> guard(registryMutex);
    if (auto existing = registry[name].lock()) return existing;
    auto shared = std::make_shared<NamedLock::Shared>();
    const std::string dir = lockDirectory();
    if (!dir.empty()) {
        const std::string path = dir + "/" + fileNameFor(name);
        shared->fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (shared->fd < 0) logErrno(path, "open", errno);
    }
    registry[name] = shared;
    return shared;
}

}  // namespace

NamedLock::NamedLock(const std::string& name) : shared_(sharedFor(name)) {}

NamedLock::~NamedLock() = default;

bool NamedLock::crossProcess() const { return shared_->fd >= 0; }

void NamedLock::lock() {
    std::unique_lock<std::mutex> guard(shared_->mutex);
    const auto self = std::this_thread::get_id();
    if (shared_->depth > 0 && shared_->owner == self) {
        ++shared_->depth;
        return;
    }
    shared_->released.wait(guard, [&] { return shared_->depth == 0; });
    shared_->owner = self;
    shared_->depth = 1;
    guard.unlock();
    // Other threads of this process now wait on `released`; only this one meets other processes.
    if (shared_->fd >= 0) {
        while (::flock(shared_->fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
}

bool NamedLock::tryLockFor(uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> guard(shared_->mutex);
    const auto self = std::this_thread::get_id();
    if (shared_->depth > 0 && shared_->owner == self) {
        ++shared_->depth;
        return true;
    }
    if (!shared_->released.wait_until(guard, deadline, [&] { return shared_->depth == 0; })) {
        return false;
    }
    shared_->owner = self;
    shared_->depth = 1;
    guard.unlock();
    if (shared_->fd < 0) return true;
    for (;;) {
        if (::flock(shared_->fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    guard.lock();
    shared_->depth = 0;
    shared_->owner = {};
    guard.unlock();
    shared_->released.notify_one();
    return false;
}

bool NamedLock::unlock() {
    std::unique_lock<std::mutex> guard(shared_->mutex);
    if (shared_->depth == 0 || shared_->owner != std::this_thread::get_id()) return false;
    if (--shared_->depth > 0) return true;
    if (shared_->fd >= 0) ::flock(shared_->fd, LOCK_UN);
    shared_->owner = {};
    guard.unlock();
    shared_->released.notify_one();
    return true;
}

}  // namespace tovrel::platform
