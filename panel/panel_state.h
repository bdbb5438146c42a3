#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "device/box_status.h"

namespace tovrel::panel {

// What the panel's window shows: the outlets of the panel as plain values, so the logic is
// tested without widgets. GUI thread.
struct PanelState {
    enum Slider : size_t { Brightness, Contrast, Hue, Saturation, Sharpness, Volume, kSliderCount };

    std::array<int, kSliderCount> sliders{};
    std::array<std::string, kSliderCount> sliderLabels;
    bool muted = false;
    bool hdmiOn = true;
    bool lineInOn = false;
    device::BoxStatus status;
    bool deviceControlsEnabled = false;
    bool firmwareButtonsVisible = false;
    bool windowsButtonEnabled = false;
    bool macButtonEnabled = false;
    // A firmware update: every control is disabled while it runs.
    bool updating = false;
    std::string progressText;
    uint32_t progressDone = 0;
    uint32_t progressTotal = 0;
    std::string message;  // how the last update ended
};

}  // namespace tovrel::panel
