#include "audio/ui/audio_analyzer_command.h"

#include <memory>

#include "audio/ui/audio_dialog.h"

namespace tovrel::audio::ui {

int runAudioAnalyzer(QWidget* parent, const AudioFormat& format, AudioRing& ring,
                     platform::Clock& clock, CAudioDialog*& openAnalyzer) {
    if (openAnalyzer) return -1;
    auto dialog = std::make_unique<CAudioDialog>(format, ring, clock, parent);
    openAnalyzer = dialog.get();
    const int result = dialog->exec();
    dialog.reset();
    openAnalyzer = nullptr;
    return result;
}

void stopAnalyzerWorker(CAudioDialog* analyzer) {
    if (analyzer) analyzer->stopWorker();
}

void restartAnalyzerWorker(CAudioDialog* analyzer) {
    if (analyzer) analyzer->restartWorker();
}

}  // namespace tovrel::audio::ui
