#pragma once

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/system/debug_output.h"
#include "shell/tovrel2_frame.h"
#include "sim/backends/simulated_box.h"
#include "test_backends.h"

namespace tovrel::testing {

// Test backends with the simulated box behind the scripted notifications, so that a test plugs
// and unplugs it and sends the machine to sleep through the same door as tovrelctl.
// `realClock`: the capture workers run in real time (needed once capture streams).
struct HotplugRig {
    explicit HotplugRig(bool realClock) {
        if (realClock) test.backends.clock = &platform::SystemClock::instance();
        auto devices = std::make_unique<platform::DeviceListEnumerator>();
        auto notes = std::make_unique<sim::ScriptedDeviceNotifications>();
        auto powerNotes = std::make_unique<sim::ScriptedPowerNotifications>(nullptr);
        box = std::make_unique<sim::SimulatedBox>(sim::kDefaultBoxModel,
                                                  sim::SimulatedStream::Pacing::RealTime, *devices,
                                                  *notes, *powerNotes);
        notifications = notes.get();
        power = powerNotes.get();
        test.backends.mediaDevices = std::move(devices);
        test.backends.deviceNotifications = std::move(notes);
        test.backends.powerNotifications = std::move(powerNotes);
    }

    TestBackends test;
    std::unique_ptr<sim::SimulatedBox> box;
    sim::ScriptedDeviceNotifications* notifications;
    sim::ScriptedPowerNotifications* power;
};

// Runs the event loop until `done` holds or the time is up.
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// Runs the event loop for a while (what is queued by then has run).
inline void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

// The step names a window runs, with the moment each began.
struct StepLog {
    using Clock = std::chrono::steady_clock;
    void attach(shell::CTovrel2Frame& frame) {
        frame.stepObserver = [this](const char* name) { add(name); };
    }
    void add(const std::string& name) {
        steps.push_back(name);
        times.push_back(Clock::now());
    }
    int count(const std::string& name) const {
        return static_cast<int>(std::count(steps.begin(), steps.end(), name));
    }
    bool has(const std::string& name) const { return count(name) > 0; }
    // Index of the first `name` at or after `from`, -1 when there is none.
    int find(const std::string& name, int from = 0) const {
        for (size_t i = static_cast<size_t>(std::max(from, 0)); i < steps.size(); ++i)
            if (steps[i] == name) return static_cast<int>(i);
        return -1;
    }
    void clear() {
        steps.clear();
        times.clear();
    }
    std::vector<std::string> steps;
    std::vector<Clock::time_point> times;
};

// Collects the debug output while it lives.
class DebugCapture {
  public:
    DebugCapture() {
        previous_ = platform::setDebugOutputSink([this](std::string_view text) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(text);
            times_.push_back(std::chrono::steady_clock::now());
        });
    }
    ~DebugCapture() { platform::setDebugOutputSink(previous_); }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // When the line was last written; the epoch when never.
    std::chrono::steady_clock::time_point timeOf(const std::string& line) const {
        std::lock_guard lock(mutex_);
        for (size_t i = lines_.size(); i-- > 0;)
            if (lines_[i] == line) return times_[i];
        return {};
    }

  private:
    platform::DebugSink previous_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<std::chrono::steady_clock::time_point> times_;
};

}  // namespace tovrel::testing
