#include "shell/screen_entry_points.h"

#include "platform/media/mf_constants.h"

namespace tovrel::shell {

void fillScreenEntryPoints(SubsystemEntryPoints& entryPoints, CaptureHost& host) {
    entryPoints.StartScreenRecording = [&host](const std::string& path, int quality, int videoType,
                                               int audioType, bool hardware) {
        if (!host.screenRecorder) return platform::E_UNEXPECTED;
        return host.screenRecorder->StartScreenRecording(path, quality, videoType, audioType,
                                                         hardware ? 1 : 0);
    };
    entryPoints.StopScreenRecording = [&host] {
        if (host.screenRecorder) host.screenRecorder->StopScreenRecording();
    };
    entryPoints.ScreenRecordingWriteFailure = [&host] {
        return host.screenRecorder ? host.screenRecorder->writeFailure() : platform::S_OK;
    };
    entryPoints.TakeScreenSnapshot = [&host](const std::string& path) {
        if (!host.screenRecorder) return platform::MF_E_INVALIDREQUEST;
        return host.screenRecorder->TakeScreenSnapshot(path);
    };
}

}  // namespace tovrel::shell
