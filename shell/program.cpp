#include "shell/program.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop/debug_category.h"
#include "shell/edition.h"
#include "shell/shell_texts.h"
#include "shell/tovrel2_app.h"
#include "sim/backends/simulated_backends.h"
#include "sim/control/simulation_control_server.h"

namespace tovrel::shell {

namespace {

// The program's file name is its edition's name in lower case ("Tovrel2" runs as tovrel2).
std::string commandName(const Edition& edition) {
    std::string name = edition.programName;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// --help and --version answer before any window exists, so they work without a display (over
// ssh, in a package build). Everything else, Qt's own options included, goes to the program.
std::optional<int> answerWithoutWindow(const Edition& edition,
                                       const std::vector<std::string>& arguments) {
    const std::string name = commandName(edition);
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--version") {
            std::printf("%s %s\n", name.c_str(), TOVREL_VERSION);
            return 0;
        }
        if (argument == "-h" || argument == "--help") {
            std::printf(
                "Usage: %s [--simulate] [--from-menu] [Qt options]\n"
                "\n"
                "Shows the picture and plays the sound of a Tovrel HDMI capture box, records them\n"
                "and takes snapshots of them.\n"
                "\n"
                "Options:\n"
                "  --simulate    use the simulated box (its video, audio and USB bridge) instead\n"
                "                of the hardware\n"
                "  --from-menu   keep %s in $XDG_CONFIG_HOME/tovrel (~/.config/tovrel)\n"
                "                instead of the working directory; the desktop menu starts the\n"
                "                program this way\n"
                "  -h, --help    print this help\n"
                "  --version     print the version\n"
                "\n"
                "The settings (section %s of %s) are kept in the working directory.\n",
                name.c_str(), ShellTexts::kSettingsFileName, edition.settingsSection,
                ShellTexts::kSettingsFileName);
            return 0;
        }
    }
    return std::nullopt;
}

// A launcher starts a menu entry in the home folder or in "/", which may not be writable: the
// settings file must not follow it there. Started from the menu, the program works in one folder
// of its own, shared by the editions (each keeps its own section of the file). The place is
// resolved once, before anything reads the working directory.
void enterMenuFolder() {
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/tovrel";
    if (!QDir().mkpath(folder) || !QDir::setCurrent(folder)) {
        std::fprintf(stderr, "cannot work in %s; the settings stay in %s\n", qPrintable(folder),
                     qPrintable(QDir::currentPath()));
    }
}

}  // namespace

int runProgram(const Edition& edition, int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    if (auto answered = answerWithoutWindow(edition, arguments)) return *answered;

    QApplication app(argc, argv);
    // The menu entry's name: desktops find the window's entry (its icon, its name) by it.
    QGuiApplication::setDesktopFileName(QString("org.tovrel.") + edition.programName);
    platform::routeDebugOutputToLoggingCategory();
    if (std::find(arguments.begin(), arguments.end(), "--from-menu") != arguments.end())
        enterMenuFolder();
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
