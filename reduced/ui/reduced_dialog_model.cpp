#include "reduced/ui/reduced_dialog_model.h"

#include <algorithm>
#include <thread>

#include "reduced/ui/reduced_dialog_layout.h"

namespace tovrel::reduced::ui {
namespace {

using L = ReducedDialogLayout;
using Code = ReducedDialogModel::ScrollCode;

bool isFamily(int32_t family) {
    return family == capture::kFormatYuy2 || family == capture::kFormatMjpg;
}

int32_t familyOfRadio(int32_t id) {
    for (size_t f = 0; f < L::kFormatRadios.size(); ++f)
        if (L::kFormatRadios[f] == id) return static_cast<int32_t>(f);
    return -1;
}

}  // namespace

ReducedDialogModel::ReducedDialogModel(Host host) : host_(std::move(host)) {}

int32_t ReducedDialogModel::pictureScroll(int32_t a, int32_t lo, int32_t hi, Code code,
                                          int32_t track) {
    switch (code) {
        case Code::LineLeft:
            return a > lo ? a - 1 : a;
        case Code::LineRight:
            return a < hi ? a + 1 : a;
        case Code::PageLeft:
            return a > lo + kPageStep ? a - kPageStep : lo;
        case Code::PageRight:
            return a < hi - kPageStep ? a + kPageStep : hi;
        case Code::ThumbTrack:
            return track;
        default:
            return a;
    }
}

int32_t ReducedDialogModel::volumeScroll(int32_t a, Code code, int32_t track) {
    switch (code) {
        case Code::LineLeft:
            return a > 0 ? a - 1 : a;
        case Code::LineRight:
            return a < L::kVolumeMaximum ? a + 1 : a;
        case Code::PageLeft:
            return a <= kPageStep ? 0 : a - kPageStep;
        case Code::PageRight:
            return a >= L::kVolumeMaximum - kPageStep ? L::kVolumeMaximum : a + kPageStep;
        case Code::ThumbTrack:
            return track;
        default:
            return a;
    }
}

int32_t ReducedDialogModel::pictureIndex(int32_t barId) const {
    for (size_t i = 0; i < L::kPictureBars.size(); ++i)
        if (L::kPictureBars[i].id == barId) return static_cast<int32_t>(i);
    return -1;
}

void ReducedDialogModel::setProperty(size_t index) {
    platform::VideoProcAmp* amp = host_.videoProcAmp ? host_.videoProcAmp() : nullptr;
    if (amp == nullptr) return;
    amp->Set(L::kPictureBars[index].property, properties_[index].value,
             platform::VideoProcAmp_Flags_Manual);
}

bool ReducedDialogModel::offers(int32_t family) const {
    if (!host_.capture.capture) return false;
    const capture::FirstFormatIndices indices = host_.capture.capture().firstIndices;
    if (family == capture::kFormatYuy2) return indices.firstYuy2Index != capture::kNoIndex;
    if (family == capture::kFormatMjpg) return indices.firstMjpgIndex != capture::kNoIndex;
    return false;
}

void ReducedDialogModel::open() {
    TOVREL_CHECK_THREAD(thread_);
    mute_ = host_.volume && host_.volume->getMute();
    if (host_.pictureControls) properties_ = host_.pictureControls->properties;
    for (size_t i = 0; i < properties_.size(); ++i) shown_[i] = properties_[i].value;
    volume_ = host_.volume ? host_.volume->getVolume() : 0;
    checkedFormat_ = host_.capture.capture ? host_.capture.capture().videoFormat : -1;
    fillModes();
}

int32_t ReducedDialogModel::onScroll(int32_t barId, Code code, int32_t trackPosition) {
    TOVREL_CHECK_THREAD(thread_);
    if (barId == L::kVolume) {
        volume_ = volumeScroll(volume_, code, trackPosition);
        if (host_.volume) host_.volume->setVolume(volume_);
        return volume_;
    }
    const int32_t i = pictureIndex(barId);
    if (i < 0) return 0;
    auto& property = properties_[static_cast<size_t>(i)];
    const int32_t a =
        pictureScroll(property.value, property.minimum, property.maximum, code, trackPosition);
    // The label shows where the bar is; the device gets only values of its range.
    shown_[static_cast<size_t>(i)] = a;
    if (property.minimum <= a && a <= property.maximum) {
        property.value = a;
        setProperty(static_cast<size_t>(i));
    }
    return a;
}

void ReducedDialogModel::onMute() {
    TOVREL_CHECK_THREAD(thread_);
    mute_ = !mute_;
    if (host_.volume) host_.volume->setMute(mute_);
}

void ReducedDialogModel::onDefault() {
    TOVREL_CHECK_THREAD(thread_);
    for (size_t i = 0; i < properties_.size(); ++i) {
        auto& property = properties_[i];
        if (!property.supported) continue;
        if (property.minimum <= property.defaultValue &&
            property.defaultValue <= property.maximum) {
            property.value = property.defaultValue;
            setProperty(i);
        }
        shown_[i] = property.value;
    }
    if (host_.volume) {
        host_.volume->setVolume(kDefaultVolume);
        mute_ = false;
        host_.volume->setMute(false);
        volume_ = host_.volume->getVolume();
    } else {
        mute_ = false;
        volume_ = 0;
    }
}

void ReducedDialogModel::setControlsEnabled(bool enabled) { controlsEnabled_ = enabled; }

void ReducedDialogModel::onResolutionSet(int32_t index) {
    TOVREL_CHECK_THREAD(thread_);
    setControlsEnabled(false);
    if (host_.capture.capture && host_.capture.restartCapture && isFamily(checkedFormat_)) {
        const device::ui::SettingsHost::Capture c = host_.capture.capture();
        const auto& modes = c.modes[static_cast<size_t>(checkedFormat_)];
        if (index >= 0 && static_cast<size_t>(index) < modes.size()) {
            const capture::VideoMode& mode = modes[static_cast<size_t>(index)];
            host_.capture.restartCapture(static_cast<int32_t>(mode.width),
                                         static_cast<int32_t>(mode.height),
                                         static_cast<int32_t>(mode.frameRate), checkedFormat_);
        }
    }
    setControlsEnabled(true);
}

void ReducedDialogModel::onFormat(int32_t radioId) {
    TOVREL_CHECK_THREAD(thread_);
    const int32_t family = familyOfRadio(radioId);
    if (!isFamily(family) || family == checkedFormat_ || !offers(family)) return;
    setControlsEnabled(false);
    if (host_.capture.capture && host_.capture.restartCapture) {
        const device::ui::SettingsHost::Capture c = host_.capture.capture();
        const auto& modes = c.modes[static_cast<size_t>(family)];
        if (!modes.empty()) {
            host_.capture.restartCapture(static_cast<int32_t>(modes[0].width),
                                         static_cast<int32_t>(modes[0].height),
                                         static_cast<int32_t>(modes[0].frameRate), family);
        }
    }
    checkedFormat_ = family;
    setControlsEnabled(true);
    fillModes();
}

void ReducedDialogModel::fillModes() {
    modeEntries_.clear();
    selectedMode_ = kNoSelection;
    if (!isFamily(checkedFormat_) || !host_.capture.capture) return;
    const device::ui::SettingsHost::Capture c = host_.capture.capture();
    const auto& modes = c.modes[static_cast<size_t>(checkedFormat_)];
    for (size_t i = 0; i < modes.size(); ++i) {
        modeEntries_.push_back(device::ui::IODialogModel::modeText(modes[i]));
        // The last entry of the current mode wins.
        if (modes[i].width == c.width && modes[i].height == c.height &&
            static_cast<float>(modes[i].frameRate) == c.frameRate)
            selectedMode_ = static_cast<int32_t>(i);
    }
}

int32_t ReducedDialogModel::value(int32_t barId) const {
    if (barId == L::kVolume) return volume_;
    const int32_t i = pictureIndex(barId);
    return i < 0 ? 0 : properties_[static_cast<size_t>(i)].value;
}

std::string ReducedDialogModel::valueText(int32_t barId) const {
    if (barId == L::kVolume) return std::to_string(volume_);
    const int32_t i = pictureIndex(barId);
    return i < 0 ? std::string() : std::to_string(shown_[static_cast<size_t>(i)]);
}

std::pair<int32_t, int32_t> ReducedDialogModel::range(int32_t barId) const {
    if (barId == L::kVolume) return {0, L::kVolumeMaximum};
    const int32_t i = pictureIndex(barId);
    if (i < 0) return {0, 0};
    return {properties_[static_cast<size_t>(i)].minimum,
            properties_[static_cast<size_t>(i)].maximum};
}

bool ReducedDialogModel::enabled(int32_t id) const {
    if (!controlsEnabled_) return false;
    const int32_t i = pictureIndex(id);
    if (i >= 0) return properties_[static_cast<size_t>(i)].supported;
    const int32_t family = familyOfRadio(id);
    if (family >= 0) return offers(family);
    return true;
}

}  // namespace tovrel::reduced::ui
