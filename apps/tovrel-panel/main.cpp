#include <QApplication>
#include <QCommandLineParser>

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

int main(int argc, char** argv) {
    using namespace tovrel;
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
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
