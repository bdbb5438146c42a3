// The analyzer window's controls through its model (ranges, limits, offset, freeze, mono), and
// the scope drawing's column reduction held against the plain every-point polyline.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "audio/analyzer_tables.h"
#include "audio/scope_history.h"
#include "audio/scope_window.h"
#include "audio/ui/analyzer_pens.h"
#include "audio/ui/audio_dialog_model.h"
#include "audio/ui/scope_renderer.h"
#include "platform/system/manual_clock.h"

namespace tovrel::audio::ui {
namespace {

using Side = AudioDialogModel::Side;

constexpr int kRate = 48'000;
const QSize kScopePane(312, 325);
const QSize kSpectrumPane(420, 325);

// One second of 16-bit frames, `channels` interleaved values from value(frame, channel).
template <typename F>
std::vector<uint8_t> block16(int channels, F value) {
    std::vector<int16_t> v(static_cast<size_t>(kRate) * channels);
    for (int i = 0; i < kRate; ++i) {
        for (int c = 0; c < channels; ++c) v[static_cast<size_t>(i * channels + c)] = value(i, c);
    }
    std::vector<uint8_t> bytes(v.size() * 2);
    std::memcpy(bytes.data(), v.data(), bytes.size());
    return bytes;
}

int16_t sine(double hz, int frame, double amplitude) {
    return static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * frame / kRate)));
}

// Rows of column x holding the colour.
std::vector<int> rowsOf(const QImage& image, int x, uint32_t rgb) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if ((image.pixel(x, y) & 0xFFFFFF) == rgb) rows.push_back(y);
    }
    return rows;
}

// A model opened on panes of the window's size with its worker stopped, so that each test feeds
// blocks itself on a clock that stands still.
class ModelTest : public ::testing::Test {
  protected:
    void openWith(uint32_t channels) {
        format_ = AudioFormat{kRate, channels, 16, 2 * channels, true};
        model_ = std::make_unique<AudioDialogModel>(format_, ring_, clock_);
        model_->open(kScopePane, kSpectrumPane);
        model_->stopWorker();
    }
    void feed(const std::vector<uint8_t>& block) {
        model_->analyzer().processBlock(block.data(), static_cast<int32_t>(block.size()));
    }

    platform::ManualClock clock_{5000};
    AudioFormat format_;
    AudioRing ring_;
    std::unique_ptr<AudioDialogModel> model_;
};

TEST_F(ModelTest, ControlsStartAtTheirDefaultsWithTheirRanges) {
    openWith(2);
    const int h = kScopePane.height();
    for (Side side : {Side::Left, Side::Right}) {
        const auto gain = model_->gainSlider(side);
        EXPECT_EQ(gain.minimum, 0);
        EXPECT_EQ(gain.maximum, 15);
        EXPECT_EQ(gain.position, 7);
        EXPECT_EQ(model_->gainLabel(side), "*1");
        const auto offset = model_->offsetSlider(side);
        EXPECT_EQ(offset.minimum, 0);
        EXPECT_EQ(offset.maximum, h - 1);
        EXPECT_EQ(offset.position, h / 2);
        EXPECT_EQ(model_->offsetLabel(side), "0");
    }
    const auto timeBase = model_->timeBaseSlider();
    EXPECT_EQ(timeBase.minimum, 0);
    EXPECT_EQ(timeBase.maximum, 12);
    EXPECT_EQ(timeBase.position, 9);
    EXPECT_EQ(model_->timeBaseLabel(), "10 mS/Div");
    EXPECT_EQ(model_->visibleSamples(), 4800);
    const auto position = model_->positionSlider();
    EXPECT_EQ(position.minimum, 0);
    EXPECT_EQ(position.maximum, (kRate - 1) / 2);
    EXPECT_EQ(position.position, (kRate - 1) / 2);
    EXPECT_EQ(model_->scroll(), kRate - 1);
    EXPECT_FALSE(model_->freeze());
    EXPECT_TRUE(model_->trigger());
    EXPECT_EQ(model_->formatText(), "S-16-48000");
}

TEST_F(ModelTest, TheTimeBaseAndGainsStayInsideTheirTablesAndLabelsFollowTheThumb) {
    openWith(2);
    model_->onTimeBase(0);
    EXPECT_EQ(model_->timeBaseLabel(), "10 uS/Div");
    EXPECT_EQ(model_->visibleSamples(), 4);
    model_->onTimeBase(12);
    EXPECT_EQ(model_->timeBaseLabel(), "100 mS/Div");
    EXPECT_EQ(model_->visibleSamples(), kRate);
    model_->onTimeBase(13);
    EXPECT_EQ(model_->timeBaseIndex(), 12);
    model_->onTimeBase(-1);
    EXPECT_EQ(model_->timeBaseIndex(), 0);
    for (int32_t p = 0; p < 13; ++p) {
        model_->onTimeBase(p);
        EXPECT_EQ(model_->timeBaseLabel(), kTimeBaseTable[static_cast<size_t>(p)].label);
    }
    model_->onGain(Side::Left, 0);
    EXPECT_EQ(model_->gainLabel(Side::Left), "*128");
    model_->onGain(Side::Right, 15);
    EXPECT_EQ(model_->gainLabel(Side::Right), "/256");
    model_->onGain(Side::Right, 16);
    EXPECT_EQ(model_->gainIndex(Side::Right), 15);
    EXPECT_EQ(model_->gainLabel(Side::Left), "*128") << "each side keeps its own gain";
}

// A flat trace at the zero line of each channel: moving the left offset thumb 10 pixels up
// reads "10" and lifts the green line by 10 rows; the blue one stays.
TEST_F(ModelTest, AnOffsetThumbTenPixelsUpReadsTenAndLiftsItsTraceTenRows) {
    openWith(2);
    model_->onTrigger(false);
    feed(block16(2, [](int, int) -> int16_t { return 0; }));
    const int x = kScopePane.width() / 3;
    const int h = kScopePane.height();
    QImage before = model_->redrawScope();
    const std::vector<int> blueBefore = rowsOf(before, x, AnalyzerPens::kRight);
    ASSERT_EQ(rowsOf(before, x, AnalyzerPens::kLeft), std::vector<int>{});
    ASSERT_EQ(blueBefore, std::vector<int>{h / 2}) << "the right trace is drawn over the left";

    model_->onOffset(Side::Left, h / 2 - 10);
    EXPECT_EQ(model_->offsetLabel(Side::Left), "10");
    EXPECT_EQ(model_->offset(Side::Left), -10);
    const QImage after = model_->scopeImage();
    EXPECT_EQ(rowsOf(after, x, AnalyzerPens::kLeft), std::vector<int>{h / 2 - 10});
    EXPECT_EQ(rowsOf(after, x, AnalyzerPens::kRight), blueBefore);

    model_->onOffset(Side::Right, h / 2 + 7);
    EXPECT_EQ(model_->offsetLabel(Side::Right), "-7");
    EXPECT_EQ(rowsOf(model_->scopeImage(), x, AnalyzerPens::kRight), std::vector<int>{h / 2 + 7});
}

TEST_F(ModelTest, FreezeHoldsTheScopeWhileTheSpectrumKeepsChanging) {
    openWith(2);
    feed(block16(2, [](int i, int c) { return sine(c == 0 ? 440 : 1000, i, 8000); }));
    model_->onFreeze(true);
    const QImage frozen = model_->redrawScope();
    const SpectrumBands::Heights bands440 = model_->analyzer().leftBands();
    feed(block16(2, [](int i, int c) { return sine(c == 0 ? 3000 : 7000, i, 16000); }));
    EXPECT_NE(model_->analyzer().leftBands(), bands440) << "the spectrum follows every block";
    EXPECT_EQ(model_->redrawScope(), frozen) << "the scope stays";

    model_->onFreeze(false);
    feed(block16(2, [](int i, int c) { return sine(c == 0 ? 3000 : 7000, i, 16000); }));
    EXPECT_NE(model_->redrawScope(), frozen);
}

TEST_F(ModelTest, AMonoCaptureHasNoRightTraceAndItsRightControlsChangeNothing) {
    openWith(1);
    EXPECT_EQ(model_->formatText(), "M-16-48000");
    feed(block16(1, [](int i, int) { return sine(440, i, 8000); }));
    EXPECT_FALSE(model_->analyzer().rightBands());
    const QImage image = model_->redrawScope();
    bool green = false;
    for (int x = 0; x < image.width(); ++x) {
        EXPECT_TRUE(rowsOf(image, x, AnalyzerPens::kRight).empty()) << x;
        green = green || !rowsOf(image, x, AnalyzerPens::kLeft).empty();
    }
    EXPECT_TRUE(green);
    model_->onGain(Side::Right, 0);
    model_->onOffset(Side::Right, 0);
    EXPECT_EQ(model_->gainLabel(Side::Right), "*128");
    EXPECT_EQ(model_->offsetLabel(Side::Right), std::to_string(kScopePane.height() / 2));
    EXPECT_EQ(model_->scopeImage(), image);
}

// --- the scope drawing: the column reduction against every point ---

struct Case {
    const char* name;
    std::vector<int16_t> (*left)(std::mt19937&);
};

std::vector<int16_t> noise(std::mt19937& rng) {
    std::uniform_int_distribution<int> d(-32768, 32767);
    std::vector<int16_t> v(kRate);
    for (auto& s : v) s = static_cast<int16_t>(d(rng));
    return v;
}
std::vector<int16_t> tones(std::mt19937&) {
    std::vector<int16_t> v(kRate);
    for (int i = 0; i < kRate; ++i)
        v[static_cast<size_t>(i)] =
            static_cast<int16_t>(sine(440, i, 12000) + sine(5000, i, 4000) + sine(17, i, 9000));
    return v;
}
std::vector<int16_t> square(std::mt19937&) {
    std::vector<int16_t> v(kRate);
    for (int i = 0; i < kRate; ++i) v[static_cast<size_t>(i)] = (i / 37) % 2 ? 30000 : -30000;
    return v;
}
std::vector<int16_t> clicks(std::mt19937& rng) {
    std::vector<int16_t> v(kRate, 0);
    std::uniform_int_distribution<int> at(0, kRate - 1);
    for (int k = 0; k < 200; ++k) v[static_cast<size_t>(at(rng))] = k % 2 ? 32767 : -32768;
    return v;
}

// Qt's one-pixel pen leaves out a segment's last pixel and decides a join's pixel by the
// segments on both sides, so a column's extreme can come out one pixel different where the
// reduced trace joins it from another direction: at most two pixels a column, and almost every
// drawing is identical.
TEST(ScopeRendererTest, TheColumnReductionDrawsThePixelsOfEveryPointButForAFewJoins) {
    std::mt19937 rng(7);
    const Case cases[] = {
        {"noise", noise}, {"tones", tones}, {"square", square}, {"clicks", clicks}};
    const QSize panes[] = {QSize(312, 325), QSize(97, 41)};
    int compared = 0;
    int exact = 0;
    double worstShare = 0;
    for (const Case& c : cases) {
        const std::vector<int16_t> left = c.left(rng);
        const std::vector<int16_t> right = noise(rng);
        std::vector<int16_t> frames(2 * kRate);
        for (int i = 0; i < kRate; ++i) {
            frames[static_cast<size_t>(2 * i)] = left[static_cast<size_t>(i)];
            frames[static_cast<size_t>(2 * i + 1)] = right[static_cast<size_t>(i)] / 3;
        }
        ScopeHistory history(kRate, 2, 16, 4);
        // Half a block first, so that the write index sits inside the history.
        history.append(reinterpret_cast<const uint8_t*>(frames.data()), 2 * kRate);
        history.append(reinterpret_cast<const uint8_t*>(frames.data()), 4 * kRate);
        for (QSize pane : panes) {
            for (size_t t = 0; t < kTimeBaseTable.size(); ++t) {
                const int32_t visible = kRate / kTimeBaseTable[t].divisor;
                for (bool trigger : {false, true}) {
                    const int32_t scroll = trigger ? kRate - 1 : 12'345;
                    const ScopeWindow::Span span =
                        ScopeWindow::span(history.left(), history.writeIndex(), scroll, visible,
                                          trigger, pane.width());
                    for (const auto& [gain, offset] : {std::pair{0, 0}, {7, 13}, {10, -40}}) {
                        const ScopeRenderer::Channel l{kGainTable[static_cast<size_t>(gain)].factor,
                                                       offset};
                        const ScopeRenderer::Channel r{kGainTable[7].factor, -offset};
                        QImage reduced(pane, QImage::Format_RGB32);
                        QImage plain(pane, QImage::Format_RGB32);
                        ScopeRenderer fast;
                        ScopeRenderer reference;
                        reference.setEveryPoint(true);
                        fast.draw(reduced, history, span, 128, l, r);
                        reference.draw(plain, history, span, 128, l, r);
                        // Pixels of one image only, and how many columns they fall in.
                        int differing = 0;
                        int traced = 0;
                        for (int x = 0; x < pane.width(); ++x) {
                            int inColumn = 0;
                            for (int y = 0; y < pane.height(); ++y) {
                                const QRgb a = reduced.pixel(x, y), b = plain.pixel(x, y);
                                traced += (b & 0xFFFFFF) == AnalyzerPens::kLeft ||
                                          (b & 0xFFFFFF) == AnalyzerPens::kRight;
                                inColumn += a != b;
                            }
                            EXPECT_LE(inColumn, 2) << c.name << " column " << x;
                            differing += inColumn;
                        }
                        worstShare =
                            std::max(worstShare, traced ? double(differing) / traced : 0.0);
                        exact += differing == 0;
                        ++compared;
                    }
                }
            }
        }
    }
    EXPECT_EQ(compared, 4 * 2 * 13 * 2 * 3);
    std::printf("identical drawings: %d of %d; worst share of trace pixels differing: %.5f\n",
                exact, compared, worstShare);
    EXPECT_LT(worstShare, 0.002);
    EXPECT_GE(exact, compared * 9 / 10);
}

}  // namespace
}  // namespace tovrel::audio::ui
