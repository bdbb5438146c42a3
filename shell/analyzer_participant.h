#pragma once

#include "audio/ui/audio_analyzer_command.h"
#include "shell/capture_participant.h"

namespace tovrel::shell {

// The open analyzer window's worker around the capture host's restarts: it reads the analysis
// ring, so it stops before the teardown and starts again once streaming runs. Registered while
// the window is open; `analyzer` is the main window's record of it. GUI thread.
class AnalyzerParticipant final : public CaptureParticipant {
  public:
    explicit AnalyzerParticipant(audio::ui::CAudioDialog*& analyzer) : analyzer_(analyzer) {}
    void captureStopping() override { audio::ui::stopAnalyzerWorker(analyzer_); }
    void captureStarted() override { audio::ui::restartAnalyzerWorker(analyzer_); }

  private:
    audio::ui::CAudioDialog*& analyzer_;
};

}  // namespace tovrel::shell
