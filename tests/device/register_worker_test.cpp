#include "device/register_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tovrel::device {
namespace {

using namespace std::chrono_literals;

// What the jobs did, in the order they ran.
struct Trace {
    std::mutex mutex;
    std::vector<std::string> ran;
    void add(std::string what) {
        std::lock_guard lock(mutex);
        ran.push_back(std::move(what));
    }
    std::vector<std::string> take() {
        std::lock_guard lock(mutex);
        return ran;
    }
};

// Holds the worker inside a job until released, so that what is posted meanwhile waits.
struct Gate {
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> open = release.get_future().share();

    RegisterWorker::Job job(Trace& trace, std::string name) {
        return [this, &trace, name, open = open] {
            trace.add(name);
            started.set_value();
            open.wait();
        };
    }
    void waitStarted() { started.get_future().wait(); }
};

bool waitIdle(const RegisterWorker& worker) {
    for (int i = 0; i < 2000; ++i) {
        if (worker.idle()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

TEST(RegisterWorker, RunsJobsInTheOrderTheyWerePostedAndDrainsBeforeItGoes) {
    Trace trace;
    std::vector<std::string> expected;
    {
        RegisterWorker worker;
        Gate gate;
        worker.post(gate.job(trace, "first"));
        expected.push_back("first");
        gate.waitStarted();
        for (int i = 0; i < 40; ++i) {
            worker.post([&trace, i] { trace.add(std::to_string(i)); });
            expected.push_back(std::to_string(i));
        }
        EXPECT_EQ(worker.queued(), 40u);
        EXPECT_FALSE(worker.idle());
        gate.release.set_value();
        // Destroyed with work still queued: everything runs before the thread goes.
    }
    EXPECT_EQ(trace.take(), expected);
}

TEST(RegisterWorker, AKeyedJobReplacesTheWaitingOneOfItsKeyAndTakesTheEnd) {
    Trace trace;
    RegisterWorker worker;
    Gate gate;
    worker.post(gate.job(trace, "drag 7 running"), 7);
    gate.waitStarted();
    worker.post([&] { trace.add("default"); });
    worker.post([&] { trace.add("bar 7 = 10"); }, 7);
    worker.post([&] { trace.add("bar 9 = 1"); }, 9);
    worker.post([&] { trace.add("get"); });
    worker.post([&] { trace.add("bar 7 = 11"); }, 7);
    worker.post([&] { trace.add("bar 7 = 12"); }, 7);
    EXPECT_EQ(worker.queued(), 4u) << "two of bar 7's writes were replaced";
    gate.release.set_value();
    ASSERT_TRUE(waitIdle(worker));
    // The running job of the same key is not touched; the newest value of bar 7 comes after the
    // work posted before it, so a Default asked for between two drags cannot undo the second.
    EXPECT_EQ(trace.take(), (std::vector<std::string>{"drag 7 running", "default", "bar 9 = 1",
                                                      "get", "bar 7 = 12"}));
}

TEST(RegisterWorker, IdleOnlyOnceTheJobAndWhatItHeldAreGone) {
    RegisterWorker worker;
    EXPECT_TRUE(worker.idle()) << "no thread before the first job";
    auto held = std::make_shared<int>(0);
    std::weak_ptr<int> watch = held;
    Gate gate;
    Trace trace;
    worker.post([job = gate.job(trace, "hold"), held = std::move(held)] { job(); });
    gate.waitStarted();
    EXPECT_FALSE(worker.idle());
    gate.release.set_value();
    ASSERT_TRUE(waitIdle(worker));
    EXPECT_TRUE(watch.expired());
}

TEST(RegisterWorker, JobsPostedFromManyThreadsAllRunOnOneThread) {
    std::mutex mutex;
    std::vector<std::thread::id> threads;
    int count = 0;
    {
        RegisterWorker worker;
        std::vector<std::thread> posters;
        for (int p = 0; p < 4; ++p) {
            posters.emplace_back([&] {
                for (int i = 0; i < 100; ++i) {
                    worker.post([&] {
                        std::lock_guard lock(mutex);
                        threads.push_back(std::this_thread::get_id());
                        ++count;
                    });
                }
            });
        }
        for (std::thread& t : posters) t.join();
    }
    EXPECT_EQ(count, 400);
    ASSERT_FALSE(threads.empty());
    for (const std::thread::id& id : threads) EXPECT_EQ(id, threads.front());
    EXPECT_NE(threads.front(), std::this_thread::get_id());
}

}  // namespace
}  // namespace tovrel::device
