#include <QApplication>

#include <string>
#include <vector>

#include "platform/desktop/debug_category.h"
#include "shell/edition.h"
#include "shell/tovrel2_app.h"
#include "sim/backends/simulated_backends.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tovrel::platform::routeDebugOutputToLoggingCategory();
    std::vector<std::string> arguments(argv, argv + argc);
    auto backends = tovrel::sim::BackendChoice::fromArguments(arguments);
    tovrel::shell::CTovrel2App tovrel2(*backends, tovrel::shell::kTovrel2Edition);
    if (!tovrel2.initInstance()) return 0;
    return app.exec();
}
