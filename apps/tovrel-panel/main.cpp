#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "device/firmware_folder.h"
#include "device/panel_transport.h"
#include "panel/app_delegate.h"
#include "panel/panel_window.h"
#include "platform/system/clock.h"
#include "platform/usb/linux_extension_unit_bus.h"
#include "sim/bridge/simulated_extension_unit_bus.h"
#include "sim/firmware/generated_firmware.h"

namespace {

// Answered before the window system is reached, so that they work without a display.
std::optional<int> answerWithoutWindow(int argc, char** argv) {
    using tovrel::device::FirmwareFolder;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tovrel-panel %s\n", TOVREL_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            const auto folder = FirmwareFolder::locate(std::nullopt, "/proc/self/exe");
            std::printf(
                "Usage: tovrel-panel [--simulate] [--firmware-dir DIR] [Qt options]\n"
                "\n"
                "The control panel of a Tovrel HDMI capture box: its status, picture and sound\n"
                "controls, and its firmware update (F1 shows the firmware buttons).\n"
                "\n"
                "Options:\n"
                "  --simulate          use the simulated box instead of the hardware (it\n"
                "                      makes its own firmware images unless a folder is named)\n"
                "  --firmware-dir DIR  take the firmware images (NAME.bin) from DIR\n"
                "  -h, --help          print this help\n"
                "  --version           print the version\n"
                "\n"
                "Firmware folder: %s\n"
                "(--firmware-dir, else $%s, else firmware/ beside the program, else\n"
                "share/tovrel/firmware beside its bin/ folder)\n",
                folder.c_str(), FirmwareFolder::kEnvironmentVariable);
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tovrel;
    if (auto answered = answerWithoutWindow(argc, argv)) return *answered;
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName("org.tovrel.TovrelPanel");
    QCommandLineParser parser;
    QCommandLineOption simulate("simulate", "Use the simulated box instead of the hardware.");
    QCommandLineOption firmwareDir("firmware-dir", "Take the firmware images (NAME.bin) from DIR.",
                                   "DIR");
    parser.addOption(simulate);
    parser.addOption(firmwareDir);
    parser.process(app);

    platform::Clock& clock = platform::SystemClock::instance();
    std::unique_ptr<platform::ExtensionUnitBus> bus;
    if (parser.isSet(simulate)) {
        bus = std::make_unique<sim::SimulatedExtensionUnitBus>(
            std::make_shared<sim::SimulatedBridge>(clock));
    } else {
        bus = platform::makeLinuxExtensionUnitBus();
    }
    std::optional<std::string> given;
    if (parser.isSet(firmwareDir)) given = parser.value(firmwareDir).toStdString();
    std::unique_ptr<device::FirmwareLibrary> firmware;
    // The simulated box makes its own images unless a folder was named.
    if (parser.isSet(simulate) && !given &&
        !std::getenv(device::FirmwareFolder::kEnvironmentVariable))
        firmware = std::make_unique<sim::GeneratedFirmware>();
    else
        firmware = std::make_unique<device::FirmwareFolder>(
            device::FirmwareFolder::locate(given, "/proc/self/exe"));

    device::PanelTransport transport(*bus, clock);
    panel::AppDelegate delegate(transport, *firmware, clock);
    panel::PanelWindow window(delegate);
    window.show();
    return app.exec();
}
