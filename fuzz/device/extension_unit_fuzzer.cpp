// Feeds the register and flash transports answers made of fuzzer bytes (any length, any result,
// any content), and feeds the simulated bridge arbitrary requests and command blocks. Every data
// buffer handed over is exactly as long as the request says, so a read or write past it shows
// under AddressSanitizer.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "device/box_status.h"
#include "device/panel_transport.h"
#include "device/register_transport.h"
#include "platform/system/manual_clock.h"
#include "sim/bridge/simulated_bridge.h"

namespace {

using namespace tovrel;

class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t word() { return static_cast<uint16_t>(byte() | (byte() << 8)); }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// A box whose every answer comes from the input; once the input is used up, requests fail.
class FuzzUnit final : public platform::ExtensionUnit {
  public:
    explicit FuzzUnit(Input& input) : input_(input) {}
    int deviceRequest(const platform::DeviceRequest& r) override {
        if (input_.empty()) return platform::kDeviceRequestFailed;
        const uint8_t mode = input_.byte();
        if (mode < 16) return platform::kDeviceRequestFailed;
        if (r.isDeviceToHost()) {
            for (uint16_t i = 0; i < r.wLength; ++i) r.data[i] = input_.byte();
        } else {
            volatile uint8_t sink = 0;
            for (uint16_t i = 0; i < r.wLength; ++i) sink = sink ^ r.data[i];
        }
        // Mostly the full length, sometimes short, sometimes more than asked (a faulty backend).
        if (mode < 200) return r.wLength;
        return input_.byte() + (mode & 1) * 256;
    }

  private:
    Input& input_;
};

class FuzzBus final : public platform::ExtensionUnitBus {
  public:
    explicit FuzzBus(Input& input) : input_(input) {}
    std::vector<std::unique_ptr<platform::ExtensionUnit>> openUnits(uint16_t, uint16_t) override {
        std::vector<std::unique_ptr<platform::ExtensionUnit>> units;
        const int count = input_.byte() % 5;
        for (int i = 0; i < count; ++i) units.push_back(std::make_unique<FuzzUnit>(input_));
        return units;
    }

  private:
    Input& input_;
};

void fuzzTransports(Input& input) {
    platform::ManualClock clock;
    FuzzBus bus(input);
    {
        device::KelmUvcLibrary library(bus);
        device::RegisterTransport transport(library, clock);
        auto session = transport.IdentifyDevice();
        uint8_t value = 0;
        transport.ReadReg(input.byte(), value, input.byte());
        device::BoxStatus::read(transport, session->deviceType);
        transport.WriteReg(input.byte(), input.byte());
        transport.CloseDeviceSession(std::move(session));
    }
    device::PanelTransport panel(bus, clock, [](std::string_view) {});
    if (!panel.OpenBox()) return;
    device::BoxStatus::read(panel, panel.deviceType());
    uint8_t result = 0;
    panel.FlashQuery(result);
    panel.FlashErase(input.word());
    std::vector<uint8_t> image(input.byte() * 3u);
    panel.FlashProgram(image.data(), static_cast<int32_t>(image.size()));
    panel.WriteReg(input.byte(), input.byte());
}

void fuzzBridge(Input& input) {
    platform::ManualClock clock;
    sim::SimulatedBridge::Config config;
    config.flashBytes = 64 * 1024;
    sim::SimulatedBridge bridge(clock, config);
    while (!input.empty()) {
        platform::DeviceRequest r;
        const uint8_t kind = input.byte();
        r.bmRequestType = (kind & 1) ? platform::kClassInterfaceIn : platform::kClassInterfaceOut;
        r.bRequest = (kind & 1) ? platform::kUvcGetCur : platform::kUvcSetCur;
        if (kind & 0x80) r.bRequest = input.byte();
        r.wValue = (kind & 2) ? 0x0200 : 0x0100;
        r.wIndex = (kind & 0x40) ? input.word() : 0x0400;
        r.wLength = (kind & 4) ? input.word() % 300 : ((kind & 2) ? 256 : 30);
        std::vector<uint8_t> data(r.wLength);
        for (auto& b : data) b = input.byte();
        r.data = data.empty() ? nullptr : data.data();
        if (r.data == nullptr && r.wLength == 0) {
            static uint8_t none;
            r.data = &none;
        }
        bridge.handleRequest(r);
        if (kind & 8) clock.advance(input.byte());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Input input(data + 1, size - 1);
    if (data[0] & 1) {
        fuzzBridge(input);
    } else {
        fuzzTransports(input);
    }
    return 0;
}
