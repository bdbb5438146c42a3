#include "sim/box/simulated_stream.h"

#include <algorithm>
#include <utility>

#include "platform/media/mf_guids.h"

namespace tovrel::sim {

using namespace platform;

SimulatedStream::SimulatedStream(Pacing pacing, Clocking clocking)
    : pacing_(pacing), clocking_(std::move(clocking)) {}

HRESULT SimulatedStream::stop() {
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    running_ = false;
    wake_.notify_all();
    return S_OK;
}

HRESULT SimulatedStream::shutdown() {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
    running_ = false;
    wake_.notify_all();
    return S_OK;
}

HRESULT SimulatedStream::usable() const {
    std::lock_guard lock(mutex_);
    return shutDown_ ? MF_E_SHUTDOWN : S_OK;
}

HRESULT SimulatedStream::currentIndex(uint32_t* index) const {
    if (index == nullptr) return E_POINTER;
    std::lock_guard lock(mutex_);
    *index = nativeIndex_;
    return S_OK;
}

void SimulatedStream::restartClock() {
    number_ = 0;
    startTime_ = Clock::now();
}

HRESULT SimulatedStream::select(uint32_t index) {
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    if (index >= clocking_.period100ns.size()) return MF_E_INVALIDMEDIATYPE;
    if (index != nativeIndex_) {
        nativeIndex_ = index;
        restartClock();
    }
    return S_OK;
}

HRESULT SimulatedStream::start() {
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    if (unplugged_) return MF_E_DEVICE_NOT_CONNECTED;
    if (clocking_.period100ns.empty()) return MF_E_INVALIDREQUEST;
    if (!running_) {
        running_ = true;
        ended_ = false;
        typeChangePending_ = false;
        if (!clocking_.stepsSurviveStart) released_ = 0;
        restartClock();
    }
    return S_OK;
}

void SimulatedStream::stopStream() {
    std::lock_guard lock(mutex_);
    running_ = false;
    wake_.notify_all();
}

void SimulatedStream::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    wake_.notify_all();
}

void SimulatedStream::step(uint32_t samples) {
    std::lock_guard lock(mutex_);
    released_ += samples;
    wake_.notify_all();
}

void SimulatedStream::stall() {
    std::lock_guard lock(mutex_);
    stalled_ = true;
    wake_.notify_all();
}

void SimulatedStream::unplug() {
    std::lock_guard lock(mutex_);
    unplugged_ = true;
    wake_.notify_all();
}

void SimulatedStream::end() {
    std::lock_guard lock(mutex_);
    ended_ = true;
    wake_.notify_all();
}

void SimulatedStream::changeType() {
    std::lock_guard lock(mutex_);
    typeChangePending_ = true;
    wake_.notify_all();
}

void SimulatedStream::clearFaults() {
    std::lock_guard lock(mutex_);
    stalled_ = unplugged_ = ended_ = typeChangePending_ = false;
    wake_.notify_all();
}

bool SimulatedStream::streaming() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool SimulatedStream::isShutDown() const {
    std::lock_guard lock(mutex_);
    return shutDown_;
}

uint32_t SimulatedStream::nativeIndex() const {
    std::lock_guard lock(mutex_);
    return nativeIndex_;
}

SimulatedStream::Clock::time_point SimulatedStream::startTime() const {
    std::lock_guard lock(mutex_);
    return startTime_;
}

uint64_t SimulatedStream::lost() const {
    std::lock_guard lock(mutex_);
    return lost_;
}

bool SimulatedStream::takeDue(Turn* turn, Clock::time_point* nextDue) {
    if (pacing_ == Pacing::Stepped) {
        if (released_ == 0) return false;
        --released_;
    } else {
        const int64_t period = std::max<int64_t>(1, clocking_.period100ns[nativeIndex_]);
        const int64_t elapsed100ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - startTime_)
                .count() /
            100;
        const uint64_t periods = static_cast<uint64_t>(elapsed100ns / period);
        if (periods < clocking_.lead + number_) {
            *nextDue =
                startTime_ + std::chrono::nanoseconds(
                                 static_cast<int64_t>(clocking_.lead + number_) * period * 100);
            return false;
        }
        // Like a device's buffer: the newest sample and at most `backlog` before it are kept.
        const uint64_t newest = periods - clocking_.lead;
        if (newest - number_ > clocking_.backlog) {
            lost_ += newest - number_ - clocking_.backlog;
            number_ = newest - clocking_.backlog;
        }
    }
    *turn = Turn{number_++, nativeIndex_};
    return true;
}

HRESULT SimulatedStream::awaitTurn(uint32_t timeoutMs, Turn* turn, uint32_t* streamFlags) {
    *streamFlags = 0;
    std::unique_lock lock(mutex_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    cancelled_ = false;
    for (;;) {
        if (shutDown_) return MF_E_SHUTDOWN;
        if (unplugged_) return MF_E_DEVICE_NOT_CONNECTED;
        if (running_ && !stalled_) {
            if (ended_) {
                *streamFlags = MF_SOURCE_READERF_ENDOFSTREAM;
                return S_OK;
            }
            if (typeChangePending_) {
                // The source's signal changed: the device now runs the next type it lists.
                typeChangePending_ = false;
                nativeIndex_ =
                    (nativeIndex_ + 1) % static_cast<uint32_t>(clocking_.period100ns.size());
                restartClock();
                *streamFlags = MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED;
                return S_OK;
            }
            Clock::time_point due;
            if (takeDue(turn, &due)) return S_OK;
            if (pacing_ == Pacing::RealTime && due <= deadline) {
                wake_.wait_until(lock, due,
                                 [&] { return cancelled_ || shutDown_ || unplugged_ || stalled_; });
                if (cancelled_) return S_FALSE;
                continue;
            }
        }
        if (cancelled_ || Clock::now() >= deadline) return S_FALSE;
        wake_.wait_until(lock, deadline);
    }
}

}  // namespace tovrel::sim
