#include "device/box_operations.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace tovrel::device {

BoxOperations::BoxOperations(platform::ExtensionUnitBus& bus, platform::Clock& clock,
                             platform::CaptureEndpoints* endpoints)
    : library_(bus), clock_(clock), controls_(library_, clock, endpoints) {}

void BoxOperations::recordStart(bool registerCapable, bool settingsOpen) {
    if (!registerCapable) return;
    worker_.post([this, settingsOpen] {
        int32_t sent = 0;
        controls_.RecordStart(true, settingsOpen, sent);
    });
}

void BoxOperations::recordStop(bool registerCapable, bool px40, bool settingsOpen) {
    if (!registerCapable) return;
    worker_.post([this, px40, settingsOpen] { controls_.RecordStop(true, px40, settingsOpen); });
}

void BoxOperations::setAudioSource(BoxControls::AudioSource source) {
    lastAudioSource_ = source;
    worker_.post([this, source] { controls_.setAudioSource(source); });
}

BoxControls::AudioSource BoxOperations::readAudioSource(uint32_t waitMs) {
    // Shared with the job, which may finish after this call has given up waiting.
    struct Answer {
        std::mutex mutex;
        std::condition_variable ready;
        bool done = false;
        BoxControls::AudioSource source = BoxControls::AudioSource::Hdmi;
    };
    auto answer = std::make_shared<Answer>();
    worker_.post([this, answer] {
        const BoxControls::AudioSource source = controls_.readAudioSource();
        lastAudioSource_ = source;
        {
            std::lock_guard lock(answer->mutex);
            answer->source = source;
            answer->done = true;
        }
        answer->ready.notify_all();
    });
    std::unique_lock lock(answer->mutex);
    if (answer->ready.wait_for(lock, std::chrono::milliseconds(waitMs),
                               [&] { return answer->done; }))
        return answer->source;
    return lastAudioSource_;
}

}  // namespace tovrel::device
