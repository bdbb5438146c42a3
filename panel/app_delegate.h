#pragma once

#include <functional>
#include <mutex>
#include <string_view>

#include "device/firmware_library.h"
#include "device/panel_transport.h"
#include "panel/panel_state.h"
#include "platform/system/clock.h"

namespace tovrel::panel {

// The control panel's logic without widgets: launch, the once-a-second refresh and the control
// actions, each opening the box, sending its writes and reads and closing it inside `devlock`.
// The window calls these on the GUI thread and renders `state()` after each.
class AppDelegate {
  public:
    using Log = std::function<void(std::string_view)>;
    static constexpr int kKeyCodeF1 = 122;
    static constexpr uint32_t kAppearWaitMs = 1000;

    AppDelegate(device::PanelTransport& transport, device::FirmwareLibrary& firmware,
                platform::Clock& clock, Log log = {});

    void applicationDidFinishLaunching();
    void update();
    void keyDown(int keyCode);
    void changeSource(int tag);
    void muteClick(bool on);
    void sliderMoved(PanelState::Slider slider, int value);
    void defaultClick();

    const PanelState& state() const { return state_; }
    bool deviceSeen() const { return m_bDevice; }

  private:
    void loadControls();
    void showSlider(PanelState::Slider slider);
    void setDeviceControls(bool enabled) { state_.deviceControlsEnabled = enabled; }

    device::PanelTransport& transport_;
    device::FirmwareLibrary& firmware_;
    platform::Clock& clock_;
    Log log_;
    std::mutex devlock;
    PanelState state_;
    bool m_bDevice = false;
};

}  // namespace tovrel::panel
