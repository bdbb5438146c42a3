#pragma once

#include "audio/ui/audio_analyzer_command.h"
#include "shell/capture_host.h"
#include "shell/capture_participant.h"

namespace tovrel::shell {

// The open analyzer window's worker around the capture host's restarts: it reads the analysis
// ring, so it stops before the teardown and starts again once streaming runs. Registered while
// the window is open; `analyzer` is the main window's record of it. GUI thread.
class AnalyzerParticipant final : public CaptureParticipant {
  public:
    explicit AnalyzerParticipant(audio::ui::CAudioDialog*& analyzer) : analyzer_(analyzer) {}

    // The "[F7]-Audio Analyze" command: the analyzer window on the host's capture, run modally,
    // its worker following the restarts while it is open. Nothing without a capture manager.
    static void runAnalyzer(QWidget* parent, CaptureHost& host,
                            audio::ui::CAudioDialog*& analyzer) {
        if (!host.captureManager) return;
        AnalyzerParticipant participant(analyzer);
        host.addParticipant(participant);
        capture::MFManager& m = *host.captureManager;
        audio::ui::runAudioAnalyzer(parent, m.audioFormat, m.analysisRing, m.clock(), analyzer);
        host.removeParticipant(participant);
    }

    void captureStopping() override { audio::ui::stopAnalyzerWorker(analyzer_); }
    void captureStarted() override { audio::ui::restartAnalyzerWorker(analyzer_); }

  private:
    audio::ui::CAudioDialog*& analyzer_;
};

}  // namespace tovrel::shell
