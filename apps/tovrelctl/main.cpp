// tovrelctl: the box's status and registers from the command line, for people and scripts.
// Speaks the same register protocol as the Settings window, through the vendor-library
// transport, under the same named lock.

#include <QCoreApplication>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/box_status.h"
#include "device/device_texts.h"
#include "device/firmware_folder.h"
#include "device/firmware_update.h"
#include "device/panel_transport.h"
#include "device/register_transport.h"
#include "device/supported_boxes.h"
#include "platform/system/clock.h"
#include "platform/system/named_lock.h"
#include "platform/usb/linux_extension_unit_bus.h"
#include "sim/bridge/simulated_extension_unit_bus.h"
#include "sim/control/simulation_control_client.h"

namespace {

using namespace tovrel;

constexpr const char* kUsage = R"(Usage: tovrelctl [--simulate] [--json] COMMAND

Reads and writes the registers of an attached capture box's microcontroller.

Commands:
  status             every status text of the box, as the Settings window shows them
                     (OS mode, source resolution, DDC and HPD voltages, audio format type and
                     sample rate, firmware version) and the capture resolution
  get REG            read register REG (slave 0xB4); with --bridge, a bridge-side register
                     (slave 0: 60 is the OS mode, 92 the second firmware version byte)
  set REG VALUE      command write: VALUE into register REG, then REG into register 0, each
                     after waiting for the box to be idle (up to about 5 s); the box then carries
                     out command REG (6 brightness, 7 contrast, 8 hue, 9 saturation,
                     22 sharpness, 15 audio input 5/6, 26 volume, 27 mute, ...)

  flash FILE         write the firmware image FILE into the box's flash and tell the box which
                     image it got (--target windows, the default, or --target mac); refuses an
                     empty image or one larger than the flash before touching it, and stops at
                     the first failure without changing the box's mode; progress on stderr

With --simulate, these drive the simulated box of a running `tovrel2 --simulate`:
  plug               plug the box in: its video, then its audio interface arrives, and the
                     program restarts capture about a second later
  unplug             unplug the box: capture stops, the window keeps the last picture
  sleep              send the computer to sleep, as far as the program can tell
  wake               wake the computer up again
  fault NAME [N]     a fault of the box's running capture: corrupt-jpeg, truncated-jpeg,
                     wrong-size-jpeg, jpeg-420, short-sample (the next N frames, default 1),
                     media-type-change, end-of-stream, stall, unplug; audio-missing-sample
                     (the next N samples), audio-media-type-change, audio-end-of-stream,
                     audio-stall, audio-unplug; audio-drift PPM (the box's audio clock runs
                     PPM parts per million fast, or slow when negative); clear ends every fault
  pattern sync       once a second a white frame and, at its instant, a click (to measure how
                     well a recording keeps sound and picture together); pattern test returns
                     to the moving test picture and tones

REG and VALUE are decimal or 0x-prefixed hexadecimal numbers from 0 to 255.

Options:
  --simulate         talk to the simulated box instead of the hardware (a fresh box each run)
  --json             print the result as one JSON object
  --bridge           (get) read a bridge-side register
  --target T         (flash) windows or mac
  -h, --help         print this help
  --version          print the version

Exit status: 0 on success, 1 when no supported box is attached or the box did not answer
(plug ... fault: when no program with the simulated box runs, or it refused), 2 for a usage
error.
)";

struct Options {
    bool simulate = false;
    bool json = false;
    bool bridge = false;
    std::string target;
    std::vector<std::string> words;
};

std::optional<long> parseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0') return std::nullopt;
    return value;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "tovrelctl: %s\nTry 'tovrelctl --help'.\n", message.c_str());
    return 2;
}

int noBox() {
    std::string looked;
    for (const auto& box : device::kSupportedBoxes) {
        char id[16];
        std::snprintf(id, sizeof id, "%s%04x:%04x", looked.empty() ? "" : ", ", box.vendorId,
                      box.productId);
        looked += id;
    }
    std::fprintf(stderr,
                 "tovrelctl: no supported box found (looked for USB ids %s); is it plugged in, "
                 "and may this user open its video node or USB device?\n",
                 looked.c_str());
    return 1;
}

// Holds the named lock, the identified box and its session for one command.
class Operation {
  public:
    Operation(platform::ExtensionUnitBus& bus, platform::Clock& clock)
        : lock_(device::kRegisterLockName), library_(bus), transport_(library_, clock) {
        lock_.lock();
        session_ = transport_.IdentifyDevice();
    }
    ~Operation() {
        transport_.CloseDeviceSession(std::move(session_));
        lock_.unlock();
    }
    bool found() const { return session_->deviceType != device::kNoDevice; }
    int32_t deviceType() const { return session_->deviceType; }
    device::RegisterTransport& transport() { return transport_; }

  private:
    platform::NamedLock lock_;
    device::KelmUvcLibrary library_;
    device::RegisterTransport transport_;
    std::unique_ptr<device::DeviceSession> session_;
};

int runStatus(Operation& op, const Options& options) {
    auto status = device::BoxStatus::read(op.transport(), op.deviceType());
    if (options.json) {
        std::string out = "{\"device_type\":" + std::to_string(op.deviceType());
        for (const auto& field : device::BoxStatus::kFields)
            out += ",\"" + std::string(field.key) + "\":" + jsonString(status[field.field]);
        std::printf("%s}\n", out.c_str());
    } else {
        std::printf("%-20s %d\n", "Device Type:", op.deviceType());
        for (const auto& field : device::BoxStatus::kFields) {
            std::printf("%-20.*s %s\n", static_cast<int>(field.label.size()), field.label.data(),
                        status[field.field].c_str());
        }
    }
    // The box went away during the refresh: the texts say so, and so does the exit status.
    return status[device::BoxStatus::AudioFormatType] == device::kTextNoDevice ? 1 : 0;
}

int runGet(Operation& op, const Options& options, long reg) {
    uint8_t value = 0;
    const uint8_t slave = options.bridge ? device::kBridgeSlave : device::kMicrocontrollerSlave;
    if (!op.transport().ReadReg(static_cast<int>(reg), value, slave)) {
        std::fprintf(stderr, "tovrelctl: reading register %d failed\n", static_cast<uint8_t>(reg));
        return 1;
    }
    if (options.json) {
        std::printf("{\"register\":%d,\"slave\":%d,\"value\":%d}\n", static_cast<uint8_t>(reg),
                    slave, value);
    } else {
        std::printf("%d\n", value);
    }
    return 0;
}

int runSet(Operation& op, const Options& options, long reg, long value) {
    const bool ok = op.transport().WriteReg(static_cast<int>(reg), static_cast<int>(value));
    if (!ok) {
        std::fprintf(stderr,
                     "tovrelctl: the box did not take the command (register 0 did not become "
                     "idle, or the box stopped answering)\n");
    }
    if (options.json) {
        std::printf("{\"register\":%d,\"value\":%d,\"ok\":%s}\n", static_cast<uint8_t>(reg),
                    static_cast<uint8_t>(value), ok ? "true" : "false");
    }
    return ok ? 0 : 1;
}

int flashFailed(const Options& options, const device::FirmwareResult& result,
                const std::string& file) {
    if (options.json) {
        std::printf(
            "{\"ok\":%s,\"outcome\":\"%s\",\"file\":%s,\"device_type\":%d,"
            "\"image_bytes\":%u,\"programmed_bytes\":%u,\"flash_touched\":%s,"
            "\"message\":%s}\n",
            result.ok() ? "true" : "false", std::string(result.key()).c_str(),
            jsonString(file).c_str(), result.deviceType, result.imageBytes, result.programmedBytes,
            result.flashTouched ? "true" : "false", jsonString(result.message).c_str());
    }
    if (result.ok()) {
        if (!options.json) std::printf("%s\n", result.message.c_str());
        return 0;
    }
    std::fprintf(stderr, "tovrelctl: %s\n", result.message.c_str());
    return 1;
}

int runFlash(const Options& options, const std::string& file) {
    auto image = device::FirmwareFolder::readFile(file, device::FirmwareUpdate::kMaxImageBytes);
    if (!image) {
        std::fprintf(stderr, "tovrelctl: cannot read the image '%s'\n", file.c_str());
        return 1;
    }
    platform::Clock& clock = platform::SystemClock::instance();
    std::unique_ptr<platform::ExtensionUnitBus> bus;
    if (options.simulate) {
        bus = std::make_unique<sim::SimulatedExtensionUnitBus>(
            std::make_shared<sim::SimulatedBridge>(clock));
    } else {
        bus = platform::makeLinuxExtensionUnitBus();
    }
    // Keeps the Settings window and every other tovrelctl off the box while its flash is written.
    platform::NamedLock lock(device::kRegisterLockName);
    lock.lock();
    device::PanelTransport transport(*bus, clock, [](std::string_view line) {
        std::fprintf(stderr, "tovrelctl: %.*s\n", static_cast<int>(line.size()), line.data());
    });
    device::FirmwareUpdate updater(transport);
    const bool tty = ::isatty(2);
    int lastStep = -1;
    auto progress = [&](const device::FirmwareProgress& p) {
        const int percent = p.total ? static_cast<int>(uint64_t{p.done} * 100 / p.total) : 0;
        const int step = static_cast<int>(p.phase) * 1000 + (tty ? percent : percent / 10 * 10);
        if (step == lastStep) return;
        lastStep = step;
        std::fprintf(stderr, tty ? "\r%.*s: %3d%%" : "%.*s: %d%%\n",
                     static_cast<int>(p.text.size()), p.text.data(), percent);
        if (tty && p.total && p.done == p.total) std::fputc('\n', stderr);
    };
    const auto target =
        options.target == "mac" ? device::FirmwareTarget::Mac : device::FirmwareTarget::Windows;
    auto result = updater.flashImage(target, *image, file, progress);
    lock.unlock();
    if (tty) std::fputc('\n', stderr);
    return flashFailed(options, result, file);
}

bool isSimulationCommand(const std::string& command) {
    return command == "plug" || command == "unplug" || command == "sleep" || command == "wake" ||
           command == "fault" || command == "pattern";
}

int runSimulation(const Options& options, int argc, char** argv) {
    const std::string& command = options.words[0];
    const size_t operands = options.words.size() - 1;
    if (!options.simulate) return usageError(command + " goes with --simulate");
    if (options.bridge) return usageError("--bridge goes with get");
    if (command == "fault") {
        if (operands != 1 && operands != 2) return usageError("fault takes a name and a count");
    } else if (command == "pattern") {
        if (operands != 1) return usageError("pattern takes sync or test");
    } else if (operands != 0) {
        return usageError(command + " takes no operands");
    }
    std::string line;
    for (const std::string& word : options.words) line += (line.empty() ? "" : " ") + word;
    QCoreApplication app(argc, argv);
    std::string answer;
    switch (sim::SimulationControlClient::send(line, &answer)) {
        case sim::SimulationControlClient::Result::kNoProgram:
            std::fprintf(stderr,
                         "tovrelctl: no program with the simulated box is running (start "
                         "'tovrel2 --simulate' first)\n");
            return 1;
        case sim::SimulationControlClient::Result::kNoAnswer:
            std::fprintf(stderr, "tovrelctl: the program did not answer\n");
            return 1;
        case sim::SimulationControlClient::Result::kAnswered:
            break;
    }
    const bool ok = answer.starts_with("ok: ");
    const bool usage = answer.starts_with("usage: ");
    const std::string text = answer.substr(std::min(answer.find(' ') + 1, answer.size()));
    if (options.json) {
        std::printf("{\"ok\":%s,\"message\":%s}\n", ok ? "true" : "false",
                    jsonString(text).c_str());
    } else if (ok) {
        std::printf("%s\n", text.c_str());
    }
    if (usage) return usageError(text);
    if (!ok) {
        std::fprintf(stderr, "tovrelctl: %s\n", text.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("tovrelctl %s\n", TOVREL_VERSION);
            return 0;
        } else if (arg == "--simulate") {
            options.simulate = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--bridge") {
            options.bridge = true;
        } else if (arg == "--target") {
            if (i + 1 >= argc) return usageError("--target needs windows or mac");
            options.target = argv[++i];
            if (options.target != "windows" && options.target != "mac")
                return usageError("--target is windows or mac, not '" + options.target + "'");
        } else if (arg.size() > 1 && arg[0] == '-' && !parseNumber(arg)) {
            return usageError("unknown option '" + arg + "'");
        } else {
            options.words.push_back(arg);
        }
    }
    if (options.words.empty()) return usageError("no command given");

    const std::string& command = options.words[0];
    const size_t operands = options.words.size() - 1;
    if (!options.target.empty() && command != "flash")
        return usageError("--target goes with flash");
    if (isSimulationCommand(command)) return runSimulation(options, argc, argv);
    if (command == "flash") {
        if (operands != 1) return usageError("flash takes one image file");
        return runFlash(options, options.words[1]);
    }
    std::vector<long> numbers;
    for (size_t i = 1; i < options.words.size(); ++i) {
        auto number = parseNumber(options.words[i]);
        if (!number) return usageError("'" + options.words[i] + "' is not a number");
        // Registers and their values are one byte; cutting a larger number down would write
        // something the user never asked for.
        if (*number < 0 || *number > 255)
            return usageError("'" + options.words[i] + "' is outside 0 to 255");
        numbers.push_back(*number);
    }
    if (command == "status") {
        if (operands != 0) return usageError("status takes no operands");
    } else if (command == "get") {
        if (operands != 1) return usageError("get takes one register number");
    } else if (command == "set") {
        if (operands != 2) return usageError("set takes a register number and a value");
    } else {
        return usageError("unknown command '" + command + "'");
    }
    if (options.bridge && command != "get") return usageError("--bridge goes with get");

    platform::Clock& clock = platform::SystemClock::instance();
    std::unique_ptr<platform::ExtensionUnitBus> bus;
    if (options.simulate) {
        bus = std::make_unique<sim::SimulatedExtensionUnitBus>(
            std::make_shared<sim::SimulatedBridge>(clock));
    } else {
        bus = platform::makeLinuxExtensionUnitBus();
    }

    Operation op(*bus, clock);
    if (!op.found()) return noBox();
    if (command == "status") return runStatus(op, options);
    if (command == "get") return runGet(op, options, numbers[0]);
    return runSet(op, options, numbers[0], numbers[1]);
}
