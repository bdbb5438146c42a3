#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/capture_endpoints.h"

namespace tovrel::platform {

// Capture endpoints held in memory: the simulated box's own and the test doubles. Their range is
// kMinLevelDb to `maxLevelDb` in steps of kIncrementDb; a level outside it is refused with
// E_INVALIDARG, as a device endpoint refuses one. Any thread.
class MemoryCaptureEndpoints final : public CaptureEndpoints {
  public:
    struct State {
        float levelDb = 0.0f;
        bool muted = false;
    };

    static constexpr float kMinLevelDb = -96.0f;
    static constexpr float kIncrementDb = 0.5f;

    explicit MemoryCaptureEndpoints(float maxLevelDb = 11.0f) : maxLevelDb_(maxLevelDb) {}

    void add(const std::string& friendlyName) {
        std::lock_guard lock(mutex_);
        order_.push_back(friendlyName);
        states_[friendlyName];
    }
    State state(const std::string& friendlyName) const {
        std::lock_guard lock(mutex_);
        auto it = states_.find(friendlyName);
        return it == states_.end() ? State{} : it->second;
    }
    int calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    std::vector<std::string> EnumAudioEndpoints() override {
        std::lock_guard lock(mutex_);
        return order_;
    }
    HRESULT SetMasterVolumeLevel(const std::string& friendlyName, float levelDb) override {
        std::lock_guard lock(mutex_);
        ++calls_;
        auto it = states_.find(friendlyName);
        if (it == states_.end()) return E_INVALIDARG;
        // Written so that NaN, which compares false with everything, is refused too.
        if (!(levelDb >= kMinLevelDb && levelDb <= maxLevelDb_)) return E_INVALIDARG;
        it->second.levelDb = levelDb;
        return S_OK;
    }
    HRESULT SetMute(const std::string& friendlyName, bool mute) override {
        std::lock_guard lock(mutex_);
        ++calls_;
        auto it = states_.find(friendlyName);
        if (it == states_.end()) return E_INVALIDARG;
        it->second.muted = mute;
        return S_OK;
    }

    HRESULT GetVolumeRange(const std::string& friendlyName, float* minimumDb, float* maximumDb,
                           float* incrementDb) override {
        if (!minimumDb || !maximumDb || !incrementDb) return E_POINTER;
        std::lock_guard lock(mutex_);
        ++calls_;
        if (!states_.count(friendlyName)) return E_INVALIDARG;
        *minimumDb = kMinLevelDb;
        *maximumDb = maxLevelDb_;
        *incrementDb = kIncrementDb;
        return S_OK;
    }
    HRESULT GetMasterVolumeLevel(const std::string& friendlyName, float* levelDb) override {
        if (!levelDb) return E_POINTER;
        std::lock_guard lock(mutex_);
        ++calls_;
        auto it = states_.find(friendlyName);
        if (it == states_.end()) return E_INVALIDARG;
        *levelDb = it->second.levelDb;
        return S_OK;
    }
    HRESULT GetMute(const std::string& friendlyName, bool* mute) override {
        if (!mute) return E_POINTER;
        std::lock_guard lock(mutex_);
        ++calls_;
        auto it = states_.find(friendlyName);
        if (it == states_.end()) return E_INVALIDARG;
        *mute = it->second.muted;
        return S_OK;
    }

  private:
    const float maxLevelDb_;
    mutable std::mutex mutex_;
    std::vector<std::string> order_;
    std::map<std::string, State> states_;
    int calls_ = 0;
};

}  // namespace tovrel::platform
