#include "device/ui/io_dialog_model.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <mutex>

#include "device/register_map.h"
#include "device/register_transport.h"
#include "device/status_decoder.h"
#include "device/ui/io_dialog_layout.h"
#include "device/ui/io_dialog_texts.h"
#include "platform/system/number_text.h"

namespace tovrel::device::ui {

using L = IODialogLayout;

// What the queued jobs share with the model: they may still run after the window has gone.
struct IODialogModel::Shared {
    std::atomic<bool> closed{false};
    // Only the model holds it; a result finds the model alive through a weak reference.
    std::shared_ptr<char> alive = std::make_shared<char>(0);
};

namespace {

// The values in the order of the initial read and of the bars.
constexpr std::array<uint8_t, 7> kInitialReads{Reg::Brightness, Reg::Contrast,  Reg::Hue,
                                               Reg::Saturation, Reg::Sharpness, Reg::Volume,
                                               Reg::Mute};
constexpr std::array<int32_t, 6> kDefaultValues{kDefaultPicture, kDefaultPicture,   kDefaultPicture,
                                                kDefaultPicture, kDefaultSharpness, kDefaultVolume};

size_t barIndex(int32_t barId) {
    for (size_t i = 0; i < L::kBars.size(); ++i)
        if (L::kBars[i].id == barId) return i;
    return L::kBars.size();
}

template <size_t N>
bool contains(const std::array<int32_t, N>& group, int32_t id) {
    return std::find(group.begin(), group.end(), id) != group.end();
}

int32_t familyOfRadio(int32_t radioId) {
    for (size_t f = 0; f < L::kFormatRadios.size(); ++f)
        if (L::kFormatRadios[f] == radioId) return static_cast<int32_t>(f);
    return capture::kFormatNone;
}

bool isFamily(int32_t family) { return family >= 0 && family < 3; }

}  // namespace

IODialogModel::IODialogModel(BoxOperations& box, SettingsHost host, Post post)
    : box_(box),
      host_(std::move(host)),
      post_(std::move(post)),
      lock_(std::make_shared<platform::NamedLock>(kRegisterLockName)),
      shared_(std::make_shared<Shared>()),
      values_(kDefaultValues) {
    for (const IOControlSpec& c : L::kControls)
        for (const L::StatusLabel& s : L::kStatusLabels)
            if (c.id == s.id) status_[c.id] = std::string(c.text);
}

IODialogModel::~IODialogModel() {
    close();
    shared_->alive.reset();
}

void IODialogModel::notify(unsigned what) {
    if (changed) changed(what);
}

void IODialogModel::queue(std::function<void()> job, uint32_t key) {
    box_.worker().post(std::move(job), key);
}

std::function<void(std::function<void()>)> IODialogModel::backToWindow() {
    std::weak_ptr<char> alive = shared_->alive;
    Post post = post_;
    return [alive, post](std::function<void()> call) {
        post([alive, call = std::move(call)] {
            if (alive.lock()) call();
        });
    };
}

void IODialogModel::open() {
    TOVREL_CHECK_THREAD(thread_);
    if (opened_) return;
    opened_ = true;

    struct Initial {
        bool found = false;
        std::array<uint8_t, 7> bytes{};
        std::array<bool, 7> read{};
    };
    queue([&box = box_, lock = lock_, done = backToWindow(), this] {
        Initial r;
        {
            std::lock_guard guard(*lock);
            RegisterTransport transport(box.library(), box.clock());
            auto session = transport.IdentifyDevice();
            r.found = session && session->deviceType != kNoDevice;
            for (size_t i = 0; i < kInitialReads.size(); ++i)
                r.read[i] = transport.ReadReg(kInitialReads[i], r.bytes[i]);
            transport.CloseDeviceSession(std::move(session));
        }
        done([this, r] {
            // A value whose read failed keeps its default: what a box starts with, and what
            // the Default button would send.
            for (size_t i = 0; i < values_.size(); ++i)
                if (r.read[i]) values_[i] = r.bytes[i];
            if (r.read[6]) mute_ = r.bytes[6] != 0 ? 1 : 0;
            initialised_ = true;
            deviceEnabled_ = r.found;
            notify(kValues | kEnabled);
        });
    });

    const SettingsHost::Capture c = host_.capture ? host_.capture() : SettingsHost::Capture{};
    formatAvailable_ = {c.firstIndices.firstYuy2Index != capture::kNoIndex,
                        c.firstIndices.firstMjpgIndex != capture::kNoIndex,
                        c.firstIndices.firstNv12Index != capture::kNoIndex};
    checkedFormat_ = c.videoFormat;
    fillModes(c.videoFormat);
    rawEnabled_ = host_.settingControl != 0;
}

void IODialogModel::refresh() {
    TOVREL_CHECK_THREAD(thread_);
    if (closed_ || refreshPending_ || restarting_) return;
    refreshPending_ = true;
    queue([&box = box_, lock = lock_, shared = shared_, done = backToWindow(), this] {
        if (shared->closed) return;
        std::array<std::string, L::kStatusLabels.size()> texts;
        {
            std::lock_guard guard(*lock);
            RegisterTransport transport(box.library(), box.clock());
            auto session = transport.IdentifyDevice();
            const int32_t type = session ? session->deviceType : kNoDevice;
            for (size_t i = 0; i < L::kStatusLabels.size(); ++i) {
                switch (L::kStatusLabels[i].field) {
                    case BoxStatus::DdcVoltage:
                        texts[i] = StatusDecoder::ddcVoltage(transport);
                        break;
                    case BoxStatus::HpdVoltage:
                        texts[i] = StatusDecoder::hpdVoltage(transport);
                        break;
                    case BoxStatus::FirmwareVersion:
                        texts[i] = StatusDecoder::firmwareVersion(transport, type);
                        break;
                    case BoxStatus::OsMode:
                        texts[i] = StatusDecoder::osMode(transport);
                        break;
                    case BoxStatus::SourceTiming:
                        texts[i] = StatusDecoder::sourceTiming(transport);
                        break;
                    case BoxStatus::AudioSampleRate:
                        texts[i] = StatusDecoder::audioSampleRate(transport);
                        break;
                    case BoxStatus::AudioFormatType:
                        texts[i] = StatusDecoder::audioFormatType(transport);
                        break;
                    default:
                        break;
                }
            }
            transport.CloseDeviceSession(std::move(session));
        }
        done([this, texts] {
            refreshPending_ = false;
            for (size_t i = 0; i < L::kStatusLabels.size(); ++i)
                status_[L::kStatusLabels[i].id] = texts[i];
            // The format type alone decides whether the box is there.
            const bool present = status_[L::kAudioFormatType] != kTextNoDevice;
            deviceEnabled_ = present;
            rawEnabled_ = present && host_.settingControl != 0;
            notify(kStatus | kEnabled);
        });
    });
}

void IODialogModel::close() {
    TOVREL_CHECK_THREAD(thread_);
    closed_ = true;
    shared_->closed = true;
}

int32_t& IODialogModel::valueOf(int32_t barId) {
    const size_t i = barIndex(barId);
    assert(i < values_.size());
    return values_[std::min(i, values_.size() - 1)];
}

int32_t IODialogModel::value(int32_t barId) const {
    const size_t i = barIndex(barId);
    return i < values_.size() ? values_[i] : 0;
}

std::string IODialogModel::valueText(int32_t barId) const {
    if (barId == L::kVolume) return volumeText(value(barId));
    return std::to_string(value(barId));
}

int32_t IODialogModel::scrolledPosition(int32_t position, ScrollCode code, int32_t trackPosition) {
    switch (code) {
        case ScrollCode::LineLeft:
            return std::max(0, position - 1);
        case ScrollCode::LineRight:
            return std::min(kMaxValue, position + 1);
        case ScrollCode::PageLeft:
            return position <= kPageStep ? 0 : position - kPageStep;
        case ScrollCode::PageRight:
            return position >= kMaxValue - kPageStep ? kMaxValue : position + kPageStep;
        case ScrollCode::ThumbTrack:
            return std::clamp(trackPosition, 0, kMaxValue);
        default:
            return position;
    }
}

int32_t IODialogModel::onScroll(int32_t barId, ScrollCode code, int32_t trackPosition) {
    TOVREL_CHECK_THREAD(thread_);
    const size_t i = barIndex(barId);
    if (i >= L::kBars.size()) return 0;
    int32_t& v = values_[i];
    v = scrolledPosition(v, code, trackPosition);
    const int32_t value = v;
    const uint8_t reg = L::kBars[i].reg;
    // Every scroll message sends; a write still waiting for the same bar is replaced.
    if (barId == L::kVolume) {
        queue([&box = box_, value] { box.controls().setVolume(value); },
              static_cast<uint32_t>(barId));
    } else {
        queue([&box = box_, reg, value] { box.controls().setPictureValue(reg, value); },
              static_cast<uint32_t>(barId));
    }
    return value;
}

void IODialogModel::onMute() {
    TOVREL_CHECK_THREAD(thread_);
    mute_ = mute_ ? 0 : 1;
    queue([&box = box_, m = mute_] { box.controls().setMute(m); }, static_cast<uint32_t>(L::kMute));
}

void IODialogModel::onDefault() {
    TOVREL_CHECK_THREAD(thread_);
    values_ = kDefaultValues;
    mute_ = 0;
    queue([&box = box_] { box.controls().restoreDefaults(); });
}

int32_t IODialogModel::parseNumber(std::string_view text) {
    auto space = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int32_t n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return 0;
    return n;
}

void IODialogModel::onRawSet(std::string_view command, std::string_view data) {
    TOVREL_CHECK_THREAD(thread_);
    const int32_t reg = parseNumber(command);
    const int32_t value = parseNumber(data);
    queue([&box = box_, lock = lock_, reg, value] {
        std::lock_guard guard(*lock);
        RegisterTransport transport(box.library(), box.clock());
        auto session = transport.IdentifyDevice();
        transport.WriteReg(reg & 0xFF, value & 0xFF);
        transport.CloseDeviceSession(std::move(session));
    });
}

void IODialogModel::onRawGet(std::string_view command) {
    TOVREL_CHECK_THREAD(thread_);
    const int32_t reg = parseNumber(command);
    queue([&box = box_, lock = lock_, done = backToWindow(), reg, this] {
        uint8_t byte = 0;
        bool read = false;
        {
            std::lock_guard guard(*lock);
            RegisterTransport transport(box.library(), box.clock());
            auto session = transport.IdentifyDevice();
            read = transport.ReadReg(reg & 0xFF, byte);
            transport.CloseDeviceSession(std::move(session));
        }
        done([this, read, byte] {
            // A failed read leaves the edit empty rather than showing a byte never read.
            rawData_ = read ? std::to_string(byte) : std::string();
            notify(kRawData);
        });
    });
}

void IODialogModel::onResolutionSet(int32_t index) {
    TOVREL_CHECK_THREAD(thread_);
    if (restarting_) return;
    selectedMode_ = index;
    startRestart(
        [this, index] {
            const SettingsHost::Capture c = host_.capture();
            if (!isFamily(c.videoFormat)) return;
            const auto& modes = c.modes[static_cast<size_t>(c.videoFormat)];
            if (index < 0 || static_cast<size_t>(index) >= modes.size()) return;
            const capture::VideoMode& m = modes[static_cast<size_t>(index)];
            host_.restartCapture(static_cast<int32_t>(m.width), static_cast<int32_t>(m.height),
                                 static_cast<int32_t>(m.frameRate), c.videoFormat);
        },
        capture::kFormatNone);
}

void IODialogModel::onFormat(int32_t radioId) {
    TOVREL_CHECK_THREAD(thread_);
    const int32_t family = familyOfRadio(radioId);
    if (restarting_ || !isFamily(family)) return;
    if (host_.capture && family == host_.capture().videoFormat) return;
    startRestart(
        [this, family] {
            const SettingsHost::Capture c = host_.capture();
            const auto& modes = c.modes[static_cast<size_t>(family)];
            // The device lost the format since the window opened (unplugged, another box):
            // there is no first mode to ask for, and a 0 x 0 capture is no mode at all.
            if (modes.empty()) return;
            const capture::VideoMode& first = modes.front();
            host_.restartCapture(static_cast<int32_t>(first.width),
                                 static_cast<int32_t>(first.height),
                                 static_cast<int32_t>(first.frameRate), family);
            checkedFormat_ = family;
        },
        family);
}

struct IODialogModel::PendingRestart {
    std::function<void()> restart;
    int32_t refillFamily;
};

void IODialogModel::startRestart(std::function<void()> restart, int32_t refillFamily) {
    restarting_ = true;
    notify(kEnabled);
    queueRestart(
        std::make_shared<const PendingRestart>(PendingRestart{std::move(restart), refillFamily}));
}

void IODialogModel::queueRestart(std::shared_ptr<const PendingRestart> pending) {
    // The restart runs on the window's thread once the register work queued before it has
    // finished and nobody holds the lock: the wait for both is the worker's, never the window's.
    auto done = backToWindow();
    queue([done, lock = lock_, pending, this] {
        lock->lock();
        lock->unlock();
        done([this, pending] { finishRestart(pending); });
    });
}

void IODialogModel::finishRestart(const std::shared_ptr<const PendingRestart>& pending) {
    // Taken again in between (a recording notice, another program on the box): wait once more
    // on the worker rather than here.
    if (!lock_->tryLockFor(kRestartLockWaitMs)) {
        queueRestart(pending);
        return;
    }
    if (host_.restartCapture && host_.capture) pending->restart();
    lock_->unlock();
    restarting_ = false;
    deviceEnabled_ = initialised_;
    rawEnabled_ = host_.settingControl != 0;
    const SettingsHost::Capture c = host_.capture ? host_.capture() : SettingsHost::Capture{};
    formatAvailable_ = {c.firstIndices.firstYuy2Index != capture::kNoIndex,
                        c.firstIndices.firstMjpgIndex != capture::kNoIndex,
                        c.firstIndices.firstNv12Index != capture::kNoIndex};
    unsigned what = kEnabled;
    if (isFamily(pending->refillFamily)) {
        // The checked format's list: the new one, or the old one when the change was skipped.
        fillModes(checkedFormat_);
        what |= kFormats;
    }
    notify(what);
}

void IODialogModel::fillModes(int32_t family) {
    modeEntries_.clear();
    selectedMode_ = -1;
    if (!isFamily(family) || !host_.capture) return;
    const SettingsHost::Capture c = host_.capture();
    const auto& modes = c.modes[static_cast<size_t>(family)];
    for (size_t i = 0; i < modes.size(); ++i) {
        modeEntries_.push_back(modeText(modes[i]));
        if (selectedMode_ < 0 && modes[i].width == c.width && modes[i].height == c.height &&
            static_cast<float>(modes[i].frameRate) == c.frameRate)
            selectedMode_ = static_cast<int32_t>(i);
    }
}

bool IODialogModel::enabled(int32_t id) const {
    if (contains(L::kDeviceControls, id)) return deviceEnabled_ && initialised_ && !restarting_;
    if (contains(L::kRawControls, id)) return rawEnabled_ && !restarting_;
    if (id == L::kResolutionList || id == L::kResolutionSet) return !restarting_;
    const int32_t family = familyOfRadio(id);
    if (isFamily(family)) return !restarting_ && formatAvailable_[static_cast<size_t>(family)];
    return true;
}

bool IODialogModel::visible(int32_t id) const { return id != L::kNv12; }

const std::string& IODialogModel::statusText(int32_t labelId) const {
    static const std::string kNone;
    const auto it = status_.find(labelId);
    return it == status_.end() ? kNone : it->second;
}

std::string IODialogModel::volumeText(int32_t volume) {
    return platform::NumberText::fixed((volume - kDefaultVolume) * 0.5, 1) +
           std::string(IODialogTexts::kDecibelUnit);
}

std::string IODialogModel::modeText(const capture::VideoMode& mode) {
    return std::to_string(mode.width) + std::string(IODialogTexts::kModeSeparator) +
           std::to_string(mode.height) + std::string(IODialogTexts::kModeRateSeparator) +
           std::to_string(mode.frameRate);
}

}  // namespace tovrel::device::ui
