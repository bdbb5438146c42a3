#include "audio/ui/audio_analyzer_command.h"

#include <memory>

#include "audio/ui/audio_dialog.h"
#include "capture/mf_manager.h"

namespace tovrel::audio::ui {

int runAudioAnalyzer(QWidget* parent, capture::MFManager& manager, CAudioDialog*& openAnalyzer) {
    if (openAnalyzer) return -1;
    auto dialog = std::make_unique<CAudioDialog>(manager.audioFormat, manager.analysisRing,
                                                 manager.clock(), parent);
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
