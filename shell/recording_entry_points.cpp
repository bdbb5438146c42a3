#include "shell/recording_entry_points.h"

#include "platform/media/mf_constants.h"
#include "recording/snapshot_encoder.h"

namespace tovrel::shell {

void fillRecordingEntryPoints(SubsystemEntryPoints& entryPoints, CaptureHost& host,
                              recording::SnapshotWriter* snapshotWriter) {
    entryPoints.StartRecording = [&host](const std::string& path, int quality, int videoType,
                                         int audioType, bool hardware) {
        if (!host.recordingController) return platform::E_UNEXPECTED;
        return host.recordingController->StartRecording(path, quality, videoType, audioType,
                                                        hardware ? 1 : 0);
    };
    entryPoints.StopRecording = [&host] {
        if (host.recordingController) host.recordingController->StopRecording();
    };
    entryPoints.RecordingWriteFailure = [&host] {
        return host.recordingController ? host.recordingController->writeFailure() : platform::S_OK;
    };
    entryPoints.TakeSnapshot = [&host, snapshotWriter](const std::string& path) {
        if (!host.captureManager || !snapshotWriter) return platform::MF_E_INVALIDREQUEST;
        return recording::SnapshotEncoder(*host.captureManager, *snapshotWriter).TakeSnapshot(path);
    };
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
    entryPoints.TakeScreenSnapshot = [&host, snapshotWriter](const std::string& path) {
        if (!host.screenRecorder) return platform::MF_E_INVALIDREQUEST;
        return host.screenRecorder->TakeScreenSnapshot(path, snapshotWriter);
    };
}

}  // namespace tovrel::shell
