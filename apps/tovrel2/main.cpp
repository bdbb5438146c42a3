#include <QApplication>

#include <string>
#include <vector>

#include "audio/ui/audio_analyzer_command.h"
#include "capture/mf_manager.h"
#include "platform/desktop/debug_category.h"
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
    tovrel::shell::CTovrel2App tovrel2(*backends, tovrel::shell::kTovrel2Edition);
    if (!tovrel2.initInstance()) return 0;

    // The subsystems that exist so far; the rest of the commands stay empty and do nothing.
    tovrel::shell::CTovrel2Frame* frame = tovrel2.mainWindow();
    tovrel::audio::ui::CAudioDialog* openAnalyzer = nullptr;
    frame->entryPoints.OpenAudioAnalyzer = [frame, &openAnalyzer](QWidget* parent) {
        if (frame->captureManager)
            tovrel::audio::ui::runAudioAnalyzer(parent, *frame->captureManager, openAnalyzer);
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
        tovrel::sim::SimulatedBox* box = simulated->box.get();
        control = std::make_unique<tovrel::sim::SimulationControlServer>(
            [box](const std::string& line) { return box->command(line); });
        control->listen();
    }
    return app.exec();
}
