#include "panel/app_delegate.h"

#include <cstdio>

#include "device/device_texts.h"
#include "device/firmware_image_names.h"
#include "device/firmware_update.h"
#include "device/register_map.h"
#include "device/status_decoder.h"
#include "panel/panel_texts.h"

namespace tovrel::panel {

namespace {

constexpr std::array<uint8_t, PanelState::kSliderCount> kSliderRegisters{
    device::Reg::Brightness, device::Reg::Contrast,  device::Reg::Hue,
    device::Reg::Saturation, device::Reg::Sharpness, device::Reg::Volume};

std::string formatted(const char* pattern, auto value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

}  // namespace

AppDelegate::AppDelegate(device::PanelTransport& transport, device::FirmwareLibrary& firmware,
                         platform::Clock& clock, Log log)
    : transport_(transport), firmware_(firmware), clock_(clock), log_(std::move(log)) {
    if (!log_) {
        log_ = [](std::string_view line) {
            std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
        };
    }
}

AppDelegate::~AppDelegate() {
    if (worker_.joinable()) worker_.join();
}

void AppDelegate::setThreadHandoff(Post post, std::function<void()> changed) {
    post_ = std::move(post);
    changed_ = std::move(changed);
}

void AppDelegate::ConfigureWindowsClick() { configure(device::FirmwareTarget::Windows); }

void AppDelegate::ConfigureMacClick() { configure(device::FirmwareTarget::Mac); }

void AppDelegate::configure(device::FirmwareTarget target) {
    if (state_.updating || !post_) return;
    if (worker_.joinable()) worker_.join();
    state_.updating = true;
    state_.message.clear();
    state_.progressDone = state_.progressTotal = 0;
    worker_ = std::thread([this, target] {
        std::lock_guard lock(devlock);
        device::FirmwareUpdate updater(transport_, log_);
        auto progress = [this](const device::FirmwareProgress& p) {
            post_([this, text = std::string(p.text), done = p.done, total = p.total] {
                state_.progressText = text;
                state_.progressDone = done;
                state_.progressTotal = total;
                if (changed_) changed_();
            });
        };
        device::FirmwareResult result = updater.update(target, firmware_, progress);
        bool switched = false;
        // A box whose update failed keeps the mode it runs: it can then be updated again.
        if (result.ok() && transport_.OpenBox()) {
            transport_.WriteReg(device::Cmd::AudioInput, device::kAudioInputHdmi);
            switched =
                transport_.WriteReg(device::Cmd::Mode, target == device::FirmwareTarget::Windows
                                                           ? device::kModeSwitchToWindows
                                                           : device::kModeSwitchToMac);
            transport_.CloseBox();
        }
        post_([this, result, switched] { finished(result, switched); });
    });
}

void AppDelegate::finished(const device::FirmwareResult& result, bool switched) {
    if (worker_.joinable()) worker_.join();
    state_.updating = false;
    state_.message = result.message + std::string(switched ? kModeSwitched : kModeNotSwitched);
    if (changed_) changed_();
}

void AppDelegate::showSlider(PanelState::Slider slider) {
    uint8_t value = 0;
    if (!transport_.ReadReg(kSliderRegisters[slider], value)) {
        state_.sliderLabels[slider] = device::kTextNoDevice;  // the slider stays where it was
        return;
    }
    state_.sliders[slider] = value;
    state_.sliderLabels[slider] =
        slider == PanelState::Volume
            ? formatted(kVolumeFormat, (value - device::kDefaultVolume) * 0.5)
            : formatted(kValueFormat, static_cast<int>(value));
}

void AppDelegate::loadControls() {
    for (size_t s = 0; s < PanelState::kSliderCount; ++s)
        showSlider(static_cast<PanelState::Slider>(s));
    uint8_t mute = 0;
    state_.muted = transport_.ReadReg(device::Reg::Mute, mute) && mute == device::kMuted;
}

void AppDelegate::applicationDidFinishLaunching() {
    std::lock_guard lock(devlock);
    if (transport_.OpenBox()) {
        loadControls();
        const int32_t type = transport_.deviceType();
        auto loadable = [&](device::FirmwareTarget target) {
            auto name = device::firmwareImageName(target, type);
            return name && firmware_.load(*name, device::FirmwareUpdate::kMaxImageBytes);
        };
        state_.macButtonEnabled = loadable(device::FirmwareTarget::Mac);
        state_.windowsButtonEnabled = loadable(device::FirmwareTarget::Windows);
        transport_.CloseBox();
        m_bDevice = true;
        setDeviceControls(true);
    } else {
        m_bDevice = false;
        setDeviceControls(false);
    }
}

void AppDelegate::update() {
    if (state_.updating) return;
    std::lock_guard lock(devlock);
    if (transport_.OpenBox()) {
        if (!m_bDevice) {
            clock_.sleep(kAppearWaitMs);  // the box settles before its values are read
            setDeviceControls(true);
            loadControls();
            m_bDevice = true;
        }
        using S = device::BoxStatus;
        using D = device::StatusDecoder;
        auto& texts = state_.status.texts;
        texts[S::SourceTiming] = D::sourceTiming(transport_);
        texts[S::CaptureResolution] = D::captureResolution(transport_);
        texts[S::FirmwareVersion] = D::firmwareVersion(transport_, transport_.deviceType());
        texts[S::OsMode] = D::osMode(transport_);
        texts[S::DdcVoltage] = D::ddcVoltage(transport_);
        texts[S::HpdVoltage] = D::hpdVoltage(transport_);
        texts[S::AudioFormatType] = D::audioFormatType(transport_);
        texts[S::AudioSampleRate] = D::audioSampleRate(transport_);
        uint8_t input = 0;
        const bool hdmi =
            transport_.ReadReg(device::Reg::AudioInput, input) && input == device::kAudioInputHdmi;
        state_.hdmiOn = hdmi;
        state_.lineInOn = !hdmi;
        transport_.CloseBox();
    } else if (m_bDevice) {
        setDeviceControls(false);
        m_bDevice = false;
    }
}

void AppDelegate::keyDown(int keyCode) {
    if (keyCode == kKeyCodeF1) state_.firmwareButtonsVisible = true;
}

void AppDelegate::changeSource(int tag) {
    if (state_.updating) return;
    if (tag != 0 && tag != 1) return;
    std::lock_guard lock(devlock);
    if (!transport_.OpenBox()) return;
    log_(tag == 1 ? kLogLineIn : kLogHdmi);
    transport_.WriteReg(device::Cmd::AudioInput,
                        tag == 1 ? device::kAudioInputLineIn : device::kAudioInputHdmi);
    transport_.CloseBox();
}

void AppDelegate::muteClick(bool on) {
    if (state_.updating) return;
    std::lock_guard lock(devlock);
    if (!transport_.OpenBox()) return;
    transport_.WriteReg(device::Cmd::Mute, on ? device::kMuted : device::kNotMuted);
    state_.muted = on;
    transport_.CloseBox();
}

void AppDelegate::sliderMoved(PanelState::Slider slider, int value) {
    if (state_.updating) return;
    std::lock_guard lock(devlock);
    if (!transport_.OpenBox()) return;
    transport_.WriteReg(kSliderRegisters[slider], value & 0xFF);
    showSlider(slider);
    transport_.CloseBox();
}

void AppDelegate::defaultClick() {
    if (state_.updating) return;
    std::lock_guard lock(devlock);
    if (!transport_.OpenBox()) return;
    for (uint8_t reg : {device::Cmd::Brightness, device::Cmd::Contrast, device::Cmd::Hue,
                        device::Cmd::Saturation})
        transport_.WriteReg(reg, device::kDefaultPicture);
    transport_.WriteReg(device::Cmd::Sharpness, device::kDefaultSharpness);
    transport_.WriteReg(device::Cmd::Volume, device::kDefaultVolume);
    for (size_t s = 0; s < PanelState::kSliderCount; ++s)
        showSlider(static_cast<PanelState::Slider>(s));
    transport_.WriteReg(device::Cmd::Mute, device::kNotMuted);
    state_.muted = false;
    transport_.WriteReg(device::Cmd::AudioInput, device::kAudioInputHdmi);
    state_.hdmiOn = true;
    state_.lineInOn = false;
    transport_.WriteReg(device::Cmd::Mode, device::kModeApply);
    transport_.CloseBox();
}

}  // namespace tovrel::panel
