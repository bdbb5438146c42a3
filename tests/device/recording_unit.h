#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/usb/extension_unit_bus.h"

namespace tovrel::device::testing {

// One request as it went on the wire: the setup fields and, for an OUT request, its data stage.
struct RecordedRequest {
    uint8_t bmRequestType;
    uint8_t bRequest;
    uint16_t wValue;
    uint16_t wIndex;
    uint16_t wLength;
    std::vector<uint8_t> out;

    bool operator==(const RecordedRequest&) const = default;
};

// Answers a request: fill `data` for an IN request, give the byte count or -1.
using Responder = std::function<int(const platform::DeviceRequest&)>;

// Every request sent to any unit, in order, shared by the units of one FakeBus.
struct WireLog {
    std::vector<RecordedRequest> requests;
    Responder responder = [](const platform::DeviceRequest& r) { return int(r.wLength); };
    int openUnits = 0;
};

class RecordingUnit final : public platform::ExtensionUnit {
  public:
    explicit RecordingUnit(std::shared_ptr<WireLog> log) : log_(std::move(log)) {
        ++log_->openUnits;
    }
    ~RecordingUnit() override { --log_->openUnits; }

    int deviceRequest(const platform::DeviceRequest& r) override {
        RecordedRequest recorded{r.bmRequestType, r.bRequest, r.wValue, r.wIndex, r.wLength, {}};
        if (!r.isDeviceToHost()) recorded.out.assign(r.data, r.data + r.wLength);
        log_->requests.push_back(std::move(recorded));
        return log_->responder(r);
    }

  private:
    std::shared_ptr<WireLog> log_;
};

// A bus with a given number of attached boxes per vendor and product id, recording the lookups.
class FakeBus final : public platform::ExtensionUnitBus {
  public:
    std::shared_ptr<WireLog> log = std::make_shared<WireLog>();
    std::map<std::pair<uint16_t, uint16_t>, int> attached;
    std::vector<std::pair<uint16_t, uint16_t>> lookups;
    bool busOpens = true;
    std::map<std::pair<uint16_t, uint16_t>, int> unclaimable;  // found, but cannot be opened

    std::vector<std::unique_ptr<platform::ExtensionUnit>> openUnits(uint16_t vid,
                                                                    uint16_t pid) override {
        lookups.emplace_back(vid, pid);
        std::vector<std::unique_ptr<platform::ExtensionUnit>> units;
        auto it = attached.find({vid, pid});
        for (int i = 0; it != attached.end() && i < it->second; ++i)
            units.push_back(std::make_unique<RecordingUnit>(log));
        return units;
    }

    platform::UnitSearch searchUnits(uint16_t vid, uint16_t pid) override {
        if (!busOpens) {
            lookups.emplace_back(vid, pid);
            return {{}, false, 0};
        }
        auto it = unclaimable.find({vid, pid});
        return {openUnits(vid, pid), true, it == unclaimable.end() ? 0 : it->second};
    }
};

// The four requests as they should look on the wire.
inline RecordedRequest commandBlockWrite(std::vector<uint8_t> block) {
    block.resize(30, 0);
    return {0x21, 0x01, 0x0100, 0x0400, 30, block};
}
inline RecordedRequest commandBlockRead() { return {0xA1, 0x81, 0x0100, 0x0400, 30, {}}; }
inline RecordedRequest dataBufferWrite(std::vector<uint8_t> bytes) {
    auto n = static_cast<uint16_t>(bytes.size());
    return {0x21, 0x01, 0x0200, 0x0400, n, std::move(bytes)};
}
inline RecordedRequest dataBufferRead() { return {0xA1, 0x81, 0x0200, 0x0400, 256, {}}; }

// A 30-byte block with the given bytes set.
inline std::vector<uint8_t> block(std::initializer_list<std::pair<int, uint8_t>> bytes) {
    std::vector<uint8_t> b(30, 0);
    for (auto [at, value] : bytes) b[static_cast<size_t>(at)] = value;
    return b;
}

// A microcontroller register file behind the double: answers I2C reads from `registers`
// (slave 0xB4) and `bridge` (slave 0), applies I2C writes. Only the command block and data buffer
// semantics the transports rely on.
struct RegisterFileResponder {
    std::shared_ptr<std::vector<uint8_t>> registers =
        std::make_shared<std::vector<uint8_t>>(256, 0);
    std::shared_ptr<std::vector<uint8_t>> bridge = std::make_shared<std::vector<uint8_t>>(256, 0);
    std::shared_ptr<std::vector<uint8_t>> lastBlock = std::make_shared<std::vector<uint8_t>>(30, 0);
    std::shared_ptr<std::vector<uint8_t>> data = std::make_shared<std::vector<uint8_t>>(256, 0);
    // Called for each read of register 0 to give its value (default: the register file).
    std::shared_ptr<std::function<uint8_t()>> commandRead =
        std::make_shared<std::function<uint8_t()>>();

    int operator()(const platform::DeviceRequest& r) const {
        if (r.wValue == 0x0100 && !r.isDeviceToHost()) {
            std::memcpy(lastBlock->data(), r.data, 30);
            auto& b = *lastBlock;
            if (b[0] == 0xD4) {
                uint8_t reg = b[10];
                auto& file = b[7] == 0xB4 ? *registers : *bridge;
                if (b[3] == 0xD0) {
                    std::fill(data->begin(), data->end(), 0);
                    (*data)[0] =
                        (b[7] == 0xB4 && reg == 0 && *commandRead) ? (*commandRead)() : file[reg];
                } else {
                    file[reg] = (*data)[0];
                }
            }
            return 30;
        }
        if (r.wValue == 0x0100) {
            std::memcpy(r.data, lastBlock->data(), 30);
            return 30;
        }
        if (r.isDeviceToHost()) {
            std::memcpy(r.data, data->data(), 256);
            return 256;
        }
        std::memcpy(data->data(), r.data, r.wLength);
        return r.wLength;
    }
};

}  // namespace tovrel::device::testing
