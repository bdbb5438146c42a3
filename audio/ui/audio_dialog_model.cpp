#include "audio/ui/audio_dialog_model.h"

#include <algorithm>

#include "audio/analyzer_readouts.h"
#include "audio/analyzer_tables.h"
#include "audio/ui/analyzer_pens.h"
#include "audio/ui/spectrum_renderer.h"

namespace tovrel::audio::ui {
namespace {

constexpr int32_t kLastGain = static_cast<int32_t>(kGainTable.size()) - 1;
constexpr int32_t kLastTimeBase = static_cast<int32_t>(kTimeBaseTable.size()) - 1;

QImage blackImage(QSize size) {
    if (size.isEmpty()) return {};
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(QRgb(AnalyzerPens::kBackground)));
    return image;
}

}  // namespace

AudioDialogModel::AudioDialogModel(const AudioFormat& format, AudioRing& ring,
                                   platform::Clock& clock)
    : analyzer_(format, ring, clock),
      gainLeft_(kDefaultGainIndex),
      gainRight_(kDefaultGainIndex),
      timeBase_(kDefaultTimeBaseIndex),
      scroll_(analyzer_.historyLength() - 1) {}

AudioDialogModel::~AudioDialogModel() { close(); }

void AudioDialogModel::open(QSize scopePane, QSize spectrumPane) {
    TOVREL_CHECK_THREAD(thread_);
    if (opened_) return;
    opened_ = true;
    scopeHeight_ = scopePane.height();
    analyzer_.freeze = false;
    analyzer_.trigger = true;
    scroll_ = analyzer_.historyLength() - 1;
    scopeImage_ = blackImage(scopePane);
    spectrumImage_ = blackImage(spectrumPane);
    AudioAnalyzer::Hooks hooks;
    hooks.spectrumReady = [this](const SpectrumBands::Heights& left,
                                 const std::optional<SpectrumBands::Heights>& right) {
        SpectrumRenderer::draw(spectrumImage_, left, right);
        if (spectrumReady) spectrumReady(spectrumImage_);
    };
    hooks.blockDone = [this] {
        if (blockArrived) blockArrived();
    };
    analyzer_.setHooks(std::move(hooks));
    analyzer_.startWorker();
}

void AudioDialogModel::close() {
    TOVREL_CHECK_THREAD(thread_);
    analyzer_.stopWorker();
}

void AudioDialogModel::stopWorker() {
    TOVREL_CHECK_THREAD(thread_);
    analyzer_.stopWorker();
}

void AudioDialogModel::restartWorker() {
    TOVREL_CHECK_THREAD(thread_);
    if (opened_) analyzer_.startWorker();
}

AudioDialogModel::SliderSetup AudioDialogModel::gainSlider(Side side) const {
    return {0, kLastGain, gainIndex(side)};
}

AudioDialogModel::SliderSetup AudioDialogModel::offsetSlider(Side side) const {
    return {0, std::max(scopeHeight_ - 1, 0), offset(side) + scopeHeight_ / 2};
}

AudioDialogModel::SliderSetup AudioDialogModel::timeBaseSlider() const {
    return {0, kLastTimeBase, timeBase_};
}

AudioDialogModel::SliderSetup AudioDialogModel::positionSlider() const {
    const int32_t top = std::max((analyzer_.historyLength() - 1) / 2, 0);
    return {0, top, top};
}

void AudioDialogModel::onGain(Side side, int32_t position) {
    TOVREL_CHECK_THREAD(thread_);
    (side == Side::Left ? gainLeft_ : gainRight_) = std::clamp(position, 0, kLastGain);
    redrawScope();
}

void AudioDialogModel::onOffset(Side side, int32_t position) {
    TOVREL_CHECK_THREAD(thread_);
    (side == Side::Left ? offsetLeft_ : offsetRight_) = position - scopeHeight_ / 2;
    redrawScope();
}

void AudioDialogModel::onTimeBase(int32_t position) {
    TOVREL_CHECK_THREAD(thread_);
    timeBase_ = std::clamp(position, 0, kLastTimeBase);
    redrawScope();
}

void AudioDialogModel::onPosition(int32_t position) {
    TOVREL_CHECK_THREAD(thread_);
    scroll_ = ScopeWindow::scrollForPosition(analyzer_.historyLength(), position);
    redrawScope();
}

void AudioDialogModel::onFreeze(bool checked) {
    TOVREL_CHECK_THREAD(thread_);
    analyzer_.freeze = checked;
    redrawScope();
}

void AudioDialogModel::onTrigger(bool checked) {
    TOVREL_CHECK_THREAD(thread_);
    analyzer_.trigger = checked;
    redrawScope();
}

std::string AudioDialogModel::gainLabel(Side side) const {
    return std::string(kGainTable[static_cast<size_t>(gainIndex(side))].label);
}

std::string AudioDialogModel::offsetLabel(Side side) const {
    return AnalyzerReadouts::offsetText(offset(side));
}

std::string AudioDialogModel::timeBaseLabel() const {
    return std::string(kTimeBaseTable[static_cast<size_t>(timeBase_)].label);
}

std::string AudioDialogModel::formatText() const {
    return AnalyzerReadouts::formatText(analyzer_.channels(), analyzer_.bits(), analyzer_.rate());
}

int32_t AudioDialogModel::visibleSamples() const {
    return analyzer_.historyLength() / kTimeBaseTable[static_cast<size_t>(timeBase_)].divisor;
}

const QImage& AudioDialogModel::redrawScope() {
    TOVREL_CHECK_THREAD(thread_);
    bool drawn = false;
    analyzer_.withHistory([&](const ScopeHistory& history) {
        if (!history.hasLeft()) return;
        span_ = ScopeWindow::span(history.left(), history.writeIndex(), scroll_, visibleSamples(),
                                  analyzer_.trigger.load(), scopeImage_.width());
        scopeRenderer_.draw(scopeImage_, history, span_, analyzer_.fullScale(),
                            {kGainTable[static_cast<size_t>(gainLeft_)].factor, offsetLeft_},
                            {kGainTable[static_cast<size_t>(gainRight_)].factor, offsetRight_});
        drawn = true;
    });
    if (drawn) updateReadouts();
    return scopeImage_;
}

void AudioDialogModel::updateReadouts() {
    const int32_t length = analyzer_.historyLength();
    bufferSizeText_ = AnalyzerReadouts::integerText(analyzer_.lastBlockSize());
    const uint32_t now = analyzer_.clock().timeGetTime();
    // 1000 less the milliseconds since the last block; the 32-bit clock's wrap cancels out.
    const int32_t t = static_cast<int32_t>(analyzer_.openTime() +
                                           static_cast<uint32_t>(analyzer_.timeValue()) - now);
    deltaText_ = AnalyzerReadouts::secondsText(t);
    const ScopeWindow::AutoScroll a =
        ScopeWindow::autoScroll(t, length, analyzer_.freeze.load(), scroll_);
    selection_ = {a.selectionMin, a.selectionMax};
    scroll_ = a.scroll;
    const int32_t endMs =
        ScopeWindow::endTimeMs(analyzer_.timeValue(), ScopeWindow::lagMs(span_.lag, length));
    endTimeText_ = AnalyzerReadouts::secondsText(endMs);
    startTimeText_ = AnalyzerReadouts::secondsText(
        ScopeWindow::startTimeMs(endMs, visibleSamples(), analyzer_.rate()));
}

}  // namespace tovrel::audio::ui
