#include "device/box_controls.h"

#include <algorithm>
#include <mutex>

#include "device/device_texts.h"
#include "device/register_map.h"
#include "device/register_transport.h"

namespace tovrel::device {

namespace {

constexpr std::array<std::string_view, 2> kBoxEndpointWords{"Norvik", "QUORVA"};

// The lock as a scope guard that may also stay untaken.
class OptionalLock {
  public:
    OptionalLock(platform::NamedLock& lock, bool take) : lock_(take ? &lock : nullptr) {
        if (lock_) lock_->lock();
    }
    ~OptionalLock() {
        if (lock_) lock_->unlock();
    }
    OptionalLock(const OptionalLock&) = delete;
    OptionalLock& operator=(const OptionalLock&) = delete;

  private:
    platform::NamedLock* lock_;
};

}  // namespace

BoxControls::BoxControls(KelmUvcLibrary& library, platform::Clock& clock,
                         platform::CaptureEndpoints* endpoints)
    : library_(library), clock_(clock), endpoints_(endpoints), lock_(kRegisterLockName) {}

float BoxControls::endpointLevelDb(int volume) {
    return static_cast<float>(std::max(0, volume - Defaults::kVolumeEndpointOffset));
}

bool BoxControls::isBoxEndpoint(std::string_view friendlyName) {
    return std::any_of(
        kBoxEndpointWords.begin(), kBoxEndpointWords.end(),
        [&](std::string_view word) { return friendlyName.find(word) != friendlyName.npos; });
}

template <size_t N>
bool BoxControls::writeAll(const std::array<Write, N>& writes) {
    RegisterTransport transport(library_, clock_);
    auto session = transport.IdentifyDevice();
    bool all = true;
    for (const Write& write : writes) all = transport.WriteReg(write.reg, write.value) && all;
    transport.CloseDeviceSession(std::move(session));
    return all;
}

void BoxControls::endpointVolume(int volume) {
    if (!endpoints_) return;
    // Every matching endpoint gets the call; what it answers (a level beyond its range) is not
    // consulted.
    for (const std::string& name : endpoints_->EnumAudioEndpoints())
        if (isBoxEndpoint(name)) endpoints_->SetMasterVolumeLevel(name, endpointLevelDb(volume));
}

void BoxControls::endpointMute(bool muted) {
    if (!endpoints_) return;
    for (const std::string& name : endpoints_->EnumAudioEndpoints())
        if (isBoxEndpoint(name)) endpoints_->SetMute(name, muted);
}

bool BoxControls::setPictureValue(uint8_t reg, int value) {
    OptionalLock guard(lock_, true);
    return writeAll(std::array<Write, 1>{{{reg, value}}});
}

bool BoxControls::setVolume(int value) {
    OptionalLock guard(lock_, true);
    endpointVolume(value);
    return writeAll(std::array<Write, 1>{{{Reg::Volume, value}}});
}

bool BoxControls::setMute(int muted) {
    OptionalLock guard(lock_, true);
    endpointMute(muted != 0);
    return writeAll(std::array<Write, 1>{{{Reg::Mute, muted}}});
}

bool BoxControls::restoreDefaults() {
    OptionalLock guard(lock_, true);
    endpointVolume(kDefaultVolume);
    endpointMute(false);
    // Mute is written last as well: the window shows the box unmuted after the defaults, and a
    // box left muted behind an unchecked box would be silent with no way to tell why.
    return writeAll(std::array<Write, 7>{{
        {Reg::Brightness, kDefaultPicture},
        {Reg::Contrast, kDefaultPicture},
        {Reg::Hue, kDefaultPicture},
        {Reg::Saturation, kDefaultPicture},
        {Reg::Sharpness, kDefaultSharpness},
        {Reg::Volume, kDefaultVolume},
        {Reg::Mute, kNotMuted},
    }});
}

bool BoxControls::setAudioSource(AudioSource source) {
    const int value = source == AudioSource::LineIn ? kAudioInputLineIn : kAudioInputHdmi;
    return writeAll(std::array<Write, 1>{{{Reg::AudioInput, value}}});
}

BoxControls::AudioSource BoxControls::readAudioSource() {
    RegisterTransport transport(library_, clock_);
    auto session = transport.IdentifyDevice();
    uint8_t value = 0;
    const bool read = transport.ReadReg(Reg::AudioInput, value);
    transport.CloseDeviceSession(std::move(session));
    return read && value == kAudioInputLineIn ? AudioSource::LineIn : AudioSource::Hdmi;
}

void BoxControls::RecordStart(bool registerCapable, bool settingsOpen, int32_t& recordNoticeSent) {
    if (!registerCapable || recordNoticeSent != 0) return;
    OptionalLock guard(lock_, settingsOpen);
    writeAll(std::array<Write, 1>{{{Cmd::RecordStart, kRecordFlag}}});
    recordNoticeSent = 1;
}

void BoxControls::RecordStop(bool registerCapable, bool px40, bool settingsOpen) {
    if (!registerCapable) return;
    OptionalLock guard(lock_, settingsOpen);
    if (!px40) writeAll(std::array<Write, 1>{{{Cmd::RecordStop, kRecordFlag}}});
}

}  // namespace tovrel::device
