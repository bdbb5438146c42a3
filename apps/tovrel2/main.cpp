#include <QApplication>

#include <string>
#include <vector>

#include "audio/ui/audio_analyzer_command.h"
#include "capture/mf_manager.h"
#include "platform/desktop/debug_category.h"
#include "platform/media/mf_constants.h"
#include "recording/snapshot_encoder.h"
#include "shell/edition.h"
#include "shell/tovrel2_app.h"
#include "shell/tovrel2_frame.h"
#include "sim/backends/simulated_backends.h"

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
    tovrel::platform::ImageEncoderFactory* imageEncoders = backends->imageEncoders.get();
    frame->entryPoints.TakeSnapshot = [frame, imageEncoders](const std::string& path) {
        if (!frame->captureManager || imageEncoders == nullptr)
            return tovrel::platform::MF_E_INVALIDREQUEST;
        return tovrel::recording::SnapshotEncoder(*frame->captureManager, *imageEncoders)
            .TakeSnapshot(path);
    };
    return app.exec();
}
