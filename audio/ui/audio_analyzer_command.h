#pragma once

#include "audio/audio_format.h"
#include "audio/audio_ring.h"
#include "platform/system/clock.h"

class QWidget;

namespace tovrel::audio::ui {

class CAudioDialog;

// The [F7]-Audio Analyze command's entry: unless `openAnalyzer` already holds an analyzer
// window, builds one on the capture's audio format, analysis ring and clock, records it in
// `openAnalyzer` (the main window's record), runs it modally, deletes it and clears the record.
// Answers the dialog's result, or -1 when one was open already.
// The format, the ring and the clock outlive the call. GUI thread only.
int runAudioAnalyzer(QWidget* parent, const AudioFormat& format, AudioRing& ring,
                     platform::Clock& clock, CAudioDialog*& openAnalyzer);

// For the capture restarts of device arrival and removal, suspend and resume while the window is
// open (null: none is): stop makes the worker leave its loop and waits for it, before capture is
// stopped; restart, once streaming has started again, starts a new worker as the window's
// opening does, unless one runs. GUI thread only.
void stopAnalyzerWorker(CAudioDialog* analyzer);
void restartAnalyzerWorker(CAudioDialog* analyzer);

}  // namespace tovrel::audio::ui
