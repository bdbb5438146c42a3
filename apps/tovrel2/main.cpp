#include <QApplication>

#include <string>
#include <vector>

#include "audio/ui/audio_analyzer_command.h"
#include "capture/mf_manager.h"
#include "device/box_operations.h"
#include "device/ui/settings_command.h"
#include "platform/desktop/debug_category.h"
#include "platform/media/mf_constants.h"
#include "recording/snapshot_encoder.h"
#include "shell/edition.h"
#include "shell/tovrel2_app.h"
#include "shell/tovrel2_frame.h"
#include "sim/backends/simulated_backends.h"
#include "sim/control/simulation_control_server.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tovrel::platform::routeDebugOutputToLoggingCategory();
    std::vector<std::string> arguments(argv, argv + argc);
    auto backends = tovrel::sim::BackendChoice::fromArguments(arguments);
    // Register access for the whole run; declared before the window, which calls on it.
    tovrel::device::BoxOperations box(*backends->extensionUnits, *backends->clock,
                                      backends->captureEndpoints.get());
    tovrel::shell::CTovrel2App tovrel2(*backends, tovrel::shell::kTovrel2Edition);
    if (!tovrel2.initInstance()) return 0;

    // The subsystems that exist so far; the rest of the commands stay empty and do nothing.
    tovrel::shell::CTovrel2Frame* frame = tovrel2.mainWindow();
    tovrel::audio::ui::CAudioDialog* openAnalyzer = nullptr;
    frame->entryPoints.OpenAudioAnalyzer = [frame, &openAnalyzer](QWidget* parent) {
        if (frame->captureManager)
            tovrel::audio::ui::runAudioAnalyzer(parent, *frame->captureManager, openAnalyzer);
    };
    tovrel::device::ui::CIODialog* openSettings = nullptr;
    frame->entryPoints.OpenSettings = [frame, &box, &openSettings](QWidget* parent) {
        tovrel::device::ui::SettingsHost host;
        host.capture = [frame] {
            tovrel::device::ui::SettingsHost::Capture c;
            if (const tovrel::capture::MFManager* m = frame->captureManager.get()) {
                c.modes[0].assign(m->yuy2Modes.begin(), m->yuy2Modes.begin() + m->yuy2ModeCount);
                c.modes[1].assign(m->mjpgModes.begin(), m->mjpgModes.begin() + m->mjpgModeCount);
                c.modes[2].assign(m->nv12Modes.begin(), m->nv12Modes.begin() + m->nv12ModeCount);
                c.width = m->width;
                c.height = m->height;
                c.frameRate = m->frameRate;
            }
            c.firstIndices = frame->devices.firstIndices;
            c.videoFormat = frame->devices.videoFormat;
            return c;
        };
        host.restartCapture = [frame](int32_t w, int32_t h, int32_t fps, int32_t format) {
            frame->restartCapture(w, h, fps, format);
        };
        host.settingControl = frame->settings.settingControl;
        tovrel::device::ui::runSettingsDialog(parent, box, std::move(host), openSettings);
    };
    frame->entryPoints.RecordStart = [frame, &box] {
        box.recordStart(frame->devices.registerCapableBox != 0, frame->settingsDialog != nullptr);
    };
    frame->entryPoints.RecordStop = [frame, &box] {
        box.recordStop(frame->devices.registerCapableBox != 0, frame->devices.px40Model != 0,
                       frame->settingsDialog != nullptr);
    };
    tovrel::platform::ImageEncoderFactory* imageEncoders = backends->imageEncoders.get();
    frame->entryPoints.TakeSnapshot = [frame, imageEncoders](const std::string& path) {
        if (!frame->captureManager || imageEncoders == nullptr)
            return tovrel::platform::MF_E_INVALIDREQUEST;
        return tovrel::recording::SnapshotEncoder(*frame->captureManager, *imageEncoders)
            .TakeSnapshot(path);
    };
    // "[F2]-Recording": the box recording the main window made with its capture manager.
    frame->entryPoints.StartRecording = [frame](const std::string& path, int quality, int videoType,
                                                int audioType, bool hardware) {
        if (!frame->recordingController) return tovrel::platform::E_UNEXPECTED;
        return frame->recordingController->StartRecording(path, quality, videoType, audioType,
                                                          hardware ? 1 : 0);
    };
    frame->entryPoints.StopRecording = [frame] {
        if (frame->recordingController) frame->recordingController->StopRecording();
    };
    frame->entryPoints.StopAnalyzerWorker = [&openAnalyzer] {
        tovrel::audio::ui::stopAnalyzerWorker(openAnalyzer);
    };
    frame->entryPoints.RestartAnalyzerWorker = [&openAnalyzer] {
        tovrel::audio::ui::restartAnalyzerWorker(openAnalyzer);
    };

    // `tovrelctl --simulate plug|unplug|sleep|wake|fault NAME` reaches the simulated box here;
    // only the copy that runs (this one, past the single-instance test) listens.
    std::unique_ptr<tovrel::sim::SimulationControlServer> control;
    if (auto* simulated = dynamic_cast<tovrel::sim::SimulatedBackends*>(backends.get())) {
        tovrel::sim::SimulatedBox* simulatedBox = simulated->box.get();
        control = std::make_unique<tovrel::sim::SimulationControlServer>(
            [simulatedBox](const std::string& line) { return simulatedBox->command(line); });
        control->listen();
    }
    return app.exec();
}
