#include "device/register_worker.h"

#include <algorithm>

namespace tovrel::device {

RegisterWorker::~RegisterWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void RegisterWorker::post(Job job, uint32_t key) {
    {
        std::lock_guard lock(mutex_);
        if (key != 0) {
            queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                        [key](const Entry& e) { return e.key == key; }),
                         queue_.end());
        }
        queue_.push_back({key, std::move(job)});
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    wake_.notify_one();
}

bool RegisterWorker::idle() const {
    std::lock_guard lock(mutex_);
    return queue_.empty() && !running_;
}

size_t RegisterWorker::queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void RegisterWorker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and everything queued has run
        Job job = std::move(queue_.front().job);
        queue_.pop_front();
        running_ = true;
        lock.unlock();
        job();
        job = nullptr;  // whatever the job holds goes before the worker counts as idle
        lock.lock();
        running_ = false;
    }
}

}  // namespace tovrel::device
