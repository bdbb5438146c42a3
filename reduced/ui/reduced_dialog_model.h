#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "capture/picture_controls.h"
#include "device/ui/io_dialog_model.h"
#include "device/ui/settings_host.h"
#include "platform/media/video_proc_amp.h"
#include "platform/system/thread_checker.h"
#include "reduced/ui/endpoint_volume.h"

namespace tovrel::reduced::ui {

// The reduced program's Settings window without its widgets: the format buttons and the
// resolution list, the five picture bars over the video device's own controls, the capture
// endpoint's volume and mute, Default, and which controls are enabled. Every change reaches the
// device when it is made; nothing polls it. Tests drive it directly.
// GUI thread only.
class ReducedDialogModel {
  public:
    using ScrollCode = device::ui::IODialogModel::ScrollCode;

    // What the window works on: the main window's capture and restart (`capture`), the picture
    // controls read at the video device's last activation, the device's controls now (may give
    // null), and the endpoint volume.
    struct Host {
        device::ui::SettingsHost capture;
        const capture::PictureControls* pictureControls = nullptr;
        std::function<platform::VideoProcAmp*()> videoProcAmp;
        EndpointVolume* volume = nullptr;
    };

    static constexpr int32_t kPageStep = 10;
    static constexpr int32_t kDefaultVolume = 82;
    // The list's selection when no entry is the current mode.
    static constexpr int32_t kNoSelection = 255;

    explicit ReducedDialogModel(Host host);

    // The window's initialisation: mute, the bars from the picture controls, the volume, the
    // format buttons and the resolution list.
    void open();
    // A scroll message of the bar `barId`; answers the bar's new position.
    int32_t onScroll(int32_t barId, ScrollCode code, int32_t trackPosition = 0);
    void onMute();
    void onDefault();
    // "Set" with the list's selected index (-1: none).
    void onResolutionSet(int32_t index);
    // A click on a format radio button.
    void onFormat(int32_t radioId);

    // The window's view.
    int32_t value(int32_t barId) const;
    std::string valueText(int32_t barId) const;
    // The bar's range (the volume's is 0..100).
    std::pair<int32_t, int32_t> range(int32_t barId) const;
    bool muted() const { return mute_; }
    bool enabled(int32_t id) const;
    const std::vector<std::string>& modeEntries() const { return modeEntries_; }
    int32_t selectedMode() const { return selectedMode_; }
    int32_t checkedFormat() const { return checkedFormat_; }

    // The pure arithmetic of both bar kinds.
    static int32_t pictureScroll(int32_t a, int32_t lo, int32_t hi, ScrollCode code, int32_t track);
    static int32_t volumeScroll(int32_t a, ScrollCode code, int32_t track);

  private:
    int32_t pictureIndex(int32_t barId) const;
    void setProperty(size_t index);
    void setControlsEnabled(bool enabled);
    void fillModes();
    bool offers(int32_t family) const;

    Host host_;
    std::array<capture::PictureControls::Property, 5> properties_{};
    // What each picture bar's label shows: where the bar stands, in its range or not.
    std::array<int32_t, 5> shown_{};
    int32_t volume_ = 0;
    bool mute_ = false;
    int32_t checkedFormat_ = -1;
    bool controlsEnabled_ = true;
    std::vector<std::string> modeEntries_;
    int32_t selectedMode_ = kNoSelection;
    platform::ThreadChecker thread_;
};

}  // namespace tovrel::reduced::ui
