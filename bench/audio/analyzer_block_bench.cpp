// The analyzer worker's cost per one-second block at 48 kHz stereo: both spectra, their bands
// and the spectrum drawing, the history append and the scope drawing. Prints median and 99th
// percentile over repeated blocks.
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "audio/ui/audio_dialog_model.h"

int main(int argc, char** argv) {
    using namespace tovrel;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    audio::AudioFormat format{48'000, 2, 16, 4, true};
    audio::AudioRing ring;
    audio::ui::AudioDialogModel model(format, ring, platform::SystemClock::instance());
    model.open(QSize(312, 325), QSize(420, 325));  // no block in the ring: the worker idles
    model.stopWorker();
    std::vector<int16_t> block(96'000);
    for (int i = 0; i < 48'000; ++i) {
        block[2 * i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * i / 48'000.0));
        block[2 * i + 1] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000 * i / 48'000.0));
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
    for (int timeBase : {9, 12}) {
        model.onTimeBase(timeBase);
        std::vector<double> ms;
        for (int r = 0; r < 300; ++r) {
            const auto t0 = std::chrono::steady_clock::now();
            model.analyzer().processBlock(bytes, 192'000);
            model.redrawScope();
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count());
        }
        std::sort(ms.begin(), ms.end());
        std::printf("time base %d: per block median %.3f ms, p99 %.3f ms (goal < 5 ms)\n", timeBase,
                    ms[ms.size() / 2], ms[ms.size() * 99 / 100]);
    }
    return 0;
}
