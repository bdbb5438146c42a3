#include "sim/box/simulated_stream.h"

#include <algorithm>
#include <cmath>
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

double SimulatedStream::periodNsOf(uint32_t index) const {
    double nominal =
        100.0 * static_cast<double>(std::max<int64_t>(1, clocking_.period100ns[index]));
    if (index < clocking_.rates.size() && clocking_.rates[index].first > 0) {
        nominal = 1e9 * clocking_.rates[index].second / clocking_.rates[index].first;
    }
    return nominal / (1.0 + driftPpm_ * 1e-6);
}

int64_t SimulatedStream::boxNsOf(uint64_t n) const {
    return anchorBoxNs_ +
           std::llround(static_cast<double>(static_cast<int64_t>(n - anchorNumber_)) * periodNs_);
}

SimulatedStream::Clock::time_point SimulatedStream::dueOf(uint64_t n) const {
    const auto periods =
        static_cast<double>(static_cast<int64_t>(clocking_.lead + n - anchorNumber_));
    return anchorTime_ + std::chrono::nanoseconds(std::llround(periods * periodNs_));
}

void SimulatedStream::restartClock() {
    number_ = 0;
    anchorNumber_ = 0;
    startTime_ = Clock::now();
    firstIndex_ = 0;
    anchorBoxNs_ = 0;
    periodNs_ = clocking_.period100ns.empty() ? 1e7 : periodNsOf(nativeIndex_);
    if (pacing_ == Pacing::RealTime && !clocking_.period100ns.empty()) {
        const auto nowNs = static_cast<double>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(startTime_.time_since_epoch())
                .count());
        firstIndex_ = static_cast<uint64_t>(std::ceil(nowNs / periodNs_));
        anchorBoxNs_ = std::llround(static_cast<double>(firstIndex_) * periodNs_);
        startTime_ = Clock::time_point(
            std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(anchorBoxNs_)));
    }
    anchorTime_ = startTime_;
}

void SimulatedStream::setClockDrift(int32_t ppm) {
    std::lock_guard lock(mutex_);
    if (ppm == driftPpm_) return;
    if (!clocking_.period100ns.empty()) {
        // The next sample keeps its time; those after it come at the new pace.
        anchorBoxNs_ = boxNsOf(number_);
        anchorTime_ =
            dueOf(number_) - std::chrono::nanoseconds(std::llround(clocking_.lead * periodNs_));
        anchorNumber_ = number_;
    }
    driftPpm_ = ppm;
    if (!clocking_.period100ns.empty()) periodNs_ = periodNsOf(nativeIndex_);
}

int32_t SimulatedStream::clockDrift() const {
    std::lock_guard lock(mutex_);
    return driftPpm_;
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
    setClockDrift(0);
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
        // The start lies up to a period ahead, on the box clock's next whole period.
        const auto elapsedNs = static_cast<double>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - anchorTime_)
                .count());
        const uint64_t periods =
            elapsedNs < 0 ? 0 : anchorNumber_ + static_cast<uint64_t>(elapsedNs / periodNs_);
        if (elapsedNs < 0 || periods < clocking_.lead + number_) {
            *nextDue = dueOf(number_);
            return false;
        }
        // Like a device's buffer: the newest sample and at most `backlog` before it are kept.
        const uint64_t newest = periods - clocking_.lead;
        if (newest - number_ > clocking_.backlog) {
            lost_ += newest - number_ - clocking_.backlog;
            number_ = newest - clocking_.backlog;
        }
    }
    turn->number = number_;
    turn->typeIndex = nativeIndex_;
    const int64_t boxNs = boxNsOf(number_);
    turn->boxTime100ns = boxNs / 100;
    turn->boxIndex = firstIndex_ + number_;
    turn->periodNs = periodNs_;
    turn->due = dueOf(number_);
    ++number_;
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
