#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "device/firmware_image_names.h"
#include "device/firmware_library.h"
#include "device/firmware_result.h"
#include "device/panel_transport.h"
#include "panel/panel_state.h"
#include "platform/system/clock.h"

namespace tovrel::panel {

// The control panel's logic without widgets: launch, the once-a-second refresh and the control
// actions, each opening the box, sending its writes and reads and closing it inside `devlock`.
// The window calls these on the GUI thread and renders `state()` after each.
// The firmware buttons run the update on a worker thread that holds `devlock` throughout; it
// hands progress and the result to the GUI thread through `Post` (a queued call), and the other
// actions and the refresh do nothing until it has ended.
class AppDelegate {
  public:
    using Log = std::function<void(std::string_view)>;
    using Post = std::function<void(std::function<void()>)>;
    static constexpr int kKeyCodeF1 = 122;
    static constexpr uint32_t kAppearWaitMs = 1000;

    AppDelegate(device::PanelTransport& transport, device::FirmwareLibrary& firmware,
                platform::Clock& clock, Log log = {});
    ~AppDelegate();

    // `post` runs a call on the GUI thread later; `changed` is called there after the worker's
    // news has reached the state.
    void setThreadHandoff(Post post, std::function<void()> changed);

    void applicationDidFinishLaunching();
    void update();
    void keyDown(int keyCode);
    void changeSource(int tag);
    void muteClick(bool on);
    void sliderMoved(PanelState::Slider slider, int value);
    void defaultClick();
    void ConfigureWindowsClick();
    void ConfigureMacClick();

    const PanelState& state() const { return state_; }
    bool deviceSeen() const { return m_bDevice; }

  private:
    void configure(device::FirmwareTarget target);
    void finished(const device::FirmwareResult& result, bool switched);
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
    Post post_;
    std::function<void()> changed_;
    std::thread worker_;
};

}  // namespace tovrel::panel
