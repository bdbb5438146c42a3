#include "shell/program.h"

#include <QApplication>

#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/debug_category.h"
#include "shell/edition.h"
#include "shell/tovrel2_app.h"
#include "sim/backends/simulated_backends.h"
#include "sim/control/simulation_control_server.h"

namespace tovrel::shell {

int runProgram(const Edition& edition, int argc, char** argv) {
    QApplication app(argc, argv);
    platform::routeDebugOutputToLoggingCategory();
    const std::vector<std::string> arguments(argv, argv + argc);
    std::unique_ptr<platform::Backends> backends =
        sim::BackendChoice::fromArguments(arguments, edition.keepAwakeWho);
    CTovrel2App program(*backends, edition);
    if (!program.initInstance()) return 0;

    // `tovrelctl --simulate plug|unplug|sleep|wake|fault NAME` reaches the simulated box here;
    // only the copy that runs (this one, past the single-instance test) listens.
    std::unique_ptr<sim::SimulationControlServer> control;
    if (auto* simulated = dynamic_cast<sim::SimulatedBackends*>(backends.get())) {
        sim::SimulatedBox* box = simulated->box.get();
        control = std::make_unique<sim::SimulationControlServer>(
            [box](const std::string& line) { return box->command(line); });
        control->listen();
    }
    return app.exec();
}

}  // namespace tovrel::shell
