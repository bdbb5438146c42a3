#pragma once

#include <functional>
#include <string>

#include "platform/system/hresult.h"

class QWidget;

namespace tovrel::shell {

// The one entry point of each subsystem that a command starts. The main window fills in those
// its edition has; a command whose entry point is empty does nothing at all (no caption change,
// no flag), so the menu never claims work that did not happen. GUI thread.
struct SubsystemEntryPoints {
    // Box recording: path, quality, video type, audio type, prefer hardware. Sets the capture
    // manager's `recording` while it runs.
    std::function<platform::HRESULT(const std::string&, int, int, int, bool)> StartRecording;
    std::function<void()> StopRecording;
    // Desktop recording, the same arguments; sets `screenRecording` while it runs.
    std::function<platform::HRESULT(const std::string&, int, int, int, bool)> StartScreenRecording;
    std::function<void()> StopScreenRecording;
    // S_OK, or why the running box or screen recording can no longer write its file.
    std::function<platform::HRESULT()> RecordingWriteFailure;
    std::function<platform::HRESULT()> ScreenRecordingWriteFailure;
    // Still pictures of the box's frame and of the desktop into the named file.
    std::function<platform::HRESULT(const std::string&)> TakeSnapshot;
    std::function<platform::HRESULT(const std::string&)> TakeScreenSnapshot;
    // The modal windows, recorded by the main window while open; they return when closed.
    std::function<void(QWidget*)> OpenAudioAnalyzer;
    std::function<void(QWidget*)> OpenSettings;
    // The box was told a recording runs or stopped (register-capable boxes).
    std::function<void()> RecordStart;
    std::function<void()> RecordStop;
};

}  // namespace tovrel::shell
